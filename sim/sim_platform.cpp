#include "sim/sim_platform.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "config/protocol.h"
#include "hid/report_descriptor.h"
#include "sim/board_descriptor.h"

namespace rotorix::sim {

namespace {

constexpr std::string_view kPathPrefix = "sim:";

// Injected failures of one kind of call: the next `skip` calls succeed, then `times` fail.
struct Failures {
    int skip = 0;
    int times = 0;
};

// Fails the call when a failure is pending; a negative count never runs out.
bool consumeFailure(std::map<Call, Failures>& failures, Call call) {
    auto it = failures.find(call);
    if (it == failures.end() || it->second.times == 0) {
        return false;
    }
    if (it->second.skip > 0) {
        --it->second.skip;
        return false;
    }
    if (it->second.times > 0) {
        --it->second.times;
    }
    return true;
}

std::string pathOf(int id, int interface_index) {
    return std::string(kPathPrefix) + std::to_string(id) + ":" + std::to_string(interface_index);
}

struct ParsedPath {
    int id = 0;
    int interface_index = 0;
};

std::optional<ParsedPath> parsePath(const std::string& path) {
    if (!path.starts_with(kPathPrefix)) {
        return std::nullopt;
    }
    ParsedPath parsed;
    const char* const end = path.data() + path.size();
    auto [after_id, id_error] = std::from_chars(path.data() + kPathPrefix.size(), end, parsed.id);
    if (id_error != std::errc{} || after_id == end || *after_id != ':') {
        return std::nullopt;
    }
    auto [after_index, index_error] = std::from_chars(after_id + 1, end, parsed.interface_index);
    if (index_error != std::errc{} || after_index != end) {
        return std::nullopt;
    }
    return parsed;
}

// What a transfer into `room` bytes carries from a device whose report is `report_length` bytes
// long (0: the descriptor does not say, so the caller's room decides).
std::size_t cappedLength(std::size_t room, std::uint16_t report_length) {
    return report_length == 0 ? room : std::min(room, std::size_t{report_length});
}

// Everything the platform and its handles share; handles keep it alive past the platform.
struct Entry {
    BoardSpec design;
    bool foreign = false;
    bool plugged = true;
    int generation = 0;  // bumped on every unplug, so handles opened before it stay dead
    std::optional<hid::OpenError> refusal;
    bool silent = false;
    std::size_t short_reply = 0;
    FirmwareModel firmware;
    int open_handles = 0;
    std::map<Call, Failures> failures;
    std::map<Call, int> calls;
    std::optional<std::pair<Call, int>> unplug_after;
    // Feature exchanges still served before the board hangs; empty while it does not.
    std::optional<int> hang_after;
    int waits = 0;

    // Whether this feature exchange goes unanswered; counts down to the hang.
    bool hangs() {
        if (!hang_after) {
            return false;
        }
        if (*hang_after > 0) {
            --*hang_after;
            return false;
        }
        ++waits;
        return true;
    }
};

struct SharedState {
    // Guards everything here: the platform's calls, and every handle's, may come from any thread.
    mutable std::mutex mutex;
    // Wakes reads waiting for a report when a device is unplugged or starts talking again.
    std::condition_variable changed;
    std::chrono::milliseconds report_interval{0};
    std::deque<Entry> devices;  // a deque keeps firmware references valid as devices are added
    std::map<Call, Failures> failures;
    std::map<Call, int> calls;
    bool asked = false;        // devicesMayHaveChanged() has been called
    bool set_changed = false;  // a device came or went since the last such call
    bool monitor_failed = false;

    Entry& entry(int id) {
        if (id < 0 || static_cast<std::size_t>(id) >= devices.size()) {
            throw std::out_of_range("SimPlatform: no device with this id");
        }
        return devices[static_cast<std::size_t>(id)];
    }

    // Counts one call on `device` and says whether an injected failure claims it.
    bool begin(Entry& device, Call call) {
        ++calls[call];
        ++device.calls[call];
        return consumeFailure(device.failures, call) || consumeFailure(failures, call);
    }

