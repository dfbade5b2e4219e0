#include "app/demo_boards.h"

#include "config/protocol.h"
#include "sim/sim_platform.h"

namespace rotorix::app {

namespace {

sim::BoardSpec demoBoard(const char16_t* serial, config::EncoderTypes types, std::uint8_t pulse,
                         std::uint8_t hidden) {
    sim::BoardSpec spec;
    spec.serial = serial;
    spec.manufacturer = u"Rotorix";
    spec.product = u"Rotorix 16-button encoder board";
    spec.version = 0x0104;
    const config::EncoderPlanes planes = config::packEncoderTypes(types);
    spec.settings[static_cast<std::size_t>(config::Setting::EncoderLowPlane)] = planes.low;
    spec.settings[static_cast<std::size_t>(config::Setting::EncoderHighPlane)] = planes.high;
    spec.settings[static_cast<std::size_t>(config::Setting::PulseLength)] = pulse;
    spec.settings[static_cast<std::size_t>(config::Setting::HideFromGameControllers)] = hidden;
    return spec;
}

}  // namespace

void addDemoBoards(sim::SimPlatform& platform) {
    platform.addBoard(demoBoard(u"RX-0117", {1, 3, 2, 0, 0, 0, 0, 0}, 6, 0));
    platform.addBoard(demoBoard(u"RX-0342", {3, 3, 3, 3, 1, 1, 0, 0}, 10, 1));
}

}  // namespace rotorix::app
