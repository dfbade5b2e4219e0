// The only door to the operating system's HID services.
//
// Everything above this layer (discovery, the board protocol, the window) talks to boards through
// these two interfaces. There is one implementation per system (hid/linux/, hid/windows/, chosen
// by system_platform.h) and a simulated platform for tests and the demo (sim/).
//
// Conventions shared by every call, on every system (where the systems differ, a few lines each):
// - No call throws for a device-level failure; failure is a value (empty optional, false, an
//   OpenError, a failed Enumeration or ReadOutcome::Gone).
// - Report buffers use the system's numbering: byte 0 is the report ID, the payload follows.
// - Short transfers: a report sent in part is a failure (sendFeatureReport answers false). A
//   fetched reply comes back with the count of bytes the device gave (getFeatureReport), and the
//   caller, who knows how long it must be, judges it; nothing here pads or cuts it.
//     Windows: the class driver sends a feature report as long as the device's, so a shorter
//     one is padded with zeros to that length and a longer one is refused before it is sent.
// - Identity strings are whole UTF-16 text as the system delivers the device's string
//   descriptors (a USB string holds at most 126 UTF-16 units). A string the device does not have
//   reads as an empty string, not as a failure; a failure means the device could not be asked.
//     Linux: the kernel's copy in sysfs, which drops unpaired surrogates and ends a string at a
//     U+0000; libudev strips a trailing line break.
//     Windows: what the HID class driver returns, passed on unchanged (Wine fills in its own
//     manufacturer and product). Windows fails the query of a string the device lacks; that
//     failure reads as an empty string only where the USB device's instance ID shows no serial
//     number, and is a failure otherwise.
// - Which devices are listed:
//     Linux: hid devices on the USB bus (sysfs name "0003:..."), each with a hidraw node on a USB
//     interface. Bluetooth, I2C and virtual (uhid) HID devices are not listed.
//     Windows: every interface of the HID device interface class: USB, Bluetooth, I2C and
//     virtual devices alike, one per USB interface (the collection with the longest feature
//     report).
// - How long a path stays valid: it names one device instance, for as long as that instance is
//   present. An entry whose device has gone never reaches another one: open() answers Gone and
//   identify() nothing, even where the system hands the path to a device plugged in later.
//     Linux: the path is /dev/hidrawN, and the kernel gives a freed number to the next device
//     plugged in (lowest first); the entry's instance is checked on every open() and identify().
//     Windows: the path holds the collection's device instance ID, which no other present device
//     has. Windows gives the same ID again when a device comes back: a device with a serial
//     number always gets its own; one without gets one made from the hub port it sits in, so
//     another device of the same vendor and product plugged into that port after it takes over
//     its path.
// - How long a call may block:
//     Linux: enumerate(), enumerateMatching(), identify() and devicesMayHaveChanged() read sysfs
//     and the monitor's socket and never wait for a device; open() may wait for the USB stack to
//     wake the device; the strings and report lengths of an open device are the kernel's copies;
//     a feature exchange waits up to usbhid's control time-out (5 s, then timedOut() is true);
//     readInputReport() waits at most its timeout.
//     Windows: enumerate() and open() send nothing to any device, and return as soon as SetupAPI
//     and the class driver answer. Each string query and each feature exchange waits at most
//     about 1 s for the device, then is cancelled and told as timed out (timedOut()); identify()
//     stops at the first string that fails. readInputReport() waits at most its timeout. Report
//     lengths and buttons come from the class driver's parsed descriptor, without asking the
//     device.
// - Threads: a Platform and the Devices it opened belong to one thread. A Device may be used on
//   another thread while nothing else uses it (the input watch opens a handle of its own and
//   reads it on its reader thread). Separate Platforms may live on separate threads.
//     Windows: each platform keeps one thread of its own from its construction to its
//     destruction, which hears the system's device notices and touches nothing but one flag.
// - A Device may outlive the Platform that opened it; its calls then keep their contracts: a
//   device holds its own handles and nothing of the platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace rotorix::hid {