    void finish(Entry& device, Call call) {
        if (!device.unplug_after || device.unplug_after->first != call) {
            return;
        }
        if (--device.unplug_after->second <= 0) {
            device.unplug_after.reset();
            unplug(device);
        }
    }

    void unplug(Entry& device) {
        if (device.plugged) {
            device.plugged = false;
            ++device.generation;
            set_changed = true;
            changed.notify_all();
        }
        device.hang_after.reset();  // a power cycle ends a hang
    }
};

using Lock = std::unique_lock<std::mutex>;

class SimDevice final : public hid::Device {
  public:
    // Made by SimPlatform::open, which holds the state's lock.
    SimDevice(std::shared_ptr<SharedState> state, int id)
        : state_(std::move(state)), id_(id), generation_(state_->entry(id).generation) {
        ++state_->entry(id_).open_handles;
    }
    ~SimDevice() override {
        const Lock lock(state_->mutex);
        --state_->entry(id_).open_handles;
    }

    std::optional<std::u16string> serialNumber() override {
        return run(Call::SerialNumber, std::optional<std::u16string>{},
                   [](Entry& e) { return e.design.serial; });
    }
    std::optional<std::u16string> manufacturer() override {
        return run(Call::Manufacturer, std::optional<std::u16string>{},
                   [](Entry& e) { return e.design.manufacturer; });
    }
    std::optional<std::u16string> product() override {
        return run(Call::Product, std::optional<std::u16string>{},
                   [](Entry& e) { return e.design.product; });
    }
    std::optional<hid::ReportLengths> reportLengths() override {
        return run(Call::ReportLengths, std::optional<hid::ReportLengths>{},
                   [](Entry& e) { return std::optional<hid::ReportLengths>{e.design.lengths}; });
    }

    std::optional<std::vector<hid::InputButton>> inputButtons() override {
        using Buttons = std::optional<std::vector<hid::InputButton>>;
        return run(Call::InputButtons, Buttons{}, [](Entry& e) -> Buttons {
            if (e.design.report_descriptor) {
                return hid::inputButtonsFromDescriptor(*e.design.report_descriptor);
            }
            if (e.foreign) {
                return std::vector<hid::InputButton>{};
            }
            return hid::inputButtonsFromDescriptor(
                boardReportDescriptor(e.design.lengths.input, e.design.lengths.feature));
        });
    }

    bool sendFeatureReport(std::span<const std::uint8_t> report) override {
        return run(Call::SendFeature, false, [&](Entry& e) {
            if (hung(e) || e.foreign || report.empty()) {
                return false;
            }
            e.firmware.receiveFeatureReport(report);
            return true;
        });
    }

    std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) override {
        return run(Call::GetFeature, std::optional<std::size_t>{},
                   [&](Entry& e) -> std::optional<std::size_t> {
                       if (hung(e)) {
                           return std::nullopt;
                       }
                       if (e.foreign || buffer.empty() || buffer[0] != config::kReportId) {
                           return std::nullopt;
                       }
                       // A real board answers with its own report length, whatever room
                       // the caller offered.
                       auto reply = e.firmware.featureReportReply(
                           cappedLength(buffer.size(), e.design.lengths.feature));
                       if (e.short_reply > 0 && e.short_reply < reply.size()) {
                           reply.resize(e.short_reply);
                       }
                       std::copy(reply.begin(), reply.end(), buffer.begin());
                       return reply.size();
                   });
    }

    hid::ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) override {
        Lock lock(state_->mutex);
        Entry& e = state_->entry(id_);  // a deque entry: it stays put while the lock is let go
        const bool injected = state_->begin(e, Call::ReadInput);
        const hid::ReadOutcome outcome = (injected || !alive(e))
                                             ? hid::ReadOutcome::Gone
                                             : awaitReport(lock, e, buffer, timeout_ms);
        last_error_ = !alive(e) ? "No such device" : injected ? "Input/output error" : "";
        timed_out_ = false;
        state_->finish(e, Call::ReadInput);
        return outcome;
    }

    std::string lastError() const override { return last_error_; }
    bool timedOut() const override { return timed_out_; }

