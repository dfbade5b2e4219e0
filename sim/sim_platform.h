// A simulated HID platform: any number of virtual boards (each running the firmware model) and
// foreign HID devices, in a fixed enumeration order, with every failure a test may need.
//
// Used by the unit and window tests and by the demo executable. Every call may come from any
// thread: an input watch reads its handles on a reader of its own while the test or the demo
// drives the platform. The one exception is firmware(), which hands out the model itself.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/protocol.h"
#include "hid/platform.h"
#include "sim/firmware_model.h"

namespace rotorix::sim {

// Which platform call a fault is injected into.
enum class Call {
    Enumerate,
    Identify,
    Open,
    SerialNumber,
    Manufacturer,
    Product,
    ReportLengths,
    SendFeature,
    GetFeature,
    ReadInput,
    InputButtons,
};

struct BoardSpec {
    std::uint16_t vendor_id = config::kVendorId;
    std::uint16_t product_id = config::kProductId;
    std::uint16_t version = 0x0104;
    // Empty optional: the query for the string fails (a device that does not answer it). A
    // string the device lacks is an empty string, as every platform reads it.
    std::optional<std::u16string> serial = u"0001";
    std::optional<std::u16string> manufacturer = u"Rotorix";
    std::optional<std::u16string> product = u"Rotary Encoder Board";
    hid::ReportLengths lengths{9, 0, 9};
    // The report descriptor inputButtons() reads: empty optional means the board's own
    // (sim/board_descriptor.h) for `lengths`. Report lengths always come from `lengths`.
    std::optional<std::vector<std::uint8_t>> report_descriptor;
    FirmwareModel::Settings settings{};
    // Number of HID interfaces the device exposes; each is enumerated with the same IDs and
    // strings and shares the one firmware model.
    int interfaces = 1;
};

class SimPlatform : public hid::Platform {
  public:
    using BoardId = int;

    SimPlatform();
    ~SimPlatform() override;

    // Adds a device at the end of the enumeration order; it is plugged in.
    BoardId addBoard(const BoardSpec& design);
    // A device that is not a board: any IDs, no firmware model behind it (feature reports fail).
    BoardId addForeign(std::uint16_t vendor_id, std::uint16_t product_id);

    // Unplugging makes the device vanish from enumeration and kills every handle open on it
    // (further calls on them fail; reads report Gone). Replugging puts it back at its place in
    // the order; old handles stay dead.
    void unplug(BoardId id);
    void replug(BoardId id);
    bool plugged(BoardId id) const;

    // open() of this device fails with `error` until cleared with an empty optional.
    void refuseOpen(BoardId id, std::optional<hid::OpenError> error);

    // The next `times` calls of `call` fail (times < 0: until cleared with clearFailures()).
    // With a device id, only calls on that device's handles (or its open) count. A failed call
    // has no effect on the device: a refused feature report never reaches the firmware's log.
    void failCall(Call call, int times = 1);
    void failCall(BoardId id, Call call, int times = 1);
    // The same, after the next `skip` calls of `call` on the device have succeeded: a board that
    // answers the read-back and then refuses a write.
    void failCallAfter(BoardId id, Call call, int skip, int times = 1);
    void clearFailures();

    // Report lengths the device's descriptor gives (may be odd: 0, 3, 200, ...).
    void setReportLengths(BoardId id, hid::ReportLengths lengths);
    // While silent, input reads report NothingYet: at once, or, with a report interval set,
    // after waiting out their time (an unplug ends the wait).
    void setSilent(BoardId id, bool silent);
    // Every board sends an input report every `interval` (0, the default: one at every read, at
    // once), as a board does at each poll of its endpoint. Each handle then gets a report when
    // one is due: a read waits for it up to its own bound (and reports NothingYet if it is not
    // due by then), so a reader thread waits instead of spinning. Timed on the real clock: for
    // the demo and for tests with a reader thread, which assert on what arrives, never when.
    void setReportInterval(std::chrono::milliseconds interval);
    // A fetch answers with fewer bytes than asked for (0 turns the behaviour off).
    void setShortFeatureReply(BoardId id, std::size_t bytes);
    // The device is unplugged right after the `calls`-th further call of `call` on it returns (the
    // call itself completes): a board that vanishes in the middle of an exchange.
    void unplugAfter(BoardId id, Call call, int calls);
    // The board hangs once it has served `after` more feature exchanges (sends and fetches): from
    // then on every feature exchange fails as one the board never answered (timedOut() true, the
    // firmware's log untouched), until hang(id, -1) clears it or the board is unplugged. Input
    // reports go on. Each such exchange is a wait its caller sat through: waits() counts them.
    void hang(BoardId id, int after = 0);
    int waits(BoardId id) const;

    // The board's firmware model, unguarded: only while no other thread uses the platform.
    // With a reader thread at work, drive the buttons through the calls below.
    FirmwareModel& firmware(BoardId id);
    const FirmwareModel& firmware(BoardId id) const;

    // The firmware model's button calls (FirmwareModel::setButtons, queueButtons), guarded.
    void setButtons(BoardId id, std::uint16_t pressed);
    void queueButtons(BoardId id, const std::vector<std::uint16_t>& states);
    // Turns an encoder of the board from now on the real clock (FirmwareModel::turn): the
    // following input reports carry its pulses when they are read while a pulse is under way.
    // False when the turn was refused.
    bool turn(BoardId id, int pair, int steps, int steps_per_second);

    // devicesMayHaveChanged() answers as a system's device monitor would: true on the first call
    // and after a device was added, unplugged or replugged (a device vanishing by unplugAfter
    // included). A refused open changing is no event: a system that changes a node's permission
    // says nothing either. While the monitor is failed, every call answers true.
    void setMonitorFailed(bool failed);

    // Handles currently open, over all devices, and per device.
    int openHandles() const;
    int openHandles(BoardId id) const;
    // Calls made on the platform so far, by kind (counted even when they fail).
    int callCount(Call call) const;
    // The same, counting only the calls on this device's handles and its opens.
    int callCount(BoardId id, Call call) const;

    // The path enumerate() lists for one interface of the device.
    std::string path(BoardId id, int interface_index = 0) const;

    // hid::Platform
    hid::Enumeration enumerate() override;
    std::optional<hid::Identity> identify(const hid::InterfaceInfo& entry) override;
    hid::OpenResult open(const hid::InterfaceInfo& entry) override;
    bool devicesMayHaveChanged() override;

  private:
    struct State;
    std::shared_ptr<State> state_;  // shared with the handles, which may outlive a test's intent
};

}  // namespace rotorix::sim
