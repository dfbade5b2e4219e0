// Faults a test can switch on in a running board, through its control FIFO: one command a line.
//
//   unplug-before N   the Nth report request (GET_REPORT or SET_REPORT) from now is never
//                     answered: the board pulls its own cable instead, mid-exchange
//   unplug-after N    the Nth report request is answered, then the board pulls its cable before
//                     it takes another
//   disarm            forget a pending unplug
//   silent            send no more input reports (a board that has hung)
//   talkative         send input reports again
//   pace N            send at most one input report every N milliseconds (instead of one at
//                     every poll of the endpoint), for hosts slower than the poll rate
//   press N           button N (1..16) is held down in the following input reports
//   release N         button N is let go
//   short-reply N     answer feature fetches with N bytes only, report ID counted (N - 1 on the
//                     wire), as a board with broken firmware might
//   full-reply        answer feature fetches in full again
//   turn P S [R]      turn the encoder on pair P (1..8) by S steps (S not 0, |S| at most 10000)
//                     at R steps per second (1..1000, 10 if left out): positive steps pulse the
//                     pair's first button, negative ones its second, each pulse as long as the
//                     board's pulse setting (sim/encoder_turns.h); a turn given while another
//                     runs follows it
//   hang on           leave every report request unanswered, as a board whose firmware has hung:
//                     each is logged ("held" and its SETUP packet) and held past the host's
//                     time-out (usbhid gives a control transfer 5 s), then ended with a stall
//                     nobody waits for any more. Input reports go on
//   hang off          end the held request at once, and answer report requests again
//
// The board reads its control FIFO before it serves each request, so a command written before
// the test starts an exchange is in force for that exchange.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace rotorix::e2e {

struct ControlCommand {
    enum class Kind {
        UnplugBefore,
        UnplugAfter,
        Disarm,
        Silent,
        Talkative,
        Pace,
        Press,
        Release,
        ShortReply,
        FullReply,
        Turn,
        HangOn,
        HangOff,
    };
    Kind kind = Kind::Disarm;
    // N of the unplug, pace and short-reply commands (at least 1), the button, or turn's pair
    int count = 0;
    int steps = 0;  // turn: signed
    int rate = 0;   // turn: steps per second

    friend bool operator==(const ControlCommand&, const ControlCommand&) = default;
};

inline constexpr int kDefaultTurnRate = 10;

// One line, without its newline; surrounding blanks are ignored. Empty optional when the line is
// no command.
std::optional<ControlCommand> parseControlCommand(std::string_view line);

// Counts report requests towards an armed unplug.
class UnplugTrigger {
  public:
    enum class Decision {
        Serve,            // answer as usual
        UnplugInstead,    // leave the request unanswered and unplug
        ServeThenUnplug,  // answer, then unplug
    };

    // Arms (or re-arms) for the `nth` request from now; nth < 1 disarms.
    void arm(int nth, bool before_answer);
    void disarm() { countdown_ = 0; }
    bool armed() const { return countdown_ > 0; }

    // Called once for every report request, before it is served.
    Decision onReportRequest();

  private:
    int countdown_ = 0;
    bool before_answer_ = true;
};

}  // namespace rotorix::e2e
