// Writes a PNG of the window connected to the demo boards, rendered with the real fonts.
// Usage: rotorix-screenshot OUTPUT.png
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/application.h"
#include "app/frm_main.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    rotorix::app::describeApplication(application);
    rotorix::sim::SimPlatform platform;
    rotorix::sim::addDemoBoards(platform);
    frmMain window(platform);
    window.Form_Load();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    window.close();
    return 0;
}
