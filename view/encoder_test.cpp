#include "view/encoder_test.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <span>
#include <string_view>
#include <utility>

#include "base/unicode.h"
#include "base/words.h"

namespace rotorix::view {

namespace {

std::u16string u16(const std::string& utf8) {
    return base::fromUtf8Lossy(utf8);
}

std::string widthText(input::Clock::duration width) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms",
                  std::chrono::duration<double, std::milli>(width).count());
    return text;
}

// The meter's findings read as running text; in a list each starts a sentence.
std::u16string sentence(const std::string& finding) {
    std::u16string text = u16(finding);
    if (!text.empty() && text[0] >= u'a' && text[0] <= u'z') {
        text[0] = static_cast<char16_t>(text[0] - u'a' + u'A');
    }
    return text;
}

std::u16string whyUnwatched(const input::Unwatched& why) {
    switch (why.kind) {
        case input::Unwatched::Kind::OpenFailed:
            return u16("The board could not be opened for the test" +
                       base::inParentheses(why.open_error.detail) + ".");
        case input::Unwatched::Kind::DescriptorUnreadable:
            return u"Which of the board's inputs are buttons could not be read: there is nothing "
                   u"to test.";
        case input::Unwatched::Kind::NoButtons:
            break;
    }
    return u"The board declares no buttons: there is nothing to test.";
}

}  // namespace

EncoderTest::EncoderTest(hid::Platform& platform, const session::BoardSession& session) {
    const session::Snapshot& snapshot = session.snapshot();
    const session::ListedBoard* board = snapshot.board_open ? snapshot.selectedBoard() : nullptr;
    const hid::BoardEntry* entry =
        board != nullptr
            ? session.entry(snapshot.listed[static_cast<std::size_t>(snapshot.selected)])
            : nullptr;
    if (entry == nullptr || !snapshot.settings) {
        status_ =
            u"No board to test: the main window has no board open whose settings it could "
            u"read.";
        shown_ = viewNow();
        return;
    }
    path_ = entry->info.path;
    serial_ = entry->identity.serial;
    meter_.emplace(input::meterSettings(*snapshot.settings));
    watch_ = std::make_unique<input::InputWatch>(platform, std::span(entry, 1));
    if (const auto& why = watch_->unwatched().front()) {
        status_ = whyUnwatched(*why);
        watch_.reset();
    } else {
        running_ = true;
        status_ =
            u"Turn an encoder or press a button: each step is counted on the button it "
            u"pulsed.";
    }
    shown_ = viewNow();
}

EncoderTest::~EncoderTest() = default;

void EncoderTest::end(std::u16string status) {
    running_ = false;
    status_ = std::move(status);
    down_ = 0;
    if (watch_) {
        watch_->stop();
    }
}

EncoderTestUpdate EncoderTest::tick() {
    pressed_since_tick_ = 0;
    bool ended = false;
    if (running_ && watch_) {
        for (const input::WatchEvent& event : watch_->drain()) {
            if (event.kind == input::WatchEvent::Kind::Ended) {
                end(u16("The board went away" + base::inParentheses(event.why) +
                        ". The test has ended."));
                ended = true;
                break;
            }
            pressed_since_tick_ |= static_cast<input::PairButtons>(event.pair_buttons & ~down_);
            down_ = event.pair_buttons;
            meter_->feed(event.stamp, event.pair_buttons);
        }
        if (running_) {
            meter_->advance(input::Clock::now());
        }
    }
    EncoderTestUpdate update = publish();
    if (ended) {
        update.announce.push_back(status_);
    }
    return update;
}

constexpr std::u16string_view kCountsRestarted = u"The settings changed: the counts start again.";

EncoderTestUpdate EncoderTest::follow(const session::Snapshot& snapshot) {
    const session::ListedBoard* board = snapshot.selectedBoard();
    if (!running_ || board == nullptr || board->path != path_ || !snapshot.settings) {
        return {};
    }
    const input::MeterSettings now = input::meterSettings(*snapshot.settings);
    if (now.types == meter_->settings().types && now.pulse == meter_->settings().pulse) {
        return {};
    }
    meter_.emplace(now);
    meter_->feed(input::Clock::now(), down_);  // the buttons as they stand are its baseline
    told_.clear();
    EncoderTestUpdate update = publish();
    // Said first, before any finding that publish() has to tell.
    std::vector<std::u16string> said{std::u16string(kCountsRestarted)};
    std::move(update.announce.begin(), update.announce.end(), std::back_inserter(said));
    update.announce = std::move(said);
    return update;
}

EncoderTestUpdate EncoderTest::clearCounts() {
    if (meter_) {
        meter_->clearCounts();
    }
    told_.clear();
    return publish();
}

bool EncoderTest::waitForInput(std::chrono::milliseconds limit) {
    return running_ && watch_ && watch_->waitForEvents(limit);
}

// The view as it stands, and each finding not yet told to be announced.
EncoderTestUpdate EncoderTest::publish() {
    EncoderTestUpdate update;
    EncoderTestView now = viewNow();
    for (const std::u16string& finding : now.findings) {
        if (std::find(told_.begin(), told_.end(), finding) == told_.end()) {
            told_.push_back(finding);
            update.announce.push_back(finding);
        }
    }
    if (now != shown_) {
        update.show = shown_ = std::move(now);
    }
    return update;
}

EncoderTestView EncoderTest::viewNow() const {
    EncoderTestView view;
    view.title =
        serial_.empty() ? std::u16string(u"Test the encoders") : u"Test the encoders of " + serial_;
    view.status = status_;
    view.running = running_;
    const input::PairButtons lit = down_ | pressed_since_tick_;
    for (int p = 1; p <= static_cast<int>(config::kEncoderCount); ++p) {
        PairRow& row = view.rows[static_cast<std::size_t>(p - 1)];
        const std::string first = std::to_string(2 * p - 1);
        const std::string second = std::to_string(2 * p);
        row.name = u16("Buttons " + first + "-" + second);
        row.lit = {((lit >> (2 * p - 2)) & 1u) != 0, ((lit >> (2 * p - 1)) & 1u) != 0};
        std::string spoken = "Buttons " + first + "-" + second;
        if (meter_) {
            const input::PairSummary summary = meter_->pair(p);
            const auto& types = config::encoderTypeTexts();
            const std::string type = summary.type < types.size() ? types[summary.type] : "?";
            row.type = u16(type);
            row.first_steps = summary.positive;
            row.second_steps = summary.negative;
            spoken += ", " + type + ": " + std::to_string(summary.positive) + " steps on button " +
                      first + ", " + std::to_string(summary.negative) + " on button " + second;
            if (summary.last_width) {
                row.last_width = u16(widthText(*summary.last_width));
                spoken += ", last pulse " + widthText(*summary.last_width);
            }
        }
        row.spoken = u16(spoken);
    }
    if (meter_) {
        for (const input::Finding& finding : meter_->findings()) {
            view.findings.push_back(sentence(finding.text));
        }
    }
    return view;
}

}  // namespace rotorix::view