// One present HID interface, as the enumeration reports it. A device with several top-level
// collections in one interface is one entry (Windows lists each collection on its own: the
// backend keeps the one that carries the longest feature report).
struct InterfaceInfo {
    // Opaque, and unique within one walk: the only sure name of one interface, since two boards
    // may share a serial number or have none. Only meaningful to the same platform.
    std::string path;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::uint16_t version = 0;  // bcdDevice / release number
    // What makes `path` this device instance and no other, where the path alone does not: on
    // Linux the hid device's sysfs name ("0003:2B7E:0103.0007", whose counter does not repeat
    // before a reboot), since the kernel hands a freed hidraw number to the next device plugged
    // in. Empty where the path itself names one instance (Windows), and in an entry that did not
    // come from a walk (a path typed by hand), which is then taken at its word.
    std::string instance;

    friend bool operator==(const InterfaceInfo&, const InterfaceInfo&) = default;
};

// The vendor and product IDs a caller looks for.
struct DeviceMatch {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;

    bool matches(const InterfaceInfo& info) const {
        return info.vendor_id == vendor_id && info.product_id == product_id;
    }
};

// The entry for a path that did not come from a walk: no instance to check it against.
inline InterfaceInfo unlistedEntry(std::string path) {
    InterfaceInfo entry;
    entry.path = std::move(path);
    return entry;
}

// The outcome of one walk over the present interfaces.
struct Enumeration {
    std::vector<InterfaceInfo> interfaces;  // in the system's order
    // Set when the walk itself failed, in the system's words (never empty). `interfaces` is then
    // empty and says nothing about what is attached: a failed walk is not "no device".
    std::optional<std::string> failure;
};

// What a device says it is, from its string descriptors; a string it lacks is empty.
struct Identity {
    std::u16string serial;
    std::u16string manufacturer;
    std::u16string product;

    friend bool operator==(const Identity&, const Identity&) = default;
};

// Report byte lengths as Windows' HidP_GetCaps counts them: the largest report of each kind plus
// one byte for the report ID, whether or not the device uses report IDs; 0 for a kind it lacks.
struct ReportLengths {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;

    friend bool operator==(const ReportLengths&, const ReportLengths&) = default;
};

// Why an open failed, as the system said it.
struct OpenError {
    enum class Kind {
        AccessDenied,  // the interface exists but this user may not open it
        Gone,          // the interface vanished between enumeration and open
        Busy,          // held by another program that shares it with nobody
        Other,
    };
    Kind kind = Kind::Other;
    std::string detail;  // the system's own words, e.g. "Permission denied"

    friend bool operator==(const OpenError&, const OpenError&) = default;
};

// One button of a device's input reports: where its bit lies and which button it is.
struct InputButton {
    // The report that carries it: the ID byte's value, 0 for a device whose reports are
    // unnumbered.
    std::uint32_t report_id = 0;
    // The bit in the report as Device::readInputReport fills the buffer: byte bit / 8, bit
    // bit % 8 (least significant first). Byte 0 is the report ID, so the first bit of the
    // payload is bit 8.
    std::uint32_t bit = 0;
    // The button's usage on the Button page: 1 is button 1.
    std::uint16_t number = 0;

    friend bool operator==(const InputButton&, const InputButton&) = default;
};

// Outcome of one bounded wait for an input report.
enum class ReadOutcome {
    Report,      // one input report arrived
    NothingYet,  // the wait expired, or brought nothing to hand on; the device is not gone
    Gone,        // the read failed: the device has been unplugged or the handle is dead
};

// An open HID interface. Destroying the object closes the handle, exactly once.
class Device {
  public:
    Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;
    virtual ~Device() = default;

    // The device's string descriptors. A string the device lacks is an empty u16string; empty
    // optional when the query failed. Strings may stay readable from a handle whose device has
    // gone (Linux keeps them): only report traffic tells a live device from a dead one.
    virtual std::optional<std::u16string> serialNumber() = 0;
    virtual std::optional<std::u16string> manufacturer() = 0;
    virtual std::optional<std::u16string> product() = 0;

    // Report lengths from the device's report descriptor. Empty optional when the descriptor
    // cannot be read.
    virtual std::optional<ReportLengths> reportLengths() = 0;

    // The on/off buttons of the device's input reports, in report order, as its report descriptor
    // declares them (one-bit fields of the Button page; buttons that report a value, and array
    // fields that list pressed buttons by number, are not included). An empty list when it
    // declares none; empty optional when this platform cannot tell. (A backend without the
    // descriptor itself, such as Windows' preparsed data, can find each bit by setting one usage
    // in a zeroed report.)
    virtual std::optional<std::vector<InputButton>> inputButtons() { return std::nullopt; }

