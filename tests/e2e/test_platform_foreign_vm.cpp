// The Linux platform among HID devices that are no board, made through /dev/uhid beside the
// platform suite's boards (same VM, same fixture): a device that takes an unplugged board's node,
// devices on other buses, a descriptor the kernel will not hand out, and messages on the device
// monitor's socket that come from no device at all.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/input.h>
#include <linux/netlink.h>
#include <linux/uhid.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform_vm_fixture.h"

namespace rotorix::e2e {
namespace {

// One vendor-defined byte in and nothing else, enough for hid-generic to bind it and make a node.
const Bytes kOneVendorByte = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
                              0x00, 0x75, 0x08, 0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0xC0};

// The same, grown to HID_MAX_DESCRIPTOR_SIZE (4096 bytes), which the kernel keeps but HIDIOCGRDESC
// will not hand out, with Unit Exponent items that change nothing.
Bytes longestDescriptor() {
    Bytes bytes{0x54};  // Unit Exponent, no data
    while (bytes.size() + kOneVendorByte.size() < 4096) {
        bytes.insert(bytes.end(), {0x55, 0x00});
    }
    bytes.insert(bytes.end(), kOneVendorByte.begin(), kOneVendorByte.end());
    return bytes;
}

// A HID device made through /dev/uhid, for as long as the object lives: a hidraw node with no USB
// device above it, on whichever bus it claims.
class UhidDevice {
  public:
    struct Design {
        std::uint16_t bus = BUS_USB;  // only sysfs knows better
        std::uint16_t vendor = config::kVendorId;
        std::uint16_t product = config::kProductId;
        Bytes descriptor = kOneVendorByte;
    };

    explicit UhidDevice(const Design& design)
        : fd_(::open("/dev/uhid", O_RDWR | O_CLOEXEC | O_NONBLOCK)),
          uniq_("UHID-E2E-" + std::to_string(++made_)) {
        if (fd_ < 0) {
            return;
        }
        uhid_event event{};
        event.type = UHID_CREATE2;
        std::strcpy(reinterpret_cast<char*>(event.u.create2.name), "rotorix-e2e uhid");
        std::strcpy(reinterpret_cast<char*>(event.u.create2.uniq), uniq_.c_str());
        event.u.create2.rd_size = static_cast<std::uint16_t>(design.descriptor.size());
        event.u.create2.bus = design.bus;
        event.u.create2.vendor = design.vendor;
        event.u.create2.product = design.product;
        std::copy(design.descriptor.begin(), design.descriptor.end(), event.u.create2.rd_data);
        if (!send(event)) {
            ::close(std::exchange(fd_, -1));
        }
    }
    ~UhidDevice() {
        if (fd_ >= 0) {
            ::close(fd_);  // destroys the device
        }
    }
    UhidDevice(const UhidDevice&) = delete;
    UhidDevice& operator=(const UhidDevice&) = delete;

    bool made() const { return fd_ >= 0; }

    // Its node, "/dev/hidrawN", once the kernel has made it: the one whose hid device carries
    // this device's uniq.
    std::optional<std::string> node() const {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
            std::ifstream uevent(entry.path() / "device" / "uevent");
            for (std::string line; std::getline(uevent, line);) {
                if (line == "HID_UNIQ=" + uniq_) {
                    return "/dev/" + entry.path().filename().string();
                }
            }
        }
        return std::nullopt;
    }

    // Hands the kernel one input report, which reaches every open node before this returns.
    bool input(const Bytes& report) {
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = static_cast<std::uint16_t>(report.size());
        std::copy(report.begin(), report.end(), event.u.input2.data);
        return send(event);
    }

    // The feature requests (GET_REPORT and SET_REPORT) the kernel has passed on to the device.
    int featureRequests() {
        uhid_event event{};
        while (::read(fd_, &event, sizeof event) > 0) {
            requests_ += event.type == UHID_GET_REPORT || event.type == UHID_SET_REPORT ? 1 : 0;
        }
        return requests_;
    }

  private:
    bool send(const uhid_event& event) const {
        return ::write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
    }

    static inline int made_ = 0;
    int fd_;
    std::string uniq_;
    int requests_ = 0;
};

class VmForeignDevices : public VmPlatform {
  protected:
    void SetUp() override {
        VmPlatform::SetUp();
        if (::access("/dev/uhid", F_OK) != 0) {
            GTEST_SKIP() << "this guest kernel has no uhid: run-vm loads it when the kernel has it";
        }
    }

    // The device's node, once the kernel has made it.
    std::string nodeOf(UhidDevice& device) {
        EXPECT_TRUE(device.made()) << std::strerror(errno);
        std::optional<std::string> node;
        EXPECT_TRUE(events.waitUntil([&] { return (node = device.node()).has_value(); }));
        return node.value_or("(no node)");
    }
};

// Virtual devices that claim the USB bus, and Bluetooth devices (which hang below their adapter,
// often a USB device with a serial of its own), carry no USB identity of their own, even with a
// board's IDs: not listed, and not identified by their node either.
TEST_F(VmForeignDevices, DevicesOnNoUsbInterfaceAreNotListed) {
    for (const std::uint16_t bus : {std::uint16_t{BUS_USB}, std::uint16_t{BUS_BLUETOOTH}}) {
        SCOPED_TRACE("bus " + std::to_string(bus));
        UhidDevice impostor({.bus = bus});
        const std::string node = nodeOf(impostor);

        for (const hid::Enumeration& walk :
             {platform->enumerate(), platform->enumerateMatching(match)}) {
            EXPECT_EQ(walk.failure, std::nullopt);
            EXPECT_TRUE(std::ranges::none_of(walk.interfaces, [&](const hid::InterfaceInfo& info) {
                return info.path == node;
            }));
        }
        EXPECT_EQ(listedSerials(*platform, match), allSerials());
        EXPECT_EQ(platform->identify(hid::unlistedEntry(node)), std::nullopt);
    }
}

