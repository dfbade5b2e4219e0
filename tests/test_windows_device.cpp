// The Windows device's requests on a handle that really pends: a named pipe stands in for the
// class driver, through the device's ControlCall. A request the test answers completes; one it
// never answers stays pending until the device's bound cancels it.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "hid/windows/windows_device.h"

namespace rotorix::hid {
namespace {

// The class driver as a pipe: a request that hands the driver a buffer reads into it what the
// test wrote into the pipe; one that only gives bytes writes them there.
int viaPipe(void* file, unsigned long, void* in, unsigned long in_size, void* out,
            unsigned long out_size, unsigned long*, OVERLAPPED* overlapped) {
    return out != nullptr ? ReadFile(file, out, out_size, nullptr, overlapped)
                          : WriteFile(file, in, in_size, nullptr, overlapped);
}

// A driver whose device never answers: every request waits for bytes that never come.
int neverAnswers(void* file, unsigned long, void*, unsigned long, void*, unsigned long,
                 unsigned long*, OVERLAPPED* overlapped) {
    static std::array<char, 64> nowhere;
    return ReadFile(file, nowhere.data(), static_cast<DWORD>(nowhere.size()), nullptr, overlapped);
}

// A device on one end of a fresh pipe, and the other end for the test.
struct PipedDevice {
    DeviceHandle device;
    HANDLE far_end = INVALID_HANDLE_VALUE;

    explicit PipedDevice(win32::ControlCall control) {
        static int count = 0;
        const std::wstring name = L"\\\\.\\pipe\\rotorix-device-" +
                                  std::to_wstring(GetCurrentProcessId()) + L"-" +
                                  std::to_wstring(++count);
        const HANDLE near_end = CreateNamedPipeW(
            name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        EXPECT_NE(near_end, INVALID_HANDLE_VALUE);
        far_end = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
        EXPECT_NE(far_end, INVALID_HANDLE_VALUE);
        // A short bound: the test waits for nothing else. The board's feature reports are 9
        // bytes long.
        auto opened = win32::deviceOn(near_end, {.control = control,
                                                 .bound_ms = 50,
                                                 .serial_shown = true,
                                                 .lengths = ReportLengths{9, 0, 9}});
        if (auto* made = std::get_if<DeviceHandle>(&opened)) {
            device = std::move(*made);
        }
        EXPECT_NE(device, nullptr);
    }
    ~PipedDevice() {
        device.reset();
        CloseHandle(far_end);
    }
    PipedDevice(const PipedDevice&) = delete;
    PipedDevice& operator=(const PipedDevice&) = delete;

    // What the device sent that the test has not read.
    DWORD waiting() const {
        DWORD available = 0;
        EXPECT_TRUE(PeekNamedPipe(far_end, nullptr, 0, nullptr, &available, nullptr));
        return available;
    }
};

// Tests never wait on time: a request that never completes must come back by itself, told as
// not answering; a call that fails otherwise is not told so.
TEST(WindowsDevice, AnExchangeThatNeverCompletesReturnsTimedOut) {
    PipedDevice piped(&neverAnswers);
    Device& device = *piped.device;

    std::array<std::uint8_t, 9> buffer{};
    EXPECT_EQ(device.getFeatureReport(buffer), std::nullopt);
    EXPECT_TRUE(device.timedOut());
    EXPECT_EQ(device.lastError(), "The device did not answer within 50 ms");

    const std::array<std::uint8_t, 9> report{0, 0x81};
    EXPECT_FALSE(device.sendFeatureReport(report));
    EXPECT_TRUE(device.timedOut());

    EXPECT_EQ(device.serialNumber(), std::nullopt);
    EXPECT_TRUE(device.timedOut());
    EXPECT_EQ(win32::readIdentity(device), std::nullopt);

    // A refusal that never reached the device is no time-out.
    EXPECT_FALSE(device.sendFeatureReport(std::vector<std::uint8_t>(10, 0)));
    EXPECT_FALSE(device.timedOut());
}

TEST(WindowsDevice, FeatureReportsAreSentAsLongAsTheDevicesAndStringsGetTheirRoom) {
    PipedDevice piped(&viaPipe);
    Device& device = *piped.device;

    // Padded to the device's 9 bytes.
    const std::array<std::uint8_t, 3> report{0, 0x81, 7};
    ASSERT_TRUE(device.sendFeatureReport(report)) << device.lastError();
    std::array<std::uint8_t, 16> sent{};
    DWORD got = 0;
    ASSERT_TRUE(
        ReadFile(piped.far_end, sent.data(), static_cast<DWORD>(sent.size()), &got, nullptr));
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin(), sent.begin() + got),
              (std::vector<std::uint8_t>{0, 0x81, 7, 0, 0, 0, 0, 0, 0}));

    // Refused whole when longer: nothing reaches the driver.
    EXPECT_FALSE(device.sendFeatureReport(std::vector<std::uint8_t>(10, 0x55)));
    EXPECT_EQ(device.lastError(),
              "The feature report is 10 bytes long; the device takes at most 9");
    EXPECT_EQ(piped.waiting(), 0u);

    // A string query is offered 252 bytes, the longest USB string, and no more: of 300 bytes of
    // text in the pipe, the next query finds the 48 left behind.
    const std::u16string text(150, u'x');
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(piped.far_end, text.data(), 300, &wrote, nullptr));
    EXPECT_EQ(device.serialNumber(), std::u16string(126, u'x'));
    EXPECT_FALSE(device.timedOut());
    EXPECT_EQ(device.serialNumber(), std::u16string(24, u'x'));
}

}  // namespace
}  // namespace rotorix::hid
