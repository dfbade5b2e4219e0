// The virtual boards of the demo: the window's demo, the screenshot tool and the command line's
// --demo all connect to these same two boards.
#pragma once

namespace rotorix::sim {

class SimPlatform;

// Two boards with firmware 1.4 and settings a user would recognise as configured.
void addDemoBoards(SimPlatform& platform);

}  // namespace rotorix::sim
