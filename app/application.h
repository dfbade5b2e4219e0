// Application-wide set-up shared by the configurator, the demo and the screenshot tool.
#pragma once

class QApplication;

namespace rotorix::app {

// Name, version, icon and the desktop entry the windows belong to. The last window closing ends
// the program.
void describeApplication(QApplication& application);

}  // namespace rotorix::app
