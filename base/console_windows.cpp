#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include <algorithm>
#include <iostream>
#include <streambuf>

#include "base/console.h"
#include "base/unicode.h"

namespace rotorix::base {

std::vector<std::string> programArguments(int argc, char* argv[]) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) {
        // The system could not split its own command line: the narrow one is all there is.
        return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
    }
    std::vector<std::string> out;
    for (int i = 1; i < count; ++i) {
        out.push_back(toUtf8(std::wstring_view(wide[i])));
    }
    LocalFree(wide);
    return out;
}

std::size_t wholeUtf8(std::string_view text) {
    // A sequence's lead byte says how long it is; only the last three bytes can start one that
    // has not ended yet.
    const std::size_t from = text.size() > 3 ? text.size() - 3 : 0;
    for (std::size_t at = text.size(); at > from; --at) {
        const auto byte = static_cast<unsigned char>(text[at - 1]);
        if ((byte & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for its lead
        }
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return at - 1 + length > text.size() ? at - 1 : text.size();
    }
    return text.size();
}

namespace {

// Flushed at each line's end, as the C runtime's console output is.
class ConsoleBuffer final : public std::streambuf {
  public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override { writeWhole(true); }

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char byte = traits_type::to_char_type(c);
            xsputn(&byte, 1);
        }
        return traits_type::not_eof(c);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (std::string_view(text, static_cast<std::size_t>(count)).find('\n') !=
                std::string_view::npos ||
            pending_.size() >= kRoom) {
            if (!writeWhole()) {
                return 0;
            }
        }
        return count;
    }

    int sync() override { return writeWhole() ? 0 : -1; }

  private:
    static constexpr std::size_t kRoom = 4096;

    // Writes every whole character held; a character cut between two writes waits for its end,
    // unless `all`, when what is held is all there will be.
    bool writeWhole(bool all = false) {
        const std::size_t whole = all ? pending_.size() : wholeUtf8(pending_);
        const std::wstring wide = toWideLossy(std::string_view(pending_).substr(0, whole));
        pending_.erase(0, whole);
        for (std::size_t done = 0; done < wide.size();) {
            DWORD wrote = 0;
            const auto count = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, kRoom));
            if (!WriteConsoleW(console_, wide.data() + done, count, &wrote, nullptr) ||
                wrote == 0) {
                return false;
            }
            done += wrote;
        }
        return true;
    }

    HANDLE console_;
    std::string pending_;  // UTF-8 not yet written
};

// The stream's buffer is swapped for a console's while `stream` writes to one.
struct Swapped {
    std::ostream& stream;
    std::streambuf* previous = nullptr;
    std::unique_ptr<ConsoleBuffer> console;
};

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

std::unique_ptr<std::streambuf> consoleBuffer(void* console) {
    return std::make_unique<ConsoleBuffer>(static_cast<HANDLE>(console));
}

struct Utf8Console::Streams {
    std::vector<Swapped> swapped;
};

Utf8Console::Utf8Console() : streams_(std::make_unique<Streams>()) {
    const std::pair<std::ostream*, DWORD> outputs[] = {{&std::cout, STD_OUTPUT_HANDLE},
                                                       {&std::cerr, STD_ERROR_HANDLE}};
    for (const auto& [stream, which] : outputs) {
        // A file or a pipe gets the UTF-8 bytes as they are.
        const HANDLE handle = GetStdHandle(which);
        if (!isConsole(handle)) {
            continue;
        }
        stream->flush();
        auto buffer = std::make_unique<ConsoleBuffer>(handle);
        std::streambuf* const previous = stream->rdbuf(buffer.get());
        streams_->swapped.push_back({*stream, previous, std::move(buffer)});
    }
}

Utf8Console::~Utf8Console() {
    for (Swapped& swapped : streams_->swapped) {
        swapped.stream.flush();
        swapped.stream.rdbuf(swapped.previous);
    }
}

}  // namespace rotorix::base
