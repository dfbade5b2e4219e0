// The configurator on real hardware.
#include <QApplication>

#include "app/application.h"
#include "app/main_window.h"
#include "app/quit_on_signal.h"
#include "hid/system_platform.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    rotorix::app::describeApplication(application);
    const auto platform = rotorix::hid::makeSystemPlatform();
    rotorix::app::MainWindow window(*platform);
    rotorix::app::closeOnStopSignals(&window);
    window.Form_Load();
    return application.exec();
}
