// The configurator on two virtual boards, for trying every control without hardware.
#include <QApplication>

#include "app/application.h"
#include "app/frm_main.h"
#include "app/quit_on_signal.h"
#include "sim/demo_boards.h"
#include "sim/sim_platform.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    rotorix::app::describeApplication(application);
    rotorix::sim::SimPlatform platform;
    rotorix::sim::addDemoBoards(platform);
    frmMain window(platform);
    window.setWindowTitle(window.windowTitle() + QStringLiteral(" (demo boards)"));
    rotorix::app::closeOnStopSignals(&window);
    window.Form_Load();
    return application.exec();
}