  private:
    bool alive(const Entry& e) const { return e.plugged && e.generation == generation_; }

    template <class Result, class Body>
    Result run(Call call, Result failed, Body body) {
        const Lock lock(state_->mutex);
        Entry& e = state_->entry(id_);
        const bool injected = state_->begin(e, call);
        const bool living = alive(e);
        timed_out_ = false;
        // The words the system would have given: a dead handle's, or an injected failure's; a
        // hung board's body puts its own.
        last_error_ = !living ? "No such device" : injected ? "Input/output error" : "";
        Result result = (injected || !living) ? failed : body(e);
        state_->finish(e, call);
        return result;
    }

    void fillReport(Entry& e, std::span<std::uint8_t> buffer, Clock::time_point now) {
        if (e.foreign) {
            std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
            return;
        }
        const auto report =
            e.firmware.inputReport(cappedLength(buffer.size(), e.design.lengths.input), now);
        std::copy(report.begin(), report.end(), buffer.begin());
    }

    // Without a report interval nothing here waits: a report at every read, and a silent
    // device reports NothingYet as if the wait had run out. With one, the read waits (letting
    // go of the lock) until this handle's next report is due, the device goes, or its bound.
    hid::ReadOutcome awaitReport(Lock& lock, Entry& e, std::span<std::uint8_t> buffer,
                                 int timeout_ms) {
        const auto interval = state_->report_interval;
        if (interval.count() <= 0) {
            if (e.silent) {
                return hid::ReadOutcome::NothingYet;
            }
            fillReport(e, buffer, Clock::now());
            return hid::ReadOutcome::Report;
        }
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
        for (;;) {
            if (!alive(e)) {
                return hid::ReadOutcome::Gone;
            }
            const auto now = Clock::now();
            const auto due = last_report_ ? *last_report_ + interval : now;
            if (!e.silent && now >= due) {
                last_report_ = now;
                fillReport(e, buffer, now);
                return hid::ReadOutcome::Report;
            }
            if (now >= deadline) {
                return hid::ReadOutcome::NothingYet;
            }
            state_->changed.wait_until(lock, e.silent ? deadline : std::min(deadline, due));
        }
    }

    // A hung board leaves the exchange unanswered, as usbhid tells it after its time-out.
    bool hung(Entry& e) {
        timed_out_ = e.hangs();
        if (timed_out_) {
            last_error_ = "Connection timed out";
        }
        return timed_out_;
    }

    std::shared_ptr<SharedState> state_;
    int id_;
    int generation_;
    std::string last_error_;
    std::optional<Clock::time_point> last_report_;  // with a report interval: when it last read
    bool timed_out_ = false;
};

}  // namespace

struct SimPlatform::State : SharedState {};

SimPlatform::SimPlatform() : state_(std::make_shared<State>()) {}
SimPlatform::~SimPlatform() = default;

SimPlatform::BoardId SimPlatform::addBoard(const BoardSpec& design) {
    const Lock lock(state_->mutex);
    auto& e = state_->devices.emplace_back();
    e.design = design;
    e.firmware = FirmwareModel(design.settings);
    state_->set_changed = true;
    return static_cast<BoardId>(state_->devices.size() - 1);
}

SimPlatform::BoardId SimPlatform::addForeign(std::uint16_t vendor_id, std::uint16_t product_id) {
    const Lock lock(state_->mutex);
    const auto id = static_cast<BoardId>(state_->devices.size());
    auto& e = state_->devices.emplace_back();
    e.foreign = true;
    e.design.vendor_id = vendor_id;
    e.design.product_id = product_id;
    e.design.version = 0;
    const std::string number = std::to_string(id);
    e.design.serial = u"F-" + std::u16string(number.begin(), number.end());
    e.design.manufacturer = u"Foreign";
    e.design.product = u"Foreign";
    e.design.lengths = {8, 0, 0};
    state_->set_changed = true;
    return id;
}

