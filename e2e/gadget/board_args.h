// Command line of the FunctionFS board program.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "e2e/gadget/hid_function.h"
#include "sim/firmware_model.h"

namespace rotorix::e2e {

struct BoardArgs {
    std::string ffs_dir;         // the mounted FunctionFS instance (holds ep0)
    std::string log_path;        // one line per received report; empty: no log
    std::string pulse_log_path;  // one line per pulse of a turn (pulseLine); empty: no log
    std::string control_path;    // FIFO of commands (board_control.h); empty: none
    std::string udc_file;        // the gadget's UDC file, for unplugging itself
    BoardReports reports;
    sim::FirmwareModel::Settings settings{};
};

// Parses
//   --ffs DIR [--log FILE] [--pulse-log FILE] [--control FIFO --udc-file FILE] [--input-length N]
//   [--feature-length N] [--settings CODE=VALUE,...]
// Numbers are decimal or 0x-hexadecimal. On a bad command line returns empty optional and puts
// the reason into `error`.
std::optional<BoardArgs> parseBoardArgs(std::span<const std::string> args, std::string& error);

}  // namespace rotorix::e2e
