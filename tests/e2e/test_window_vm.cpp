// The window on the Linux backend, against boards that the VM's own USB host side enumerates.
// Driven as the window tests drive it: handlers and Timer_Timer() called directly, real key and
// mouse events for the user's picks. Checked against the controls and, byte for byte, against what
// each board logged. Runs only inside run-vm (ctest -L e2e); tests/e2e_boards.cmake describes the
// boards.
#include <QAbstractItemView>
#include <QAccessible>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>

#include "base/unicode.h"
#include "by_serial.h"
#include "config/settings_io.h"
#include "hid/linux/linux_platform.h"
#include "vm_rig.h"
#include "window_fixture.h"

namespace rotorix::e2e {
namespace {

using config::Setting;
using test::commandB0;
using test::Decoded;
using test::hex;
using test::readBack;
using test::Report;
using test::settingWrite;

struct Board {
    std::string serial;  // UTF-8
    // The identity captions the window shows.
    std::string manufacturer;
    std::string product;
    std::string version;
    std::size_t feature;            // feature report length, report-ID byte included
    config::BoardSettings plugged;  // planes (8, 9), pulse code (10), hide flag (1)
};

// What the window shows for the firmware of each board, worked out by hand.
const char* const kVersionCaptions[] = {" 0.0 - upgrade firmware!", " 1.4", " 1.10"};

// The boards tests/e2e_boards.cmake has run-vm plug in, in bus order. Board 0 has firmware 0.0;
// the fixture pulls it out, so that the window meets the two boards it can configure unless a
// test puts it back.
const std::vector<Board> kBoards = [] {
    std::vector<Board> boards;
    const auto rig = VmRig::fromEnvironment();
    for (int i = 0; rig && i < rig->boardCount() && i < std::ssize(kVersionCaptions); ++i) {
        const RigBoard& b = rig->board(i);
        const auto byte = [&](unsigned code) { return static_cast<std::uint8_t>(b.setting(code)); };
        boards.push_back({b.serial.value_or(""),
                          " " + b.manufacturer.value_or(""),
                          " " + b.product.value_or(""),
                          kVersionCaptions[i],
                          static_cast<std::size_t>(b.feature_length),
                          {{byte(8), byte(9)}, byte(10), byte(1)}});
    }
    return boards;
}();
constexpr int kOld = 0;
constexpr int kFirst = 1;
constexpr int kSecond = 2;
constexpr int kBoardCount = 3;

// What the lists show for the plugged-in settings, worked out by hand.
const std::vector<std::string> kFirstTypes = {"1:4", "1:2", "1:4", "1:2",
                                              "1:1", "OFF", "1:1", "OFF"};
const std::vector<std::string> kSecondTypes = {"1:2", "1:2", "OFF", "OFF",
                                               "OFF", "1:1", "OFF", "1:1"};

// A report as failure messages show it, e.g. "00 EE 08 A4 + 61 zeros". Two reports read the same
// exactly when they are the same bytes.
std::string spelled(const Report& report) {
    std::size_t shown = report.size();
    while (shown > 2 && report[shown - 1] == 0) {
        --shown;
    }
    std::string words =
        hex(Report(report.begin(), report.begin() + static_cast<std::ptrdiff_t>(shown)));
    if (shown < report.size()) {
        words += " + " + std::to_string(report.size() - shown) + " zeros";
    }
    return words;
}

using Spelled = std::vector<std::string>;

Spelled spelled(const std::vector<Report>& reports) {
    Spelled words;
    for (const Report& report : reports) {
        words.push_back(spelled(report));
    }
    return words;
}

std::vector<Report> then(std::vector<Report> head, const std::vector<Report>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::u16string serialOf(int board) {
    return text(kBoards[board].serial).toStdU16String();
}

// Window and rig helpers shared by the scripted tests and the unplug trials.
class VmWindow : public ::testing::Test, public test::WindowControls {
  protected:
    static void SetUpTestSuite() { rig_ = VmRig::fromEnvironment(); }

    void SetUp() override {
        ASSERT_TRUE(rig_.has_value()) << "this suite runs inside the VM: ctest -L e2e, or "
                                         "e2e/vm/run-vm with the boards of tests/e2e_boards.cmake";
        ASSERT_EQ(rig_->boardCount(), kBoardCount);
        ASSERT_TRUE(events_.listening()) << "no uevent socket";
        side_ = hid::makeLinuxPlatform();
        if (rig_->bound(kOld)) {
            unplugAndWait(kOld);
        }
        ASSERT_TRUE(events_.waitUntil([&] {
            return listed() == std::vector<std::u16string>{serialOf(kFirst), serialOf(kSecond)};
        })) << "an earlier test left the boards in another state";
        for (int b = 0; b < kBoardCount; ++b) {
            if (rig_->bound(b)) {
                ASSERT_TRUE(fence(b)) << "board " << b;
            }
            marks_[b] = rig_->log(b).size();
        }
    }

    void TearDown() override {
        if (window_) {
            window_->close();
            window_.reset();
        }
        EXPECT_EQ(realTicks_, 0) << "the window's timer fired on its own during the test";
        for (int b = 0; b < kBoardCount; ++b) {
            rig_->control(b, "disarm");
            rig_->control(b, "talkative");
            rig_->control(b, "hang off");
            if (b != kOld && !rig_->bound(b)) {
                replugAndWait(b);
            }
            if (dirty_[b]) {
                restoreSettings(b);
            }
        }
    }

    // ---- The window ----

    // `active`: the window becomes the active one first, as a keyboard user needs it to be. That
    // takes a turn of the event loop, which must come before Form_Load starts the timer.
    frmMain& load(bool active = false) {
        window_ = std::make_unique<frmMain>(*platform_);
        QObject::connect(&window_->timer(), &QTimer::timeout, [this] { ++realTicks_; });
        if (active) {
            window_->show();
            window_->activateWindow();
            QApplication::processEvents();
        }
        window_->Form_Load();
        return *window_;
    }

    // As a user closing the program and starting it again.
    frmMain& restart() {
        window_->close();
        window_.reset();
        return load();
    }

    frmMain& window() override { return *window_; }
    void tick() { window_->Timer_Timer(); }

    // Identity captions, lists and check box show `board` with these settings.
    ::testing::AssertionResult shows(int board, const config::BoardSettings& settings) {
        const Board& b = kBoards[board];
        const std::pair<QString, QString> captions[] = {{caption("lblManuf"), text(b.manufacturer)},
                                                        {caption("lblProduct"), text(b.product)},
                                                        {caption("lblVersion"), text(b.version)},
                                                        {serNo()->currentText(), text(b.serial)}};
        for (const auto& [shown, wanted] : captions) {
            if (shown != wanted) {
                return ::testing::AssertionFailure() << "shows \"" << shown.toStdString()
                                                     << "\" for \"" << wanted.toStdString() << '"';
            }
        }
        for (int n = 1; n <= 8; ++n) {
            // Type of pair n: bit n-1 of the low plane plus twice bit n-1 of the high plane.
            const int type = ((settings.planes.low >> (n - 1)) & 1) +
                             2 * ((settings.planes.high >> (n - 1)) & 1);
            if (enc(n)->currentIndex() != type) {
                return ::testing::AssertionFailure() << "Enc" << n << " shows item "
                                                     << enc(n)->currentIndex() << ", not " << type;
            }
        }
        const int code = settings.pulse_code;
        const int pulseIndex = code >= 1 && code <= 25 ? code - 1 : -1;
        if (pulse()->currentIndex() != pulseIndex) {
            return ::testing::AssertionFailure()
                   << "ModeCh1 shows item " << pulse()->currentIndex() << " for code " << code;
        }
        const Qt::CheckState hide = settings.hide_flag == 0   ? Qt::Unchecked
                                    : settings.hide_flag == 1 ? Qt::Checked
                                                              : Qt::PartiallyChecked;
        if (noJoy()->checkState() != hide) {
            return ::testing::AssertionFailure() << "NoJoy shows state " << noJoy()->checkState()
                                                 << " for flag " << int{settings.hide_flag};
        }
        return ::testing::AssertionSuccess();
    }

    void pressSpace(QCheckBox* box) {
        box->setFocus(Qt::TabFocusReason);
        QTest::keyClick(box, Qt::Key_Space);
    }
    // Opens the list's popup, moves to `index` and confirms with Return.
    void pickFromPopup(QComboBox* combo, int index) {
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        view->setCurrentIndex(combo->model()->index(index, combo->modelColumn()));
        QTest::keyClick(view, Qt::Key_Return);
        EXPECT_FALSE(view->isVisible()) << "the popup did not close";
    }
    void pickBoard(int board) {
        const int index = serNo()->findText(text(kBoards[board].serial));
        ASSERT_GE(index, 0) << "board " << board << " is not listed";
        pickFromPopup(serNo(), index);
    }

    // ---- The boards ----

    std::vector<std::u16string> listed() { return listedSerials(*side_, match_); }

    bool present(int board) { return std::ranges::count(listed(), serialOf(board)) > 0; }

    // Both wait for the announcement of the board's hidraw node as well: a searching window
    // walks the devices only once its platform has heard that something came or went, and the
    // node can be enumerated a moment before it is announced.
    void unplugAndWait(int board) {
        const int removed = events_.hidraw("remove");
        ASSERT_TRUE(rig_->unplug(board));
        ASSERT_TRUE(events_.waitUntil([&] {
            return events_.hidraw("remove") > removed && !present(board);
        })) << "board "
            << board << " is still enumerated after its unplug";
    }

    void replugAndWait(int board) {
        const int added = events_.hidraw("add");
        ASSERT_TRUE(rig_->replug(board));
        ASSERT_TRUE(events_.waitUntil([&] {
            return events_.hidraw("add") > added && present(board);
        })) << "board "
            << board << " did not come back";
    }

    // A SET_REPORT completes on the host before the board has logged it; the board answers a
    // fetch only after logging everything before it. So one fetch through a handle of our own
    // makes the log complete. False when the board is not there to answer.
    bool fence(int board) {
        auto opened = openBySerial(*side_, match_, serialOf(board));
        if (!opened.board) {
            return false;
        }
        Report reply(kBoards[board].feature, 0);
        return opened.board->device->getFeatureReport(reply).has_value();
    }

    // The feature reports `board` logged since `from`, report ID first. Only a complete log is
    // worth checking, so the board must be fenced first, or gone. Requests it held unanswered
    // (`hang on`) are no reports: heldRequests() has them.
    std::vector<Report> logged(int board, std::size_t from) {
        std::vector<Report> reports;
        const auto all = rig_->log(board);
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].kind != "held") {
                EXPECT_EQ(all[i].kind, "feature") << "board " << board << " got " << all[i].kind;
                reports.push_back(all[i].bytes);
            }
        }
        return reports;
    }

