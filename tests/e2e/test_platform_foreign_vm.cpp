// The Linux platform among HID devices that are no board, made through /dev/uhid beside the
// platform suite's boards (same VM, same fixture).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform_vm_fixture.h"

namespace rotorix::e2e {
namespace {

// A HID device made through /dev/uhid: a hidraw node with no USB device above it, for as long as
// the object lives.
class UhidDevice {
  public:
    UhidDevice(std::uint16_t vendor, std::uint16_t product)
        : fd_(::open("/dev/uhid", O_RDWR | O_CLOEXEC)) {
        if (fd_ < 0) {
            return;
        }
        // One vendor-defined byte, enough for hid-generic to bind it and make the node.
        static constexpr std::uint8_t kDescriptor[] = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                                       0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                                       0x95, 0x01, 0x09, 0x01, 0x81, 0x02, 0xC0};
        uhid_event event{};
        event.type = UHID_CREATE2;
        std::strcpy(reinterpret_cast<char*>(event.u.create2.name), "rotorix-e2e uhid");
        std::strcpy(reinterpret_cast<char*>(event.u.create2.uniq), "UHID-0001");
        event.u.create2.rd_size = sizeof kDescriptor;
        event.u.create2.bus = 0x03;  // claims to be USB; only sysfs knows better
        event.u.create2.vendor = vendor;
        event.u.create2.product = product;
        std::memcpy(event.u.create2.rd_data, kDescriptor, sizeof kDescriptor);
        if (::write(fd_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
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

    // Its node, "/dev/hidrawN", once the kernel has made it.
    static std::optional<std::string> node() {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/class/hidraw", error)) {
            const auto target = std::filesystem::canonical(entry.path(), error).string();
            if (!error && target.find("/uhid/") != std::string::npos) {
                return "/dev/" + entry.path().filename().string();
            }
        }
        return std::nullopt;
    }

  private:
    int fd_;
};

TEST_F(VmPlatform, HidrawNodeWithoutAUsbDeviceIsPassedOver) {
    if (::access("/dev/uhid", F_OK) != 0) {
        GTEST_SKIP() << "this guest kernel has no uhid: run-vm loads it when the kernel has it";
    }
    UhidDevice impostor(config::kVendorId, config::kProductId);  // a board's IDs, on no bus
    ASSERT_TRUE(impostor.made()) << std::strerror(errno);
    std::optional<std::string> node;
    ASSERT_TRUE(events.waitUntil([&] { return (node = UhidDevice::node()).has_value(); }));

    const hid::Enumeration walk = platform->enumerate();
    EXPECT_EQ(walk.failure, std::nullopt);
    for (const auto& info : walk.interfaces) {
        EXPECT_NE(info.path, *node);
    }
    EXPECT_EQ(listedSerials(*platform, match), allSerials());
    EXPECT_EQ(platform->identify(hid::unlistedEntry(*node)), std::nullopt);
}

}  // namespace
}  // namespace rotorix::e2e
