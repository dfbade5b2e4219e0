#include "hid/hidapi_linux.h"

#ifdef __linux__

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace rotorix::hid::hidraw {

namespace {

// The kernel caps report descriptors at HID_MAX_DESCRIPTOR_SIZE (4096 bytes); reading a little
// more than that only guards against an unexpected file that never ends.
constexpr std::size_t kMaxDescriptorRead = std::size_t{64} * 1024;

}  // namespace

std::optional<std::vector<std::uint8_t>> readSysfsReportDescriptor(const std::string& device_path) {
    const std::filesystem::path node = std::filesystem::path(device_path).filename();
    if (node.empty() || node == "." || node == "..") {
        return std::nullopt;
    }
    std::ifstream file(
        std::filesystem::path("/sys/class/hidraw") / node / "device" / "report_descriptor",
        std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> descriptor;
    char chunk[4096];
    while (descriptor.size() < kMaxDescriptorRead) {
        file.read(chunk, sizeof chunk);
        const auto got = static_cast<std::size_t>(file.gcount());
        descriptor.insert(descriptor.end(), chunk, chunk + got);
        if (!file) {
            break;
        }
    }
    // eof alone ends a good read; badbit means the read itself failed.
    if (file.bad() || descriptor.empty()) {
        return std::nullopt;
    }
    return descriptor;
}

bool isCertainlyNotHidraw(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return false;
    }
    if (!S_ISCHR(info.st_mode)) {
        return true;
    }
    const std::filesystem::path subsystem = "/sys/dev/char/" + std::to_string(major(info.st_rdev)) +
                                            ":" + std::to_string(minor(info.st_rdev)) +
                                            "/subsystem";
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(subsystem, error);
    return !error && target.filename() != "hidraw";
}

Utf8Strings::Utf8Strings() : utf8_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{})) {
    if (utf8_ != locale_t{}) {
        previous_ = ::uselocale(utf8_);
    }
}

Utf8Strings::~Utf8Strings() {
    if (utf8_ != locale_t{}) {
        ::uselocale(previous_);
        ::freelocale(utf8_);
    }
}

}  // namespace rotorix::hid::hidraw

#endif  // __linux__