    // The requests `board` held unanswered since `from`, each as its SETUP packet's first four
    // bytes: request type, request, report ID, report type ("21 09 00 03": SET_REPORT, feature).
    Spelled heldRequests(int board, std::size_t from) {
        Spelled held;
        const auto all = rig_->log(board);
        for (std::size_t i = from; i < all.size(); ++i) {
            if (all[i].kind == "held" && all[i].bytes.size() == 8) {
                held.push_back(hex(Report(all[i].bytes.begin(), all[i].bytes.begin() + 4)));
            }
        }
        return held;
    }

    // What `board` received since the test began.
    Spelled traffic(int board) {
        EXPECT_TRUE(fence(board)) << "board " << board << " did not answer the fencing fetch";
        return spelled(logged(board, marks_[board]));
    }

    // The settings `board` holds: as plugged in, then every write it logged since the VM booted.
    // The board program keeps its settings across unplugs, as the firmware does.
    config::BoardSettings held(int board) {
        config::BoardSettings settings = kBoards[board].plugged;
        for (const Report& report : logged(board, 0)) {
            const Decoded d = test::decode(report);
            if (d.kind != Decoded::Kind::SettingWrite) {
                continue;
            }
            switch (static_cast<Setting>(d.setting)) {
                case Setting::EncoderLowPlane:
                    settings.planes.low = d.value;
                    break;
                case Setting::EncoderHighPlane:
                    settings.planes.high = d.value;
                    break;
                case Setting::PulseLength:
                    settings.pulse_code = d.value;
                    break;
                case Setting::HideFromGameControllers:
                    settings.hide_flag = d.value;
                    break;
            }
        }
        return settings;
    }

