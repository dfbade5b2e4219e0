// The board session on the simulated platform, without any toolkit: a fixture that starts from a
// sane board, drives the watchdog by calling tick(), and reads what a front end would show from
// the session's snapshot.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "board_traffic.h"
#include "session/board_session.h"

namespace rotorix::session {
inline void PrintTo(WriteOutcome outcome, std::ostream* out) {
    static const char* const kNames[] = {"NotSent", "Taken", "RefusedReread", "RefusedLost"};
    *out << kNames[static_cast<int>(outcome)];
}
inline void PrintTo(Firmware firmware, std::ostream* out) {
    static const char* const kNames[] = {"None", "TooOld", "NotConfigurable", "Ready"};
    *out << kNames[static_cast<int>(firmware)];
}
}  // namespace rotorix::session

namespace rotorix::test {

using session::BoardSession;
using session::Firmware;
using session::Snapshot;
using session::WriteOutcome;

// Pair n's type as the lists show it, from bit n-1 of each plane. Spelled out here rather than
// borrowed from config/, so the check does not share the code's mistakes.
inline std::vector<std::string> typesShown(const config::BoardSettings& settings) {
    static const char* const kTexts[] = {"OFF", "1:1", "1:2", "1:4"};
    std::vector<std::string> shown;
    for (int n = 0; n < 8; ++n) {
        shown.emplace_back(
            kTexts[((settings.planes.low >> n) & 1) + 2 * ((settings.planes.high >> n) & 1)]);
    }
    return shown;
}

// Encoder types for writeEncoderTypes, pair 1 first.
using Types = config::EncoderTypes;

class SessionTest : public ::testing::Test {
  protected:
    BoardId addBoard(const sim::BoardSpec& design = saneBoard()) {
        return platform.addBoard(design);
    }

    BoardSession& start() {
        session.start();
        return session;
    }

    // The last tick's result.
    session::TickResult tick(int times = 1) {
        session::TickResult result;
        for (int i = 0; i < times; ++i) {
            result = session.tick();
        }
        return result;
    }

    // Ticks until the session reopens `board` after a failed read-back (its back-off runs on the
    // ticks' intervals), but no longer than its longest wait. The time the ticks ran for.
    int tickUntilReopened(BoardId board) {
        const int opens = platform.callCount(board, sim::Call::Open);
        int waited = 0;
        while (platform.callCount(board, sim::Call::Open) == opens &&
               waited <= session::RetryTiming::kReopenBackoffMs.back()) {
            waited += session.interval();
            session.tick();
        }
        return waited;
    }

    const Snapshot& shown() const { return session.snapshot(); }
    // What Enc1..Enc8 would show; empty while no settings are loaded.
    std::vector<std::string> shownTypes() const {
        return shown().settings ? typesShown(*shown().settings) : std::vector<std::string>{};
    }
    // A write or reload is possible: a board is open and its settings were read.
    bool loaded() const {
        return session.snapshot().board_open && session.snapshot().settings.has_value();
    }

    const std::vector<Report>& received(BoardId id) const {
        return platform.firmware(id).received();
    }
    std::vector<Report> writesTo(BoardId id) const { return writesIn(received(id)); }
    void forgetTraffic(BoardId id) { platform.firmware(id).clearReceived(); }

    SimPlatform platform;
    BoardSession session{platform};  // declared after the platform, so destroyed before it
};

inline const std::vector<std::string> kSaneTypes{"1:1", "1:4", "1:2", "OFF",
                                                 "OFF", "OFF", "OFF", "OFF"};

}  // namespace rotorix::test
