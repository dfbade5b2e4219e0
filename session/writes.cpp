// Setting writes: each behind the SettingsLoaded gate, each refusal read back, and a change
// checked against what the board holds afterwards.
#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <utility>

#include "session/board_session.h"

namespace rotorix::session {

namespace {

// The open board, keeping the system's words for the first call that failed. A write sends two
// reports, and a device's last error speaks only of its latest call: when the second report is
// taken after the first was refused, the refusal's words would otherwise be gone.
class FirstFailure final : public hid::Device {
  public:
    explicit FirstFailure(hid::Device& board) : board_(board) {}

    std::optional<std::u16string> serialNumber() override { return note(board_.serialNumber()); }
    std::optional<std::u16string> manufacturer() override { return note(board_.manufacturer()); }
    std::optional<std::u16string> product() override { return note(board_.product()); }
    std::optional<hid::ReportLengths> reportLengths() override {
        return note(board_.reportLengths());
    }
    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        return note(board_.sendFeatureReport(report));
    }
    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        return note(board_.getFeatureReport(buffer));
    }
    hid::ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        const hid::ReadOutcome outcome = board_.readInputReport(buffer, timeout_ms);
        note(outcome != hid::ReadOutcome::Gone);
        return outcome;
    }
    std::string lastError() const override { return words_; }
    // The latest call's, as the caller asks it right after a call that failed.
    bool timedOut() const override { return board_.timedOut(); }

    // Some call went unanswered.
    bool unanswered() const { return unanswered_; }

  private:
    template <class Result>
    Result note(Result result) {
        if (!result) {
            if (words_.empty()) {
                words_ = board_.lastError();
            }
            unanswered_ = unanswered_ || board_.timedOut();
        }
        return result;
    }

    hid::Device& board_;
    std::string words_;
    bool unanswered_ = false;
};

config::EncoderTypes clampedTypes(const config::EncoderTypes& types) {
    config::EncoderTypes clamped{};
    std::transform(types.begin(), types.end(), clamped.begin(),
                   [](std::uint8_t type) { return std::min<std::uint8_t>(type, 3); });
    return clamped;
}

}  // namespace

WriteOutcome BoardSession::writeEncoderTypes(const config::EncoderTypes& types) {
    const config::EncoderTypes clamped = clampedTypes(types);
    return write(
        [&](config::BoardSettings& held) { held.planes = config::packEncoderTypes(clamped); },
        [&](hid::Device& device) {
            return config::writeEncoderTypes(device, caps_.feature, clamped);
        });
}

WriteOutcome BoardSession::writePulseCode(std::uint8_t code) {
    if (!config::pulseIndexFromCode(code)) {
        return WriteOutcome::NotSent;
    }
    return write(
        [&](config::BoardSettings& held) { held.pulse_code = code; },
        [&](hid::Device& device) { return config::writePulseCode(device, caps_.feature, code); });
}

WriteOutcome BoardSession::writeHideFlag(std::uint8_t value) {
    return write(
        [&](config::BoardSettings& held) { held.hide_flag = value; },
        [&](hid::Device& device) { return config::writeHideFlag(device, caps_.feature, value); });
}

WriteOutcome BoardSession::write(const std::function<void(config::BoardSettings&)>& change,
                                 const std::function<bool(hid::Device&)>& send) {
    if (!(open() && loaded())) {
        return WriteOutcome::NotSent;
    }
    config::BoardSettings written = *snapshot_.settings;
    change(written);
    FirstFailure device(*board_->device);
    const bool taken = send(device);
    return afterWrite(taken, written, device.lastError(), device.unanswered());
}

WriteOutcome BoardSession::pickEncoderTypes(const std::array<int, config::kEncoderCount>& indices) {
    config::EncoderTypes types{};
    std::transform(indices.begin(), indices.end(), types.begin(),
                   [](int index) { return static_cast<std::uint8_t>(std::clamp(index, 0, 3)); });
    return writeEncoderTypes(types);
}

WriteOutcome BoardSession::pickPulse(int index) {
    const auto code = config::pulseCodeFromIndex(index);
    return code ? writePulseCode(*code) : WriteOutcome::NotSent;
}

WriteOutcome BoardSession::pickHidden(bool checked) {
    return writeHideFlag(checked ? 1 : 0);
}

AppliedChange BoardSession::applyAndVerify(const SettingsChange& change) {
    AppliedChange applied;
    const auto noted = [&](WriteOutcome outcome) {
        const bool refused =
            outcome == WriteOutcome::RefusedReread || outcome == WriteOutcome::RefusedLost;
        if (refused && applied.refused_words.empty()) {
            applied.refused_words = snapshot_.last_error;
        }
        return outcome;
    };
    if (change.encoders) {
        applied.encoders = noted(writeEncoderTypes(*change.encoders));
    }
    if (change.pulse_code) {
        applied.pulse = noted(writePulseCode(*change.pulse_code));
    }
    if (change.hide_flag) {
        applied.hidden = noted(writeHideFlag(*change.hide_flag));
    }
    // What the board holds now, not what the session last wrote.
    if (reload()) {
        applied.read_back = snapshot_.settings;
    }
    const auto taken = [](std::optional<std::uint8_t> asked, WriteOutcome outcome) {
        return !asked || outcome == WriteOutcome::Taken;
    };
    const auto& held = applied.read_back;
    applied.verified =
        held &&
        (!change.encoders ||
         (applied.encoders == WriteOutcome::Taken &&
          held->planes == config::packEncoderTypes(clampedTypes(*change.encoders)))) &&
        taken(change.pulse_code, applied.pulse) &&
        (!change.pulse_code || held->pulse_code == *change.pulse_code) &&
        taken(change.hide_flag, applied.hidden) &&
        (!change.hide_flag || held->hide_flag == *change.hide_flag);
    return applied;
}

WriteOutcome BoardSession::afterWrite(bool taken, const config::BoardSettings& written,
                                      std::string words, bool unanswered) {
    if (taken) {
        snapshot_.settings = written;
        snapshot_.last_error.clear();
        publish();
        return WriteOutcome::Taken;
    }
    const std::string why = words.empty() ? "the board did not answer" : std::move(words);
    snapshot_.last_error = why;
    if (unanswered) {
        // What it holds is unknown, but a read-back would only wait on it again.
        stopTalking();
        showNotice();
        publish();
        return WriteOutcome::RefusedLost;
    }
    // The board refused: read everything back, so what is shown is what the board holds rather
    // than what the user hoped it took.
    refresh();
    if (snapshot_.last_error.empty()) {
        snapshot_.last_error = why;  // the read-back worked; keep the refusal's words
    }
    publish();
    return loaded() ? WriteOutcome::RefusedReread : WriteOutcome::RefusedLost;
}

}  // namespace rotorix::session