    // Puts back the plugged-in settings after a test that wrote.
    void restoreSettings(int board) {
        auto opened = openBySerial(*side_, match_, serialOf(board));
        ASSERT_TRUE(opened.board.has_value()) << "board " << board << " cannot be restored";
        const Board& b = kBoards[board];
        const std::pair<Setting, std::uint8_t> writes[] = {
            {Setting::HideFromGameControllers, b.plugged.hide_flag},
            {Setting::EncoderLowPlane, b.plugged.planes.low},
            {Setting::EncoderHighPlane, b.plugged.planes.high},
            {Setting::PulseLength, b.plugged.pulse_code}};
        for (const auto& [setting, value] : writes) {
            EXPECT_TRUE(
                opened.board->device->sendFeatureReport(settingWrite(b.feature, setting, value)));
        }
    }

    static inline std::optional<VmRig> rig_;
    const hid::DeviceMatch match_{config::kVendorId, config::kProductId};
    DeviceEvents events_;
    // The window's platform, and one for the test's own look at the boards.
    std::unique_ptr<hid::Platform> platform_ = hid::makeLinuxPlatform();
    std::unique_ptr<hid::Platform> side_;
    std::size_t marks_[kBoardCount] = {};
    bool dirty_[kBoardCount] = {};

  private:
    std::unique_ptr<frmMain> window_;
    int realTicks_ = 0;
};

// ---- Start-up and read-back ----

TEST_F(VmWindow, StartUpListsBothBoardsInBusOrderAndOpensTheLast) {
    frmMain& w = load();
    EXPECT_TRUE(w.deviceFound());
    EXPECT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(serNo()->isEnabled());
    ASSERT_EQ(serNo()->count(), 2);
    EXPECT_EQ(serNo()->itemText(0), text(kBoards[kFirst].serial));
    EXPECT_EQ(serNo()->itemText(1), text(kBoards[kSecond].serial));
    EXPECT_EQ(serNo()->currentIndex(), 1);
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    EXPECT_TRUE(control<QWidget>(QStringLiteral("Frame1"))->isEnabled());
    EXPECT_TRUE(settingControlsEnabled());
    EXPECT_TRUE(w.boardNotice().isEmpty());
    EXPECT_EQ(w.timer().interval(), 50);
    EXPECT_TRUE(w.timer().isActive());

    EXPECT_TRUE(traffic(kFirst).empty()) << "the board that is not open was read";
    EXPECT_EQ(traffic(kSecond), spelled(readBack(65)));
}

TEST_F(VmWindow, ReadBackShowsTheSettingsEachBoardWasPluggedInWith) {
    load();
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    EXPECT_EQ(shownTypes(), kSecondTypes);
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("100 ms"));
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);

    pickBoard(kFirst);
    ASSERT_TRUE(window().settingsLoaded());
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged));
    EXPECT_EQ(shownTypes(), kFirstTypes);
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("20 ms"));
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    EXPECT_EQ(traffic(kFirst), spelled(readBack(9)));
}

// ---- Writes ----

TEST_F(VmWindow, EncoderPickWritesBothPlanesAsLongAsTheFeatureReport) {
    dirty_[kFirst] = dirty_[kSecond] = true;
    load();
    // Pair 3 OFF -> 1:1 on the 65-byte board.
    press(enc(3), Qt::Key_Down);
    EXPECT_EQ(traffic(kSecond),
              spelled(then(readBack(65), {settingWrite(65, Setting::EncoderLowPlane, 0xA4),
                                          settingWrite(65, Setting::EncoderHighPlane, 0x03)})));

    // Pair 8 OFF -> 1:1 on the 9-byte board: the high plane does not change and still goes out.
    pickBoard(kFirst);
    press(enc(8), Qt::Key_Down);
    EXPECT_EQ(traffic(kFirst),
              spelled(then(readBack(9), {settingWrite(9, Setting::EncoderLowPlane, 0xD5),
                                         settingWrite(9, Setting::EncoderHighPlane, 0x0F)})));
    EXPECT_EQ(enc(8)->currentText(), QStringLiteral("1:1"));
}

TEST_F(VmWindow, PulsePickWritesTheCodeOfTheLength) {
    dirty_[kSecond] = true;
    load();
    press(pulse(), Qt::Key_Up);  // 100 ms -> 96 ms
    press(pulse(), Qt::Key_Home);
    EXPECT_EQ(traffic(kSecond),
              spelled(then(readBack(65), {settingWrite(65, Setting::PulseLength, 24),
                                          settingWrite(65, Setting::PulseLength, 1)})));
    EXPECT_EQ(pulse()->currentText(), QStringLiteral("4 ms"));
}

TEST_F(VmWindow, HideCheckBoxWritesTheFlagThenCommandB0) {
    dirty_[kSecond] = true;
    load();
    pressSpace(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Unchecked);
    click(noJoy());
    EXPECT_EQ(noJoy()->checkState(), Qt::Checked);

    std::vector<Report> expected = readBack(65);
    for (const std::uint8_t value : {std::uint8_t{0}, std::uint8_t{1}}) {
        expected.push_back(settingWrite(65, Setting::HideFromGameControllers, value));
        expected.push_back(commandB0(65, Setting::HideFromGameControllers, value));
    }
    EXPECT_EQ(traffic(kSecond), spelled(expected));
}

TEST_F(VmWindow, WrittenValuesComeBackInTheNextReadBack) {
    dirty_[kFirst] = true;
    load();
    pickBoard(kFirst);
    press(enc(1), Qt::Key_Up);  // 1:4 -> 1:2
    press(pulse(), Qt::Key_End);
    pressSpace(noJoy());
    const std::size_t before = traffic(kFirst).size();

    pickBoard(kFirst);  // a re-pick of the open board reopens it
    ASSERT_TRUE(window().settingsLoaded());
    const auto after = traffic(kFirst);
    EXPECT_EQ(Spelled(after.begin() + static_cast<std::ptrdiff_t>(before), after.end()),
              spelled(readBack(9)));
    EXPECT_TRUE(shows(kFirst, {{0x54, 0x0F}, 25, 1}));
}