// The kernel hands a freed hidraw number to the next device plugged in (lowest first). An entry
// listed before its board went is that board or nothing: the device that took its node gets no
// request and lends it no name.
TEST_F(VmForeignDevices, AnOldEntryNeverReachesTheDeviceThatTookItsNode) {
    const hid::InterfaceInfo old = boards().at(1);
    unplugAndWait(1);
    // Devices with a board's IDs are made until one has the old node: lower free numbers go first.
    std::vector<std::unique_ptr<UhidDevice>> made;
    UhidDevice* taker = nullptr;
    while (taker == nullptr && made.size() < 8) {
        made.push_back(std::make_unique<UhidDevice>(UhidDevice::Design{}));
        if (nodeOf(*made.back()) == old.path) {
            taker = made.back().get();
        }
    }
    ASSERT_NE(taker, nullptr) << "no device took " << old.path;

    const hid::OpenResult opened = platform->open(old);
    ASSERT_TRUE(std::holds_alternative<hid::OpenError>(opened));
    EXPECT_EQ(std::get<hid::OpenError>(opened).kind, hid::OpenError::Kind::Gone);
    EXPECT_EQ(platform->identify(old), std::nullopt);
    EXPECT_EQ(taker->featureRequests(), 0);
    // The path alone does reach the newcomer: the listed instance is what keeps the entry off it.
    EXPECT_TRUE(
        std::holds_alternative<hid::DeviceHandle>(platform->open(hid::unlistedEntry(old.path))));
}

// A descriptor of HID_MAX_DESCRIPTOR_SIZE bytes is one more than HIDIOCGRDESC hands out: the
// report lengths are unknown, with words that say so, and input reports are not laid out by a
// guess at their numbering.
TEST_F(VmForeignDevices, ADescriptorTheKernelWillNotHandOutLeavesReportsUnknown) {
    UhidDevice longest({.descriptor = longestDescriptor()});
    const std::string node = nodeOf(longest);
    hid::OpenResult opened = platform->open(hid::unlistedEntry(node));
    ASSERT_TRUE(std::holds_alternative<hid::DeviceHandle>(opened));
    hid::Device& device = *std::get<hid::DeviceHandle>(opened);

    EXPECT_EQ(device.reportLengths(), std::nullopt);
    EXPECT_NE(device.lastError().find("4096 bytes"), std::string::npos) << device.lastError();
    EXPECT_EQ(device.inputButtons(), std::nullopt);

    ASSERT_TRUE(longest.input({0x42}));
    Bytes report(4, 0xAA);
    EXPECT_EQ(device.readInputReport(report, 1000), hid::ReadOutcome::NothingYet);
    EXPECT_EQ(report, Bytes(4, 0xAA)) << "a report laid out by a guess";
    EXPECT_EQ(longest.featureRequests(), 0);
}

// Any process may send to the kernel's uevent group. libudev throws such messages away and
// answers "nothing" for each, while an event may wait behind them: the monitor reads on for as
// long as its socket is readable.
TEST_F(VmPlatform, MessagesTheMonitorThrowsAwayNeitherCountNorHideAnUnplug) {
    const int socket = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    ASSERT_GE(socket, 0) << std::strerror(errno);
    const std::unique_ptr<const int, void (*)(const int*)> closing(
        &socket, [](const int* fd) { ::close(*fd); });
    // Shaped like a hidraw event, so that a monitor which took it would count it.
    static constexpr char kMessage[] =
        "change@/devices/virtual/rotorix-e2e/hidraw/hidraw63\0ACTION=change\0"
        "DEVPATH=/devices/virtual/rotorix-e2e/hidraw/hidraw63\0SUBSYSTEM=hidraw\0SEQNUM=1";
    const auto junk = [&] {
        sockaddr_nl group{};
        group.nl_family = AF_NETLINK;
        group.nl_groups = 1;  // the kernel's, which the monitor hears in a guest without udevd
        for (int i = 0; i < 3; ++i) {
            if (::sendto(socket, kMessage, sizeof kMessage, 0,
                         reinterpret_cast<const sockaddr*>(&group),
                         sizeof group) != static_cast<ssize_t>(sizeof kMessage)) {
                return false;
            }
        }
        return true;  // in every listener's queue once sendto() returns
    };

    EXPECT_TRUE(platform->devicesMayHaveChanged()) << "the first answer";
    EXPECT_FALSE(platform->devicesMayHaveChanged());
    ASSERT_TRUE(junk()) << std::strerror(errno);
    EXPECT_FALSE(platform->devicesMayHaveChanged()) << "a process's message is no event";

    ASSERT_TRUE(junk()) << std::strerror(errno);
    const int heard = events.hidraw("remove");
    ASSERT_TRUE(rig_->unplug(1));
    ASSERT_TRUE(events.waitUntil([&] { return events.hidraw("remove") > heard; }));
    EXPECT_TRUE(platform->devicesMayHaveChanged()) << "the unplug behind the messages";
}

}  // namespace
}  // namespace rotorix::e2e
