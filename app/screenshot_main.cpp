// Writes a PNG of the window connected to the demo boards, rendered with the real fonts, and
// optionally one of the encoder test window after the open board turned two encoders and a
// button of an encoder pair was held, and one of the find dialog watching the demo boards.
// Usage: rotorix-screenshot OUTPUT.png [TEST-WINDOW.png [FIND-WINDOW.png]]
#include <QApplication>
#include <QPixmap>
#include <chrono>
#include <cstdio>

#include "app/application.h"
#include "app/main_window.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

namespace {

bool save(QWidget& widget, const char* file) {
    QApplication::processEvents();
    if (!widget.grab().save(QString::fromLocal8Bit(file), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", file);
        return false;
    }
    return true;
}

// Turns encoders of the open board (the demo's second) and ticks the test window until it shows
// them; false if it never does.
bool exercise(rotorix::sim::SimPlatform& platform, rotorix::app::EncoderTestWindow& test) {
    constexpr int kBoard = 1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const auto until = [&](auto done) {
        while (!done(test.shown())) {
            if (std::chrono::steady_clock::now() > limit) {
                return false;
            }
            test.model().waitForInput(std::chrono::milliseconds(20));
            test.Timer_Timer();
        }
        return true;
    };
    // Steps under way when the watch's first report came would not count.
    if (!test.model().waitForInput(std::chrono::seconds(2))) {
        return false;
    }
    test.Timer_Timer();
    platform.turn(kBoard, 1, 5, 8);
    platform.turn(kBoard, 2, -3, 8);
    platform.turn(kBoard, 5, 2, 8);
    if (!until([](const auto& v) {
            return v.rows[0].first_steps == 5 && v.rows[1].second_steps == 3 &&
                   v.rows[4].first_steps == 2;
        })) {
        return false;
    }
    platform.setButtons(kBoard, 0x0020);  // button 6 held down
    return until([](const auto& v) { return !v.findings.empty() && v.rows[2].lit[1]; });
}

// Ticks the find dialog until every demo board has begun; false if they never do.
bool watchEvery(rotorix::app::FindBoardDialog& find) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!find.shown().status.starts_with(u"Watching ") ||
           find.shown().status.find(u"more not yet") != std::u16string::npos) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        find.model().waitForInput(std::chrono::milliseconds(20));
        find.Timer_Timer();
    }
    return true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png [TEST-WINDOW.png [FIND-WINDOW.png]]\n", argv[0]);
        return 2;
    }
    rotorix::app::describeApplication(application);
    rotorix::sim::SimPlatform platform;
    platform.setReportInterval(std::chrono::milliseconds(4));
    rotorix::sim::addDemoBoards(platform);
    rotorix::app::MainWindow window(platform);
    window.Form_Load();
    if (!save(window, argv[1])) {
        return 1;
    }
    if (argc >= 3) {
        window.testEncodersAction().trigger();
        rotorix::app::EncoderTestWindow* test = window.client().encoderTest();
        if (test == nullptr || !exercise(platform, *test)) {
            std::fprintf(stderr, "the test window did not show the turns\n");
            return 1;
        }
        if (!save(*test, argv[2])) {
            return 1;
        }
        test->close();
    }
    if (argc == 4) {
        window.findBoardAction().trigger();
        rotorix::app::FindBoardDialog* find = window.client().findBoard();
        if (find == nullptr || !watchEvery(*find)) {
            std::fprintf(stderr, "the find dialog did not watch the demo boards\n");
            return 1;
        }
        if (!save(*find, argv[3])) {
            return 1;
        }
        find->reject();
    }
    window.close();
    return 0;
}