// ---- Settings to and from files ----

// The settings setting-writes carry in `reports`, one entry per write, in order.
std::vector<std::uint8_t> writtenSettings(const std::vector<Report>& reports) {
    std::vector<std::uint8_t> settings;
    for (const Report& report : reports) {
        const Decoded d = test::decode(report);
        if (d.kind == Decoded::Kind::SettingWrite) {
            settings.push_back(d.setting);
        }
    }
    return settings;
}

// Saved from the board shown, changed, loaded back: the board holds what it held when saved, and
// saving again gives the same file byte for byte. The same file onto every board then reaches
// each board once: one write of each setting, nothing else written.
TEST_F(VmWindow, SavedSettingsLoadBackOntoTheBoardAndOntoEveryBoardOnce) {
    dirty_[kFirst] = dirty_[kSecond] = true;
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("Prüfstand-Ωμ.json"));
    const QString again = dir.filePath(QStringLiteral("again.json"));
    QString save_to = name;
    frmMain& w = load();
    w.setFileDialogs(
        {[&](QWidget*, const QString&) { return save_to; }, [&](QWidget*) { return name; }});
    const auto bytesOf = [](const QString& file_name) {
        QFile file(file_name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const auto reportText = [&] {
        return w.fileReport() ? w.fileReport()->text().toStdString() : std::string("no report");
    };

    w.mnuSave_Click();
    const QByteArray saved = bytesOf(name);
    ASSERT_FALSE(saved.isEmpty()) << reportText();

    press(enc(3), Qt::Key_Down);  // pair 3 OFF -> 1:1
    ASSERT_TRUE(fence(kSecond));
    ASSERT_NE(held(kSecond), kBoards[kSecond].plugged);

    w.mnuLoad_Click();
    ASSERT_TRUE(fence(kSecond));
    EXPECT_EQ(held(kSecond), kBoards[kSecond].plugged) << reportText();
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    save_to = again;
    w.mnuSave_Click();
    EXPECT_EQ(bytesOf(again), saved);

    std::size_t marks[kBoardCount] = {};
    for (const int b : {kFirst, kSecond}) {
        ASSERT_TRUE(fence(b));
        marks[b] = rig_->log(b).size();
    }
    w.mnuLoadEvery_Click();
    const std::vector<std::uint8_t> once = {
        test::code(Setting::HideFromGameControllers), test::code(Setting::EncoderLowPlane),
        test::code(Setting::EncoderHighPlane), test::code(Setting::PulseLength)};
    for (const int b : {kFirst, kSecond}) {
        ASSERT_TRUE(fence(b));
        auto written = writtenSettings(logged(b, marks[b]));
        std::ranges::sort(written);
        auto wanted = once;
        std::ranges::sort(wanted);
        EXPECT_EQ(written, wanted) << "board " << b << ": " << reportText();
        EXPECT_EQ(held(b), kBoards[kSecond].plugged) << "board " << b;
    }
    EXPECT_TRUE(reportText().find(text(kBoards[kFirst].serial).toStdString() +
                                  ": written and read back equal") != std::string::npos)
        << reportText();
}

// ---- The watchdog ----

TEST_F(VmWindow, WatchdogClearsTheWindowWhenItsOnlyBoardGoesAndReloadsItOnReturn) {
    unplugAndWait(kFirst);
    frmMain& w = load();
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_FALSE(serNo()->isEnabled()) << "one board leaves nothing to choose";
    tick();
    EXPECT_EQ(w.timer().interval(), 500);

    unplugAndWait(kSecond);
    tick();
    EXPECT_FALSE(w.deviceFound());
    EXPECT_FALSE(w.settingsLoaded());
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_EQ(serNo()->count(), 0);
    for (const char* label : {"lblManuf", "lblProduct", "lblVersion"}) {
        EXPECT_TRUE(caption(label).isEmpty()) << label;
    }
    EXPECT_EQ(w.timer().interval(), 250);
    EXPECT_TRUE(w.timer().isActive());
    tick();  // nothing to find: keeps searching
    EXPECT_EQ(w.timer().interval(), 250);
    EXPECT_FALSE(w.deviceFound());

    const std::size_t mark = rig_->log(kSecond).size();
    replugAndWait(kSecond);
    tick();
    EXPECT_TRUE(w.deviceFound());
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    ASSERT_TRUE(fence(kSecond));
    EXPECT_EQ(spelled(logged(kSecond, mark)), spelled(readBack(65)));
    tick();
    EXPECT_EQ(w.timer().interval(), 500);
}

TEST_F(VmWindow, BoardPluggedIntoASearchingWindowShowsAtTheFirstTickAfterItsAnnouncement) {
    unplugAndWait(kFirst);
    unplugAndWait(kSecond);
    frmMain& w = load();
    ASSERT_FALSE(w.deviceFound());
    for (int i = 0; i < 5; ++i) {  // nothing came or went: these ticks walk nothing
        tick();
    }
    EXPECT_FALSE(w.deviceFound());
    EXPECT_EQ(w.timer().interval(), 50);

    const std::size_t mark = rig_->log(kFirst).size();
    replugAndWait(kFirst);
    tick();
    EXPECT_TRUE(w.deviceFound());
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged));
    ASSERT_TRUE(fence(kFirst));
    EXPECT_EQ(spelled(logged(kFirst, mark)), spelled(readBack(9)));
    EXPECT_EQ(w.timer().interval(), 50) << "the first read has not happened yet";
}

TEST_F(VmWindow, LosingTheOpenBoardOfTwoOpensTheOtherAtTheNextTick) {
    frmMain& w = load();
    unplugAndWait(kSecond);
    tick();
    EXPECT_TRUE(w.deviceFound());
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged));
    EXPECT_EQ(serNo()->count(), 1);
    EXPECT_FALSE(serNo()->isEnabled());
    EXPECT_EQ(w.timer().interval(), 250);
    EXPECT_EQ(traffic(kFirst), spelled(readBack(9)));

    // The board that came back is not taken over: the window stays with the one it has.
    replugAndWait(kSecond);
    tick();
    EXPECT_EQ(serNo()->currentText(), text(kBoards[kFirst].serial));
    EXPECT_EQ(w.timer().interval(), 500);
    EXPECT_EQ(traffic(kFirst), spelled(readBack(9)));
}