    // Sends report[0..size) as a feature report; report[0] is the report ID. True only when the
    // whole report was delivered. A report carries at least one byte after its ID.
    //   Linux: hidraw refuses a shorter one with a warning in the kernel's log; the backend
    //   refuses it first, in words.
    virtual bool sendFeatureReport(std::span<const std::uint8_t> report) = 0;

    // Fetches the feature report whose ID is buffer[0] into buffer, from byte 0. Returns the
    // number of bytes placed in buffer (report ID included), or empty optional on failure; a
    // reply shorter than the buffer comes back as such (see "Short transfers" above). The buffer
    // has room for the ID and at least one byte (as for sendFeatureReport). On failure its
    // contents are unspecified.
    virtual std::optional<std::size_t> getFeatureReport(std::span<std::uint8_t> buffer) = 0;

    // Waits at most timeout_ms (0: do not wait) for one input report and stores it in buffer.
    // A report that cannot be laid out in the system's numbering, because the device's report
    // descriptor cannot be read, is taken and dropped: NothingYet, with lastError() saying why.
    virtual ReadOutcome readInputReport(std::span<std::uint8_t> buffer, int timeout_ms) = 0;

    // The system's own words for why the most recent call on this device failed ("Broken pipe");
    // empty when it gave none. Only meaningful right after a call that failed.
    virtual std::string lastError() const { return {}; }

    // True when the most recent call failed because the device gave no answer within the call's
    // bound (the exchange timed out), rather than refusing it or being gone. A device that does
    // not answer one exchange will most likely not answer the next either: its caller sends it
    // nothing more until it is plugged in again or the user asks for it again. Only meaningful
    // right after a call that failed.
    virtual bool timedOut() const { return false; }
};

using DeviceHandle = std::unique_ptr<Device>;
using OpenResult = std::variant<DeviceHandle, OpenError>;

class Platform {
  public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    virtual ~Platform() = default;

    // Every present HID interface, in the system's order, or why the walk failed. An interface
    // that vanishes during the walk is simply not listed.
    virtual Enumeration enumerate() = 0;

    // The present interfaces with `wanted`'s IDs, in the system's order, each as enumerate()
    // lists it, or why the walk failed. The others are passed over on their names where the
    // system names them by their IDs, so that a walk among many foreign devices costs next to
    // nothing; a backend that cannot tell keeps the matching ones of enumerate() (the default).
    //   Linux: one readlink per node of another device; only ours are resolved and read.
    //   Windows: an interface whose path names another vendor and product (the
    //   "vid_XXXX&pid_XXXX" of a USB HID path) is never opened; paths that name none are opened,
    //   without access rights, to read their attributes.
    virtual Enumeration enumerateMatching(const DeviceMatch& wanted) {
        Enumeration walk = enumerate();
        std::erase_if(walk.interfaces,
                      [&](const InterfaceInfo& info) { return !wanted.matches(info); });
        return walk;
    }

    // The identity strings of an interface a walk listed, read without opening it for
    // reading or writing (Linux: the USB device's attributes in sysfs; Windows: a handle with no
    // access rights), so that a board this user may not open, or that another program holds,
    // can still be named. Empty optional when the interface has gone or cannot be asked.
    // Empty optional too when the interface's node now belongs to another device instance.
    virtual std::optional<Identity> identify(const InterfaceInfo& entry) = 0;

    // Opens one interface for reading and writing. Gone when the entry's node now belongs to
    // another device instance: an old entry never reaches a device plugged in after its walk.
    virtual OpenResult open(const InterfaceInfo& entry) = 0;

    // False only when the platform knows that no HID interface was added, removed or changed
    // since the previous call, so a walk of enumerate() would find what the last one found. The
    // first call, and every call of a platform that cannot tell, answers true. A change counts
    // as seen only once a walk after it succeeded: after a failed walk the answer is true again.
    // A platform whose notices may fail without saying so may also answer true when its last
    // good walk is old (a few seconds), so that a missed notice costs a few seconds, not the
    // board.
    //   Linux: kLongestTrust (linux_platform.h), as kernel events do not reach a sandbox or a
    //   rootless container, and udevd's control socket can outlive udevd.
    //   Windows: two seconds, doubled for each walk in a row that found what the one before it
    //   found, up to eight; only under Wine and only until a first notice has come, as Wine
    //   delivers none.
    virtual bool devicesMayHaveChanged() { return true; }
};

}  // namespace rotorix::hid