void SimPlatform::unplug(BoardId id) {
    const Lock lock(state_->mutex);
    state_->unplug(state_->entry(id));
}
void SimPlatform::replug(BoardId id) {
    const Lock lock(state_->mutex);
    Entry& e = state_->entry(id);
    state_->set_changed = state_->set_changed || !e.plugged;
    e.plugged = true;
}
bool SimPlatform::plugged(BoardId id) const {
    const Lock lock(state_->mutex);
    return state_->entry(id).plugged;
}

void SimPlatform::refuseOpen(BoardId id, std::optional<hid::OpenError> error) {
    const Lock lock(state_->mutex);
    state_->entry(id).refusal = std::move(error);
}

void SimPlatform::failCall(Call call, int times) {
    const Lock lock(state_->mutex);
    state_->failures[call] = {0, times};
}
void SimPlatform::failCall(BoardId id, Call call, int times) {
    const Lock lock(state_->mutex);
    state_->entry(id).failures[call] = {0, times};
}
void SimPlatform::failCallAfter(BoardId id, Call call, int skip, int times) {
    const Lock lock(state_->mutex);
    state_->entry(id).failures[call] = {skip, times};
}
void SimPlatform::clearFailures() {
    const Lock lock(state_->mutex);
    state_->failures.clear();
    for (auto& e : state_->devices) {
        e.failures.clear();
    }
}

void SimPlatform::setReportLengths(BoardId id, hid::ReportLengths lengths) {
    const Lock lock(state_->mutex);
    state_->entry(id).design.lengths = lengths;
}
void SimPlatform::setSilent(BoardId id, bool silent) {
    const Lock lock(state_->mutex);
    state_->entry(id).silent = silent;
    state_->changed.notify_all();
}
void SimPlatform::setReportInterval(std::chrono::milliseconds interval) {
    const Lock lock(state_->mutex);
    state_->report_interval = interval;
    state_->changed.notify_all();
}
void SimPlatform::setShortFeatureReply(BoardId id, std::size_t bytes) {
    const Lock lock(state_->mutex);
    state_->entry(id).short_reply = bytes;
}
void SimPlatform::unplugAfter(BoardId id, Call call, int calls) {
    const Lock lock(state_->mutex);
    state_->entry(id).unplug_after = std::make_pair(call, calls);
}
void SimPlatform::hang(BoardId id, int after) {
    const Lock lock(state_->mutex);
    Entry& e = state_->entry(id);
    e.hang_after = after < 0 ? std::nullopt : std::optional(after);
}
int SimPlatform::waits(BoardId id) const {
    const Lock lock(state_->mutex);
    return state_->entry(id).waits;
}

// The lock covers finding the entry only: what the caller does with the model is its own
// affair (see the header).
FirmwareModel& SimPlatform::firmware(BoardId id) {
    const Lock lock(state_->mutex);
    return state_->entry(id).firmware;
}
const FirmwareModel& SimPlatform::firmware(BoardId id) const {
    const Lock lock(state_->mutex);
    return state_->entry(id).firmware;
}

void SimPlatform::setButtons(BoardId id, std::uint16_t pressed) {
    const Lock lock(state_->mutex);
    state_->entry(id).firmware.setButtons(pressed);
}
void SimPlatform::queueButtons(BoardId id, const std::vector<std::uint16_t>& states) {
    const Lock lock(state_->mutex);
    state_->entry(id).firmware.queueButtons(states);
}
bool SimPlatform::turn(BoardId id, int pair, int steps, int steps_per_second) {
    const Lock lock(state_->mutex);
    return !state_->entry(id).firmware.turn(pair, steps, steps_per_second, Clock::now()).empty();
}

void SimPlatform::setMonitorFailed(bool failed) {
    const Lock lock(state_->mutex);
    state_->monitor_failed = failed;
}

int SimPlatform::openHandles() const {
    const Lock lock(state_->mutex);
    int total = 0;
    for (const auto& e : state_->devices) {
        total += e.open_handles;
    }
    return total;
}
int SimPlatform::openHandles(BoardId id) const {
    const Lock lock(state_->mutex);
    return state_->entry(id).open_handles;
}