TEST_F(VmWindow, QuietBoardIsNotLost) {
    frmMain& w = load();
    ASSERT_TRUE(rig_->control(kSecond, "silent"));
    ASSERT_TRUE(fence(kSecond));  // the board takes its commands before it answers
    // hidraw still holds up to 64 reports; enough ticks to use them up and meet silence.
    for (int i = 0; i < 70; ++i) {
        tick();
    }
    EXPECT_TRUE(w.settingsLoaded());
    EXPECT_EQ(w.timer().interval(), 500);
    EXPECT_EQ(traffic(kSecond), spelled(readBack(65))) << "a quiet board was read back again";
}

// ---- A board that does not answer ----

// The board holds every report request past the host's time-out (usbhid's 5 s). The window
// waits once, says so, and sends it nothing more, whatever the ticks and keys, even once it
// would answer again, until it is plugged in again.
TEST_F(VmWindow, BoardThatNeverAnswersCostsOneWaitAndIsReadAgainOnReplug) {
    dirty_[kSecond] = true;
    unplugAndWait(kFirst);
    frmMain& w = load();
    ASSERT_TRUE(w.settingsLoaded());
    ASSERT_TRUE(fence(kSecond));
    const std::size_t mark = rig_->log(kSecond).size();
    ASSERT_TRUE(rig_->control(kSecond, "hang on"));

    press(enc(3), Qt::Key_Down);  // a write of both planes: the first is never answered
    EXPECT_TRUE(w.deviceFound());
    EXPECT_FALSE(w.settingsLoaded());
    EXPECT_EQ(w.boardNotice(),
              QStringLiteral("The board does not answer; unplug it and plug it in again"));
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    // 20 s of the watchdog's own time: a board that refuses would have been reopened thrice.
    for (int i = 0; i < 40; ++i) {
        tick();
        press(pulse(), Qt::Key_Up);
    }
    EXPECT_TRUE(w.deviceFound()) << "its input reports still come: it is not lost";
    EXPECT_EQ(w.timer().interval(), 500);

    // A fetch of our own is held too, behind anything the window sent: once it has timed out,
    // the board has logged every request before it.
    {
        auto opened = openBySerial(*side_, match_, serialOf(kSecond));
        ASSERT_TRUE(opened.board.has_value());
        Report reply(kBoards[kSecond].feature, 0);
        EXPECT_FALSE(opened.board->device->getFeatureReport(reply).has_value());
        EXPECT_TRUE(opened.board->device->timedOut()) << opened.board->device->lastError();
    }
    EXPECT_EQ(heldRequests(kSecond, mark), (Spelled{"21 09 00 03", "A1 01 00 03"}))
        << "the window's write of the first plane, then our fetch, and nothing else";

    // It answers again, but the window has no reason to think so.
    ASSERT_TRUE(rig_->control(kSecond, "hang off"));
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    ASSERT_TRUE(fence(kSecond));
    EXPECT_TRUE(logged(kSecond, mark).empty());
    EXPECT_EQ(heldRequests(kSecond, mark).size(), 2u);

    unplugAndWait(kSecond);
    tick();
    EXPECT_FALSE(w.deviceFound());
    EXPECT_TRUE(w.boardNotice().isEmpty());
    replugAndWait(kSecond);
    tick();
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(w.boardNotice().isEmpty());
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged)) << "the unanswered write was shown";
    ASSERT_TRUE(fence(kSecond));
    EXPECT_EQ(spelled(logged(kSecond, mark)), spelled(readBack(65)));
}

// ---- Switching ----

TEST_F(VmWindow, SwitchingBoardsMovesTheReadBackAndTheWrites) {
    dirty_[kFirst] = dirty_[kSecond] = true;
    frmMain& w = load();
    press(serNo(), Qt::Key_Up);  // a closed list: the arrow picks the other board
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_FALSE(w.switchPending());
    EXPECT_EQ(serNo()->currentIndex(), 0);
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged));
    press(pulse(), Qt::Key_Down);  // 20 ms -> 24 ms

    pickBoard(kSecond);
    ASSERT_TRUE(w.settingsLoaded());
    EXPECT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    press(pulse(), Qt::Key_Up);  // 100 ms -> 96 ms

    EXPECT_EQ(traffic(kFirst),
              spelled(then(readBack(9), {settingWrite(9, Setting::PulseLength, 6)})));
    EXPECT_EQ(traffic(kSecond), spelled(then(then(readBack(65), readBack(65)),
                                             {settingWrite(65, Setting::PulseLength, 24)})));
}

// ---- Firmware 0.0 ----

TEST_F(VmWindow, BoardWithFirmwareZeroIsShownButNeverConfigured) {
    replugAndWait(kOld);
    frmMain& w = load();
    ASSERT_EQ(serNo()->count(), 3);
    EXPECT_EQ(serNo()->itemText(0), text(kBoards[kOld].serial)) << "bus order";
    pickBoard(kOld);

    EXPECT_TRUE(w.deviceFound());
    EXPECT_FALSE(w.settingsLoaded());
    EXPECT_EQ(caption("lblVersion"), QStringLiteral(" 0.0 - upgrade firmware!"));
    EXPECT_EQ(caption("lblManuf"), text(kBoards[kOld].manufacturer));
    EXPECT_EQ(caption("lblProduct"), text(kBoards[kOld].product));
    EXPECT_TRUE(settingControlsClearedAndDisabled());
    EXPECT_TRUE(serNo()->isEnabled()) << "the user must be able to pick another board";

    press(enc(1), Qt::Key_Down);
    pressSpace(noJoy());
    tick();
    tick();
    EXPECT_TRUE(w.deviceFound()) << "a board that cannot be configured is still connected";
    EXPECT_EQ(w.timer().interval(), 500);
    EXPECT_TRUE(traffic(kOld).empty()) << "firmware 0.0 was sent feature reports";
}

// ---- The keyboard ----

