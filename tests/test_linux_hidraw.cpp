// The Linux backend's parts that need no device: what an open node refuses before any ioctl
// reaches the kernel, and what it does without its report descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "hid/linux/hidraw_device.h"

namespace rotorix::hid::hidraw {
namespace {

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
