// The virtual boards the demo and the screenshot tool connect to.
#pragma once

namespace rotorix::sim {
class SimPlatform;
}

namespace rotorix::app {

// Two boards with firmware 1.4 and settings a user would recognise as configured.
void addDemoBoards(sim::SimPlatform& platform);

}  // namespace rotorix::app