TEST_F(VmWindow, KeyboardWalkReachesEveryControlAndItsKeysWrite) {
    dirty_[kSecond] = true;
    load(true);
    ASSERT_EQ(QApplication::activeWindow(), &window());
    const char* const order[] = {"ModeCh1", "Enc1", "Enc2", "Enc3",  "Enc4", "Enc5",
                                 "Enc6",    "Enc7", "Enc8", "SerNo", "NoJoy"};
    pulse()->setFocus(Qt::TabFocusReason);
    std::vector<Report> expected = readBack(65);
    for (const char* name : order) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        ASSERT_EQ(focused->objectName(), QString::fromLatin1(name));
        if (focused == enc(3)) {
            // Pair 3 OFF -> 1:1: all eight pairs go out.
            QTest::keyClick(focused, Qt::Key_Down);
            expected.push_back(settingWrite(65, Setting::EncoderLowPlane, 0xA4));
            expected.push_back(settingWrite(65, Setting::EncoderHighPlane, 0x03));
        } else if (focused == noJoy()) {
            QTest::keyClick(focused, Qt::Key_Space);
            expected.push_back(settingWrite(65, Setting::HideFromGameControllers, 0));
            expected.push_back(commandB0(65, Setting::HideFromGameControllers, 0));
            break;
        }
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    EXPECT_EQ(traffic(kSecond), spelled(expected));
    EXPECT_TRUE(traffic(kFirst).empty());
}

// ---- The encoder test window ----

// The test window's timer ticks (waiting for the watch's reader between ticks) until `done`.
bool testUntil(app::EncoderTestWindow& test, const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + kEventLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        test.model().waitForInput(std::chrono::milliseconds(100));
        test.Timer_Timer();
    }
    return true;
}

// What a screen reader is told a control of the test window is.
QString spoken(app::EncoderTestWindow& test, const char* name) {
    auto* label = test.findChild<QLabel*>(QString::fromLatin1(name));
    QAccessibleInterface* iface = label ? QAccessible::queryAccessibleInterface(label) : nullptr;
    return iface ? iface->text(QAccessible::Name) : QStringLiteral("no control %1").arg(name);
}

// The board turns two encoders while the test window is open: a screen reader hears the counts.
// A pick in the main window still writes at once and the test follows it. Unplugging the board
// ends the test in the system's words, and the main window moves to the other board as always.
TEST_F(VmWindow, EncoderTestWindowCountsTheTurnsAndEndsWhenTheBoardGoes) {
    dirty_[kSecond] = true;
    frmMain& w = load();
    w.mnuTestEncoders_Click();
    app::EncoderTestWindow* test = w.encoderTest();
    ASSERT_NE(test, nullptr);
    ASSERT_TRUE(test->shown().running) << base::toUtf8(test->shown().status);
    // Steps under way when the watch's first report came would not be counted.
    ASSERT_TRUE(test->model().waitForInput(kEventLimit));
    test->Timer_Timer();

    ASSERT_TRUE(rig_->control(kSecond, "turn 1 3 5"));
    ASSERT_TRUE(rig_->control(kSecond, "turn 2 -2 5"));
    ASSERT_TRUE(testUntil(
        *test,
        [&] {
            return spoken(*test, "lblFirstSteps1") == QStringLiteral("Steps on button 1: 3") &&
                   spoken(*test, "lblSecondSteps2") == QStringLiteral("Steps on button 4: 2");
        }))
        << spoken(*test, "lblPair1").toStdString() << " / "
        << spoken(*test, "lblPair2").toStdString();
    EXPECT_TRUE(spoken(*test, "lblPair1")
                    .startsWith(QStringLiteral("Buttons 1-2, 1:2: 3 steps on button 1, 0 on button "
                                               "2, last pulse ")));

    // Pair 3 OFF -> 1:1 in the main window: written at once, and the test counts with it.
    press(enc(3), Qt::Key_Down);
    EXPECT_EQ(traffic(kSecond),
              spelled(then(readBack(65), {settingWrite(65, Setting::EncoderLowPlane, 0xA4),
                                          settingWrite(65, Setting::EncoderHighPlane, 0x03)})));
    EXPECT_EQ(spoken(*test, "lblType3"), QStringLiteral("Buttons 5-6, type as set: 1:1"));
    EXPECT_TRUE(w.timer().isActive());

    unplugAndWait(kSecond);
    ASSERT_TRUE(testUntil(*test, [&] { return !test->shown().running; }));
    const QString status = spoken(*test, "lblStatus");
    EXPECT_TRUE(status.startsWith(QStringLiteral("The board went away (")) &&
                status.endsWith(QStringLiteral("). The test has ended.")))
        << status.toStdString();
    EXPECT_FALSE(test->timer().isActive());
    tick();
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged))
        << "the main window lost the board as always";
}

// ---- The find dialog ----

// What a screen reader is told a label of the find dialog says, or the selector shows.
QString spoken(QWidget& window, const char* name, QAccessible::Text text = QAccessible::Name) {
    auto* widget = window.findChild<QWidget*>(QString::fromLatin1(name));
    QAccessibleInterface* iface = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return iface ? iface->text(text) : QStringLiteral("no control %1").arg(name);
}

// The dialog's timer ticks (waiting for the watch's reader between ticks) until `done`, or it
// closed; it is deleted only by the event loop.
bool findUntil(app::FindBoardDialog& find, const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + kEventLimit;
    while (find.isVisible() && !done()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        find.model().waitForInput(std::chrono::milliseconds(100));
        find.Timer_Timer();
    }
    return true;
}

