#include "hid/linux/hidraw_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include "hid/linux/hidraw_device.h"

namespace rotorix::hid::hidraw {

namespace {

std::optional<std::uint16_t> hexField(std::string_view text) {
    std::uint16_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 4 || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The last component of `path` and the rest before it.
std::pair<std::string_view, std::string_view> splitLast(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        return {{}, path};
    }
    return {path.substr(0, slash), path.substr(slash + 1)};
}

struct DirFree {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

}  // namespace

std::optional<HidName> parseHidName(std::string_view name) {
    if (name.size() < 19 || name[4] != ':' || name[9] != ':' || name[14] != '.') {
        return std::nullopt;
    }
    const std::string_view counter = name.substr(15);
    if (!std::all_of(counter.begin(), counter.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; })) {
        return std::nullopt;
    }
    const auto bus = hexField(name.substr(0, 4));
    const auto vendor = hexField(name.substr(5, 4));
    const auto product = hexField(name.substr(10, 4));
    if (!bus || !vendor || !product) {
        return std::nullopt;
    }
    return HidName{*bus, *vendor, *product};
}

bool sysfsPathLess(std::string_view a, std::string_view b) {
    while (!a.empty() && !b.empty()) {
        const auto a_end = std::min(a.find('/'), a.size());
        const auto b_end = std::min(b.find('/'), b.size());
        const std::string_view a_part = a.substr(0, a_end);
        const std::string_view b_part = b.substr(0, b_end);
        if (a_part != b_part) {
            return a_part < b_part;
        }
        a.remove_prefix(std::min(a_end + 1, a.size()));
        b.remove_prefix(std::min(b_end + 1, b.size()));
    }
    return a.empty() && !b.empty();
}

NodeNames usbNodes(const std::string& class_dir, const std::optional<DeviceMatch>& wanted) {
    NodeNames names;
    errno = 0;
    const std::unique_ptr<DIR, DirFree> dir(::opendir(class_dir.c_str()));
    if (!dir) {
        if (errno != ENOENT) {
            names.failure = systemWords(errno);
        }
        return names;
    }
    std::array<char, 4096> target{};
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) {
            if (errno != 0) {
                names.failure = systemWords(errno);
                names.nodes.clear();
                return names;
            }
            break;
        }
        const std::string_view node = entry->d_name;
        if (node == "." || node == "..") {
            continue;
        }
        const ssize_t length =
            ::readlinkat(::dirfd(dir.get()), entry->d_name, target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            continue;  // gone meanwhile, or no link of the kernel's making
        }
        // ".../<hid device>/hidraw/<node>"
        const std::string_view link(target.data(), static_cast<std::size_t>(length));
        const auto [above_node, last] = splitLast(link);
        const auto [above_class, class_name] = splitLast(above_node);
        const std::string_view instance = splitLast(above_class).second;
        const auto hid = parseHidName(instance);
        if (last != node || class_name != "hidraw" || !hid || hid->bus != kBusUsb) {
            continue;
        }
        if (wanted && (hid->vendor != wanted->vendor_id || hid->product != wanted->product_id)) {
            continue;
        }
        names.nodes.push_back({std::string(node), std::string(instance), *hid, std::string(link)});
    }
    std::sort(names.nodes.begin(), names.nodes.end(),
              [](const NodeName& a, const NodeName& b) { return sysfsPathLess(a.link, b.link); });
    return names;
}

}  // namespace rotorix::hid::hidraw
