#include "sim/demo_boards.h"

#include "config/protocol.h"
#include "sim/sim_platform.h"

namespace rotorix::sim {

namespace {

BoardSpec demoBoard(const char16_t* serial, config::EncoderTypes types, std::uint8_t pulse,
                    std::uint8_t hidden) {
    BoardSpec design;
    design.serial = serial;
    design.manufacturer = u"Rotorix";
    design.product = u"Rotorix 16-button encoder board";
    design.version = 0x0104;
    const config::EncoderPlanes planes = config::packEncoderTypes(types);
    design.settings[static_cast<std::size_t>(config::Setting::EncoderLowPlane)] = planes.low;
    design.settings[static_cast<std::size_t>(config::Setting::EncoderHighPlane)] = planes.high;
    design.settings[static_cast<std::size_t>(config::Setting::PulseLength)] = pulse;
    design.settings[static_cast<std::size_t>(config::Setting::HideFromGameControllers)] = hidden;
    return design;
}

}  // namespace

void addDemoBoards(SimPlatform& platform) {
    platform.addBoard(demoBoard(u"RX-0117", {1, 3, 2, 0, 0, 0, 0, 0}, 6, 0));
    platform.addBoard(demoBoard(u"RX-0342", {3, 3, 3, 3, 1, 1, 0, 0}, 10, 1));
}

}  // namespace rotorix::sim
