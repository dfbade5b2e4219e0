// rotorix-config.exe: the configurator on the boards attached to this computer.
#include <windows.h>

#include "hid/system_platform.h"
#include "session/board_session.h"
#include "win/main_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    const auto platform = rotorix::hid::makeSystemPlatform();
    rotorix::session::BoardSession session(*platform);
    rotorix::win::MainWindow window(*platform, session, instance);
    if (!window.create(show_command)) {
        return 1;
    }
    return rotorix::win::runMessageLoop(window);
}
