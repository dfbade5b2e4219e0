// Linux: one open hidraw node, spoken to through its handle alone (the feature ioctls, read(),
// and the report descriptor by HIDIOCGRDESC). Private to hid/linux/.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "hid/platform.h"

namespace rotorix::hid::hidraw {

// The system's words for an errno value; never empty.
std::string systemWords(int error);

// Owns one file descriptor; closes it once.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// The device for an open node. `identity` was read when it was opened (empty: it could not be):
// the attributes vanish with the device, while the handle outlives it.
DeviceHandle makeHidrawDevice(FileDescriptor file, std::optional<Identity> identity);

}  // namespace rotorix::hid::hidraw