// Three boards: the window has the second open, the one with firmware 0.0 is plugged in while
// the dialog waits, and a press on the first shows that one. Only the first is read back; Esc
// leaves the selection.
TEST_F(VmWindow, FindDialogShowsThePressedBoardAmongThree) {
    frmMain& w = load();
    ASSERT_TRUE(shows(kSecond, kBoards[kSecond].plugged));
    w.mnuFindBoard_Click();
    app::FindBoardDialog* find = w.findBoard();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(spoken(*find, "lblPrompt"),
              QStringLiteral("Press a button or turn an encoder on the board you want"));
    ASSERT_TRUE(findUntil(*find, [&] {
        return spoken(*find, "lblStatus") == QStringLiteral("Watching 2 boards.");
    })) << spoken(*find, "lblStatus").toStdString();
    replugAndWait(kOld);
    ASSERT_TRUE(fence(kOld));
    marks_[kOld] = rig_->log(kOld).size();
    ASSERT_TRUE(findUntil(*find, [&] {
        return spoken(*find, "lblStatus") == QStringLiteral("Watching 3 boards.");
    })) << spoken(*find, "lblStatus").toStdString();

    ASSERT_TRUE(rig_->control(kFirst, "press 2"));
    ASSERT_TRUE(findUntil(*find, [] { return false; }));
    ASSERT_TRUE(rig_->control(kFirst, "release 2"));
    EXPECT_FALSE(find->isVisible());
    EXPECT_EQ(spoken(w, "SerNo", QAccessible::Value), text(kBoards[kFirst].serial));
    EXPECT_TRUE(shows(kFirst, kBoards[kFirst].plugged));
    EXPECT_EQ(traffic(kFirst), spelled(readBack(9)));
    EXPECT_EQ(traffic(kSecond), spelled(readBack(65))) << "only its read-back at start-up";
    EXPECT_TRUE(traffic(kOld).empty());

    w.mnuFindBoard_Click();
    find = w.findBoard();
    ASSERT_NE(find, nullptr);
    EXPECT_EQ(spoken(*find, "cmdCancel"), QStringLiteral("Cancel the search"));
    QTest::keyClick(find, Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    ASSERT_TRUE(rig_->control(kSecond, "press 3"));
    tick();
    ASSERT_TRUE(rig_->control(kSecond, "release 3"));
    EXPECT_EQ(spoken(w, "SerNo", QAccessible::Value), text(kBoards[kFirst].serial));
}

// ---- Unplugging in the middle of an exchange ----

// Ends the program when a trial outlives a bound that no healthy trial comes near. Without it a
// hung exchange would sit until run-vm's limit, and the seed would go unreported.
class HangGuard {
  public:
    HangGuard(std::string what, std::chrono::seconds limit)
        : what_(std::move(what)), thread_([this, limit] { watch(limit); }) {}
    ~HangGuard() {
        {
            const std::scoped_lock lock(mutex_);
            done_ = true;
        }
        released_.notify_all();
        thread_.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

  private:
    void watch(std::chrono::seconds limit) {
        std::unique_lock lock(mutex_);
        if (!released_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "HANG: %s did not finish within %lld s\n", what_.c_str(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
        }
    }

    std::string what_;
    std::mutex mutex_;
    std::condition_variable released_;
    bool done_ = false;
    std::thread thread_;  // last, so it starts once everything it uses exists
};

// Each trial arms one board to vanish at a random report request of an exchange the user starts,
// so the board goes with a request unanswered or right after answering it. Afterwards the window
// must show either a board's true settings or nothing, and every write a board logged must be one
// the user picked in that trial. The board comes back before the next trial.
//
// The seed is fixed so a failure replays; ROTORIX_RANDOM_SEED (run-vm --env) overrides it.
class VmUnplugTrials : public VmWindow {
  protected:
    enum class Exchange { ReadBack, Write };

    // Several waits for the kernel, each bounded by kEventLimit, fit in this with room to spare.
    static constexpr std::chrono::seconds kTrialLimit = 4 * kEventLimit;

    void SetUp() override {
        VmWindow::SetUp();
        seed_ = 0x0E2E5EEDu;
        if (const char* chosen = std::getenv("ROTORIX_RANDOM_SEED")) {
            seed_ = static_cast<std::uint32_t>(std::strtoul(chosen, nullptr, 0));
        }
        rng_.seed(seed_);
        dirty_[kFirst] = dirty_[kSecond] = true;
    }

    void TearDown() override {
        RecordProperty("seed", std::to_string(seed_));
        RecordProperty("writes", writes_);
        VmWindow::TearDown();
    }

    int uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void runTrials(Exchange exchange, int count) {
        load();
        ASSERT_TRUE(window().settingsLoaded());
        for (int t = 0; t < count && !HasFailure(); ++t) {
            const std::string which =
                "seed " + std::to_string(seed_) + ", trial " + std::to_string(t);
            const HangGuard guard(which, kTrialLimit);
            std::ostringstream story;
            story << which << ":";
            trial(exchange, story);
        }
        // Trials that never wrote would prove nothing about unpicked writes.
        if (exchange == Exchange::Write) {
            EXPECT_GE(writes_, count) << "seed " << seed_;
        }
    }

    void trial(Exchange exchange, std::ostringstream& story) {
        for (int b : {kFirst, kSecond}) {
            ASSERT_TRUE(fence(b)) << "board " << b;
            trialMarks_[b] = rig_->log(b).size();
            picked_[b].clear();
        }
        const bool before = uniform(0, 1) == 0;
        int victim = kSecond;
        int nth = 1;
        auto arm = [&] {
            const std::string command =
                (before ? "unplug-before " : "unplug-after ") + std::to_string(nth);
            story << " board " << victim << " " << command << ";";
            ASSERT_TRUE(rig_->control(victim, command));
        };
        if (exchange == Exchange::ReadBack) {
            nth = uniform(1, 8);  // the read-back is eight requests
            if (uniform(0, 2) == 0) {
                story << " start-up read-back:";  // a fresh start opens the last board
                arm();
                restart();
            } else {
                if (serNo()->count() < 2) {
                    story << " restart;";  // the selector lists only boards present at its scan
                    restart();
                }
                victim = uniform(kFirst, kSecond);
                arm();
                story << " pick board " << victim << " in SerNo;";
                pickBoard(victim);
            }
        } else {
            victim = openBoard();
            ASSERT_GE(victim, kFirst) << "no board loaded before the trial";
            nth = uniform(1, 4);  // each pick makes one or two requests, a tick none
            arm();
            for (int i = 0; i < 12 && rig_->bound(victim); ++i) {
                userAction(story);
            }
        }
        for (int extra = uniform(0, 2); extra > 0; --extra) {
            userAction(story);
        }

        SCOPED_TRACE(story.str());
        for (int b : {kFirst, kSecond}) {
            rig_->control(b, "disarm");
        }
        ASSERT_TRUE(events_.waitUntil([&] { return !rig_->bound(victim); }))
            << "the fault never struck";
        EXPECT_TRUE(loadedOrCleared()) << "right after the exchange";

        ASSERT_TRUE(events_.waitUntil([&] { return !present(victim); }));
        tick();
        EXPECT_TRUE(loadedOrCleared()) << "at the tick after the board went";
        if (window().settingsLoaded()) {
            EXPECT_NE(openBoard(), victim) << "the window holds on to a board that has gone";
        }
        checkWrites();

        replugAndWait(victim);
        for (int i = 0; i < 3 && !window().settingsLoaded(); ++i) {
            tick();
        }
        ASSERT_TRUE(window().settingsLoaded()) << "the window did not reconnect";
        EXPECT_TRUE(loadedOrCleared()) << "after the replug";
    }

    // ---- The user ----

    void userAction(std::ostream& story) {
        switch (uniform(0, 4)) {
            case 0:
            case 1:
                keyOnEncoder(story);
                break;
            case 2:
                keyOnPulse(story);
                break;
            case 3:
                spaceOnHide(story);
                break;
            default:
                story << " tick;";
                tick();
                break;
        }
    }

    // The board whose settings the window shows, or -1.
    int openBoard() {
        if (!window().deviceFound() || !window().settingsLoaded()) {
            return -1;
        }
        for (int b = 0; b < kBoardCount; ++b) {
            if (serNo()->currentText() == text(kBoards[b].serial)) {
                return b;
            }
        }
        return -1;
    }

    // Where a pick on `control` goes, if anywhere: the open board, while the control takes input.
    int target(QWidget* control) { return control->isEnabled() ? openBoard() : -1; }

    void keyOnEncoder(std::ostream& story) {
        const int n = uniform(1, 8);
        QComboBox* combo = enc(n);
        const int from = combo->currentIndex();
        const bool down = from <= 0 || (from < combo->count() - 1 && uniform(0, 1) == 1);
        story << " key " << (down ? "Down" : "Up") << " on Enc" << n << ";";
        if (const int board = target(combo); board >= 0) {
            unsigned low = 0, high = 0;
            for (int m = 1; m <= 8; ++m) {
                const int type = m == n ? (down ? from + 1 : from - 1) : enc(m)->currentIndex();
                low |= static_cast<unsigned>(type & 1) << (m - 1);
                high |= static_cast<unsigned>((type >> 1) & 1) << (m - 1);
            }
            const std::size_t length = kBoards[board].feature;
            picked_[board].push_back(
                settingWrite(length, Setting::EncoderLowPlane, static_cast<std::uint8_t>(low)));
            picked_[board].push_back(
                settingWrite(length, Setting::EncoderHighPlane, static_cast<std::uint8_t>(high)));
        }
        press(combo, down ? Qt::Key_Down : Qt::Key_Up);
    }

    void keyOnPulse(std::ostream& story) {
        const int from = pulse()->currentIndex();
        const bool down = from <= 0 || (from < pulse()->count() - 1 && uniform(0, 1) == 1);
        story << " key " << (down ? "Down" : "Up") << " on ModeCh1;";
        if (const int board = target(pulse()); board >= 0) {
            const auto code = static_cast<std::uint8_t>((down ? from + 1 : from - 1) + 1);
            picked_[board].push_back(
                settingWrite(kBoards[board].feature, Setting::PulseLength, code));
        }
        press(pulse(), down ? Qt::Key_Down : Qt::Key_Up);
    }

    void spaceOnHide(std::ostream& story) {
        story << " Space on NoJoy;";
        if (const int board = target(noJoy()); board >= 0) {
            const std::uint8_t value = noJoy()->checkState() == Qt::Checked ? 0 : 1;
            const std::size_t length = kBoards[board].feature;
            picked_[board].push_back(settingWrite(length, Setting::HideFromGameControllers, value));
            picked_[board].push_back(commandB0(length, Setting::HideFromGameControllers, value));
        }
        pressSpace(noJoy());
    }

    // ---- What must hold ----

    // Either the window shows a board and what it truly holds, or no setting control has anything
    // to show or accepts input.
    ::testing::AssertionResult loadedOrCleared() {
        if (!window().settingsLoaded()) {
            return settingControlsClearedAndDisabled();
        }
        if (!window().deviceFound()) {
            return ::testing::AssertionFailure() << "settings loaded without a board";
        }
        if (auto enabled = settingControlsEnabled(); !enabled) {
            return enabled;
        }
        const int board = openBoard();
        if (board < 0) {
            return ::testing::AssertionFailure()
                   << "SerNo names no board: " << serNo()->currentText().toStdString();
        }
        if (rig_->bound(board)) {
            fence(board);  // may fail: the board may be leaving, and then its log is complete
        }
        return shows(board, held(board));
    }

    // Every report a board logged in this trial is a read request or one of the writes the
    // user's picks asked of it, in the order picked; a write the board lost on its way out may
    // be missing, nothing may be added.
    void checkWrites() {
        for (int b : {kFirst, kSecond}) {
            if (rig_->bound(b)) {
                fence(b);
            }
            std::size_t next = 0;
            for (const Report& report : logged(b, trialMarks_[b])) {
                EXPECT_EQ(report.size(), kBoards[b].feature)
                    << "board " << b << ": " << spelled(report);
                if (test::decode(report).kind == Decoded::Kind::ReadRequest) {
                    continue;
                }
                const auto& picked = picked_[b];
                const auto found = std::find(picked.begin() + static_cast<std::ptrdiff_t>(next),
                                             picked.end(), report);
                if (found == picked.end()) {
                    ADD_FAILURE() << "board " << b << " received " << spelled(report)
                                  << ", which no pick of this trial asked for at that point";
                    break;
                }
                next = static_cast<std::size_t>(found - picked.begin()) + 1;
                ++writes_;
            }
        }
    }

    std::uint32_t seed_ = 0;
    std::mt19937 rng_;
    std::size_t trialMarks_[kBoardCount] = {};
    std::vector<Report> picked_[kBoardCount];
    int writes_ = 0;
};

TEST_F(VmUnplugTrials, BoardVanishingDuringAReadBackLeavesNoStaleValues) {
    runTrials(Exchange::ReadBack, 30);
}

TEST_F(VmUnplugTrials, BoardVanishingDuringWritesLeavesOnlyPickedWrites) {
    runTrials(Exchange::Write, 30);
}

}  // namespace
}  // namespace rotorix::e2e
