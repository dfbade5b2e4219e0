// The Linux backend's parts that need no device: which hidraw nodes a walk looks at closer,
// decided from the names in a class directory made here, and what an open node refuses before
// any ioctl reaches the kernel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hid/linux/hidraw_device.h"
#include "hid/linux/hidraw_names.h"

namespace rotorix::hid::hidraw {
namespace {

namespace fs = std::filesystem;

TEST(HidName, GivesBusVendorAndProductOfTheKernelsNamesOnly) {
    const struct {
        const char* name;
        std::optional<HidName> read;
    } cases[] = {
        {"0003:2B7E:0103.0007", HidName{0x0003, 0x2B7E, 0x0103}},
        {"0005:046D:B33B.0001", HidName{0x0005, 0x046D, 0xB33B}},
        {"0003:2B7E:0103.1000A", HidName{0x0003, 0x2B7E, 0x0103}},  // the counter grows
        {"0003:2b7e:0103.0007", HidName{0x0003, 0x2B7E, 0x0103}},
        {"0003:2B7E:0103", std::nullopt},
        {"0003:2B7E:0103.", std::nullopt},
        {"0003-2B7E-0103.0007", std::nullopt},
        {"0003:2B7E:01G3.0007", std::nullopt},
        {"0003:2B7E:0103.00x7", std::nullopt},
        {"3:2B7E:0103.0007", std::nullopt},
        {"hidraw", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseHidName(c.name), c.read) << c.name;
    }
}

// A class directory as the kernel makes it: one link per node, to its place below its hid device.
class ClassDirectory : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("rotorix-hidraw-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(dir());
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string dir() const { return (root_ / "class" / "hidraw").string(); }
    void link(const std::string& node, const std::string& target) const {
        fs::create_symlink(target, fs::path(dir()) / node);
    }

    // The nodes a walk would resolve, as "node instance".
    std::vector<std::string> nodes(const std::optional<DeviceMatch>& wanted) const {
        const NodeNames names = usbNodes(dir(), wanted);
        EXPECT_EQ(names.failure, std::nullopt);
        std::vector<std::string> found;
        for (const NodeName& name : names.nodes) {
            found.push_back(name.node + " " + name.instance);
        }
        return found;
    }

    fs::path root_;
};

TEST_F(ClassDirectory, OnlyUsbHidDevicesOfTheWantedIdsAreLookedAtInBusOrder) {
    const std::string usb = "../../devices/pci0000:00/0000:00:01.2/usb1/";
    // Plugged in last, so numbered first: the bus order still puts port 1-1 before 1-1.2.
    link("hidraw5", usb + "1-1/1-1:1.0/0003:2B7E:0103.0009/hidraw/hidraw5");
    link("hidraw1", usb + "1-1.2/1-1.2:1.0/0003:2B7E:0103.0004/hidraw/hidraw1");
    link("hidraw2", usb + "1-2/1-2:1.0/0003:046D:C52B.0002/hidraw/hidraw2");  // a mouse
    // A Bluetooth device with a board's IDs, below an adapter that is itself a USB device.
    link("hidraw3", usb + "1-3/1-3:1.0/bluetooth/hci0/hci0:256/0005:2B7E:0103.0003/hidraw/hidraw3");
    link("hidraw6", "../../devices/platform/i2c-1/1-0018/0018:2B7E:0103.0006/hidraw/hidraw6");
    // Claims the USB bus, which only a closer look can refute.
    link("hidraw4", "../../devices/virtual/misc/uhid/0003:2B7E:0103.0005/hidraw/hidraw4");
    link("hidraw7", usb + "1-4/1-4:1.0/0003:2B7E:0103.0008/hidraw/hidraw8");  // not its node
    link("hidraw8", usb + "1-5/1-5:1.0/0003:2B7E:0103.0010/input/hidraw8");
    { std::ofstream(fs::path(dir()) / "hidraw9") << "not a link"; }

    EXPECT_EQ(
        nodes(DeviceMatch{0x2B7E, 0x0103}),
        (std::vector<std::string>{"hidraw5 0003:2B7E:0103.0009", "hidraw1 0003:2B7E:0103.0004",
                                  "hidraw4 0003:2B7E:0103.0005"}));
    EXPECT_EQ(
        nodes(std::nullopt),
        (std::vector<std::string>{"hidraw5 0003:2B7E:0103.0009", "hidraw1 0003:2B7E:0103.0004",
                                  "hidraw2 0003:046D:C52B.0002", "hidraw4 0003:2B7E:0103.0005"}));
    EXPECT_TRUE(nodes(DeviceMatch{0x2B7E, 0x0104}).empty());
}

TEST_F(ClassDirectory, AMissingDirectoryIsNoNodeAndAnUnreadableOneAFailure) {
    fs::remove_all(dir());
    EXPECT_TRUE(nodes(std::nullopt).empty()) << "no hidraw node was ever made";

    { std::ofstream(dir()) << "not a directory"; }
    const NodeNames names = usbNodes(dir(), std::nullopt);
    EXPECT_EQ(names.failure, std::strerror(ENOTDIR));
}

TEST(SysfsPath, SortsComponentByComponent) {
    EXPECT_TRUE(sysfsPathLess("usb1/1-1/x", "usb1/1-1.2/x"));
    EXPECT_FALSE(sysfsPathLess("usb1/1-1.2/x", "usb1/1-1/x"));
    EXPECT_TRUE(sysfsPathLess("usb1/1-1", "usb1/1-1/x"));
    EXPECT_FALSE(sysfsPathLess("usb1/1-1/x", "usb1/1-1/x"));
    EXPECT_TRUE(sysfsPathLess("pci0000:00/a", "virtual/a"));
}

// --- an open node: what is refused before the kernel is asked -----------------------------------

DeviceHandle deviceOn(const char* path, int flags = O_RDWR) {
    return makeHidrawDevice(FileDescriptor(::open(path, flags | O_CLOEXEC)), std::nullopt);
}

// hidraw refuses a feature report without a byte after its ID with EINVAL and a warning in the
// kernel's log; this refuses it in plain words first. A report long enough reaches the ioctl,
// which /dev/null does not know.
TEST(HidrawDevice, FeatureReportsNeedTheIdAndAByteAndFitTheIoctl) {
    const auto device = deviceOn("/dev/null");
    const std::string not_hidraw = std::strerror(ENOTTY);
    for (const std::size_t size : {0u, 1u, 2u, 65u, 16383u, 16384u}) {
        SCOPED_TRACE("size " + std::to_string(size));
        const bool fits = size >= 2 && size <= 16383;
        std::vector<std::uint8_t> buffer(size, 0);
        EXPECT_FALSE(device->sendFeatureReport(buffer));
        const std::string sent = device->lastError();
        EXPECT_FALSE(device->getFeatureReport(buffer).has_value());
        const std::string fetched = device->lastError();
        if (fits) {
            EXPECT_EQ(sent, not_hidraw);
            EXPECT_EQ(fetched, not_hidraw);
        } else {
            EXPECT_NE(sent.find("2 to 16383 bytes long"), std::string::npos) << sent;
            EXPECT_NE(fetched.find("2 to 16383 bytes long"), std::string::npos) << fetched;
        }
    }
}

// Where an input report's bytes go depends on the descriptor: without it nothing is handed on as
// if it were laid out, though the report is taken.
TEST(HidrawDevice, AReportThatCannotBeLaidOutIsNotHandedOn) {
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const FileDescriptor writer(ends[1]);
    const auto device = makeHidrawDevice(FileDescriptor(ends[0]), std::nullopt);
    EXPECT_EQ(device->reportLengths(), std::nullopt);
    EXPECT_EQ(device->inputButtons(), std::nullopt);

    const std::uint8_t report[] = {0x05, 0x01, 0x02};
    ASSERT_EQ(::write(writer.get(), report, sizeof report), 3);
    std::vector<std::uint8_t> buffer(4, 0xAA);
    EXPECT_EQ(device->readInputReport(buffer, 0), ReadOutcome::NothingYet);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(4, 0xAA));
    EXPECT_NE(device->lastError().find("report descriptor"), std::string::npos)
        << device->lastError();
}

}  // namespace
}  // namespace rotorix::hid::hidraw