int SimPlatform::callCount(Call call) const {
    const Lock lock(state_->mutex);
    auto it = state_->calls.find(call);
    return it == state_->calls.end() ? 0 : it->second;
}
int SimPlatform::callCount(BoardId id, Call call) const {
    const Lock lock(state_->mutex);
    const auto& calls = state_->entry(id).calls;
    auto it = calls.find(call);
    return it == calls.end() ? 0 : it->second;
}

std::string SimPlatform::path(BoardId id, int interface_index) const {
    const Lock lock(state_->mutex);
    state_->entry(id);  // rejects an unknown id
    return pathOf(id, interface_index);
}

hid::Enumeration SimPlatform::enumerate() {
    const Lock lock(state_->mutex);
    ++state_->calls[Call::Enumerate];
    hid::Enumeration walk;
    if (consumeFailure(state_->failures, Call::Enumerate)) {
        // Like a system's monitor: a change is handled only once a walk after it succeeded.
        state_->set_changed = state_->set_changed || state_->asked;
        walk.failure = "Too many open files";
        return walk;
    }
    auto& list = walk.interfaces;
    for (std::size_t i = 0; i < state_->devices.size(); ++i) {
        const auto& e = state_->devices[i];
        if (!e.plugged) {
            continue;
        }
        const auto id = static_cast<BoardId>(i);
        for (int k = 0; k < e.design.interfaces; ++k) {
            list.push_back(
                {pathOf(id, k), e.design.vendor_id, e.design.product_id, e.design.version, {}});
        }
    }
    return walk;
}

std::optional<hid::Identity> SimPlatform::identify(const hid::InterfaceInfo& entry) {
    const Lock lock(state_->mutex);
    const auto parsed = parsePath(entry.path);
    if (!parsed || parsed->id < 0 ||
        static_cast<std::size_t>(parsed->id) >= state_->devices.size()) {
        ++state_->calls[Call::Identify];
        return std::nullopt;
    }
    Entry& e = state_->entry(parsed->id);
    std::optional<hid::Identity> identity;
    // A device whose serial query fails cannot be named; the other strings read as empty.
    if (!state_->begin(e, Call::Identify) && e.plugged && parsed->interface_index >= 0 &&
        parsed->interface_index < e.design.interfaces && e.design.serial) {
        identity = hid::Identity{*e.design.serial, e.design.manufacturer.value_or(u""),
                                 e.design.product.value_or(u"")};
    }
    state_->finish(e, Call::Identify);
    return identity;
}

hid::OpenResult SimPlatform::open(const hid::InterfaceInfo& entry) {
    const Lock lock(state_->mutex);
    const hid::OpenError no_such_device{hid::OpenError::Kind::Gone, "No such device"};
    const auto parsed = parsePath(entry.path);
    const bool known =
        parsed && parsed->id >= 0 && static_cast<std::size_t>(parsed->id) < state_->devices.size();
    if (!known) {
        ++state_->calls[Call::Open];
        if (consumeFailure(state_->failures, Call::Open)) {
            return hid::OpenError{hid::OpenError::Kind::Other, "Input/output error"};
        }
        return no_such_device;
    }
    Entry& e = state_->entry(parsed->id);
    hid::OpenResult result = no_such_device;
    if (state_->begin(e, Call::Open)) {
        result = hid::OpenError{hid::OpenError::Kind::Other, "Input/output error"};
    } else if (!e.plugged || parsed->interface_index < 0 ||
               parsed->interface_index >= e.design.interfaces) {
        result = no_such_device;
    } else if (e.refusal) {
        result = *e.refusal;
    } else {
        result = hid::DeviceHandle{std::make_unique<SimDevice>(state_, parsed->id)};
    }
    state_->finish(e, Call::Open);
    return result;
}

bool SimPlatform::devicesMayHaveChanged() {
    const Lock lock(state_->mutex);
    const bool first = !state_->asked;
    const bool changed = state_->set_changed;
    state_->asked = true;
    state_->set_changed = false;
    return first || changed || state_->monitor_failed;
}

}  // namespace rotorix::sim
