// The encoder test window without a toolkit: what it shows while the user turns the encoders of
// the board the main window has open, and what it tells a screen reader.
//
// How a front end drives it (Qt and Win32 alike), all on the window's thread:
// - When the user opens the test window, make an EncoderTest from the platform and the main
//   window's session. It opens a handle of its own on the session's open board and starts the
//   input watch; the session and its handle are left alone (the watch's reader is the only
//   other thread).
// - Start a timer of the test window's own at kTickMs. On each timeout call tick(); when its
//   `show` is set, copy it into the controls; say each of `announce` politely (a live region, a
//   polite announcement), in order. Before the first tick, shown() holds what to show.
// - After each update of the main window, call follow(session.snapshot()), and show what it
//   returns the same way: a pick in the main window changes the types the test counts with.
// - "Clear the counts" calls clearCounts(). Closing the window destroys the EncoderTest, which
//   stops the reader within its read bound and closes its handle.
// A test that has ended (the board went away, or it could not start) keeps its last counts on
// show; `running` is then false and `status` says why, in the system's words.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "hid/platform.h"
#include "input/encoder_meter.h"
#include "input/watch.h"
#include "session/board_session.h"

namespace rotorix::view {

// One pair of buttons as a row of the test window.
struct PairRow {
    std::u16string name;  // "Buttons 1-2"
    std::u16string type;  // as set: "OFF", "1:1", "1:2", "1:4"
    // The pair's first and second button: down now, or pressed since the tick before, so that a
    // pulse shorter than a tick still lights its button once.
    std::array<bool, 2> lit{};
    long long first_steps = 0;   // steps that pulsed the first button
    long long second_steps = 0;  // ... the second
    std::u16string last_width;   // "24.1 ms"; empty before the first step
    // The whole row in words, for a screen reader: "Buttons 1-2, 1:4: 3 steps on button 1, ...".
    std::u16string spoken;

    friend bool operator==(const PairRow&, const PairRow&) = default;
};

struct EncoderTestView {
    std::u16string title;   // the test window's caption, naming the board
    std::u16string status;  // what the test is doing, or why it ended
    bool running = false;   // false once it has ended: nothing more will be counted
    std::array<PairRow, config::kEncoderCount> rows;
    std::vector<std::u16string> findings;  // only what was seen; empty: nothing looks wrong

    friend bool operator==(const EncoderTestView&, const EncoderTestView&) = default;
};

struct EncoderTestUpdate {
    std::optional<EncoderTestView> show;  // none: the controls already show it
    std::vector<std::u16string> announce;
};

class EncoderTest {
  public:
    // How often a front end calls tick(): lights a pulse for long enough to be seen, and keeps
    // the window's thread idle between ticks.
    static constexpr std::chrono::milliseconds kTickMs{25};

    // Tests the board `session` has open, with the settings it read back. With no such board the
    // test has ended before it began, and says why. The platform must be the session's.
    EncoderTest(hid::Platform& platform, const session::BoardSession& session);
    ~EncoderTest();
    EncoderTest(const EncoderTest&) = delete;
    EncoderTest& operator=(const EncoderTest&) = delete;

    // Drains what the watch read since the last tick into the meter.
    EncoderTestUpdate tick();
    // The main window's session changed: new settings of the tested board start the counts again
    // with the types as now set.
    EncoderTestUpdate follow(const session::Snapshot& snapshot);
    // Counts, widths and findings start again.
    EncoderTestUpdate clearCounts();

    // For a caller without a timer (and tests): waits up to `limit` for input to tick on. True
    // when some is waiting.
    bool waitForInput(std::chrono::milliseconds limit);

    const EncoderTestView& shown() const { return shown_; }

  private:
    void end(std::u16string status);
    EncoderTestUpdate publish();
    EncoderTestView viewNow() const;

    std::string path_;  // of the tested board, as the session listed it
    std::u16string serial_;
    std::unique_ptr<input::InputWatch> watch_;
    std::optional<input::EncoderMeter> meter_;
    input::PairButtons down_ = 0;
    input::PairButtons pressed_since_tick_ = 0;
    bool running_ = false;
    std::u16string status_;
    std::vector<std::u16string> told_;  // findings already announced
    EncoderTestView shown_;
};

}  // namespace rotorix::view
