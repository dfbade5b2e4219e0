#include "self_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

namespace rotorix::win {

using namespace rotorix::view;

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::string quoted(const std::wstring& text) {
    std::string out = "\"";
    for (const char c : utf8(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            std::array<char, 8> hex{};
            std::snprintf(hex.data(), hex.size(), "\\x%02X", static_cast<unsigned char>(c));
            out += hex.data();
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::wstring windowText(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

namespace {

std::string nameOf(const MainWindow& window, HWND hwnd) {
    if (hwnd == nullptr) {
        return "none";
    }
    if (hwnd == window.hwnd()) {
        return "window";
    }
    for (const ControlSpec& s : layout()) {
        if (window.control(s.id) == hwnd || IsChild(window.control(s.id), hwnd)) {
            return std::string(s.name);
        }
    }
    return "other";
}

std::string controlLine(const MainWindow& window, const ControlSpec& s) {
    HWND hwnd = window.control(s.id);
    std::array<wchar_t, 64> window_class{};
    GetClassNameW(hwnd, window_class.data(), static_cast<int>(window_class.size()));
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(nullptr, window.hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    LOGFONTW font{};
    const auto hfont = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
    GetObjectW(hfont, sizeof(font), &font);

    std::string line = std::string(s.name) + " " + utf8(window_class.data());
    line += " " + std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
            std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
    line += " enabled=" + std::to_string(IsWindowEnabled(hwnd) != FALSE);
    line += " visible=" + std::to_string(IsWindowVisible(hwnd) != FALSE);
    line += " font=" + utf8(font.lfFaceName) + "/" + std::to_string(font.lfHeight) + "/" +
            std::to_string(font.lfCharSet);
    line += " text=" + quoted(windowText(hwnd));
    if (s.kind == Kind::CheckBox) {
        line += " check=" + std::to_string(SendMessageW(hwnd, BM_GETCHECK, 0, 0));
    }
    if (s.kind == Kind::List) {
        line += " items=[";
        const auto count = static_cast<int>(SendMessageW(hwnd, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const auto length = SendMessageW(hwnd, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring item(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
            SendMessageW(hwnd, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<std::size_t>(length > 0 ? length : 0));
            line += (i > 0 ? "," : "") + quoted(item);
        }
        line += "] selected=" + std::to_string(SendMessageW(hwnd, CB_GETCURSEL, 0, 0));
    }
    return line + "\n";
}

const std::map<std::string_view, WORD>& keyNames() {
    static const std::map<std::string_view, WORD> keys{
        {"TAB", VK_TAB},
        {"SHIFT", VK_SHIFT},
        {"UP", VK_UP},
        {"DOWN", VK_DOWN},
        {"F4", VK_F4},
        {"RETURN", VK_RETURN},
        {"ESCAPE", VK_ESCAPE},
        {"SPACE", VK_SPACE},
        {"CTRL", VK_CONTROL},
        {"T", 'T'},
        {"S", 'S'},
        {"O", 'O'},
        {"F", 'F'},
    };
    return keys;
}

}  // namespace

// Presses the keys in order and releases them in reverse, as one chord.
bool sendKeys(std::string_view chord) {
    std::vector<WORD> keys;
    while (!chord.empty()) {
        const auto plus = chord.find('+');
        const auto found = keyNames().find(chord.substr(0, plus));
        if (found == keyNames().end()) {
            return false;
        }
        keys.push_back(found->second);
        chord = plus == std::string_view::npos ? std::string_view() : chord.substr(plus + 1);
    }
    std::vector<INPUT> inputs;
    for (const WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    return SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) ==
           inputs.size();
}

namespace {

// Tells whoever waits on PATH.ready that the window has settled, then waits until PATH.go is
// closed by its writer (both are FIFOs the caller made). Lets a screenshot be taken of exactly
// this state without guessing how long to wait.
std::string handOver(const std::string& path) {
    const std::wstring base(path.begin(), path.end());
    HANDLE ready = CreateFileW((base + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return "error: cannot open " + path + ".ready\n";
    }
    DWORD written = 0;
    const bool told = WriteFile(ready, "ready\n", 6, &written, nullptr) && written == 6;
    CloseHandle(ready);
    // Read and write: an open for reading alone does not wait for a writer under Wine, and
    // holding both ends, the read waits for the line rather than see an end of file.
    HANDLE go = CreateFileW((base + L".go").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (!told || go == INVALID_HANDLE_VALUE) {
        return "error: cannot hand over through " + path + "\n";
    }
    std::array<char, 64> buffer{};
    DWORD read = 0;
    while (ReadFile(go, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read > 0 && buffer[read - 1] != '\n') {
    }
    CloseHandle(go);
    return {};
}

// Makes the file PATH.ready, which someone waits for: the window has settled. Then lets the
// window go on as it would for a user (its messages are handled: keys someone else types reach
// it) until the file PATH.done appears, which it removes. Plain files rather than FIFOs: under
// Wine a second hand-over through the same FIFO never reached its reader.
std::string liveHandOver(const MainWindow& window, const std::string& path) {
    const std::wstring base(path.begin(), path.end());
    HANDLE ready = CreateFileW((base + L".ready").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE) {
        return "error: cannot make " + path + ".ready\n";
    }
    CloseHandle(ready);
    // The window the user last had in front: the test window, while it is open.
    const EncoderTestWindow* test = window.encoderTest();
    SetForegroundWindow(test != nullptr ? test->hwnd() : window.hwnd());
    const std::wstring done = base + L".done";
    while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pumpMessages(window);
    }
    DeleteFileW(done.c_str());
    return {};
}

// Whether the board selector shows `serial` (empty: no board at all).
bool selectorShows(const MainWindow& window, const std::string& serial) {
    const HWND selector = window.control(Control::SerNo);
    if (serial.empty()) {
        return SendMessageW(selector, CB_GETCOUNT, 0, 0) == 0;
    }
    return utf8(windowText(selector)) == serial;
}

// Lets the watchdog run as its timer would, a tick at the interval it asks for, until the
// selector shows `serial` (empty: no board). The limit only keeps a fault from hanging the run.
std::string runUntil(MainWindow& window, const std::string& serial) {
    const ULONGLONG limit = GetTickCount64() + 60'000;
    while (!selectorShows(window, serial)) {
        if (window.hwnd() == nullptr || GetTickCount64() > limit) {
            return "error: the window never showed " + (serial.empty() ? "no board" : serial) +
                   "\n";
        }
        window.tick();
        const ULONGLONG next = GetTickCount64() + static_cast<ULONGLONG>(window.timerInterval());
        for (ULONGLONG now = GetTickCount64(); now < next; now = GetTickCount64()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(next - now),
                                      QS_ALLINPUT);
            pumpMessages(window);
        }
    }
    return {};
}

}  // namespace

std::string dumpWindow(const MainWindow& window) {
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    std::string out = "window caption=" + quoted(windowText(window.hwnd()));
    out += " client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom);
    out += " dpi=" + std::to_string(window.dpi());
    out += " timer=" + std::to_string(window.timerInterval());
    out += " running=" + std::to_string(window.timerRunning());
    out += " focus=" + nameOf(window, GetFocus()) + "\n";
    for (const Control c : creationOrder()) {
        out += controlLine(window, layoutOf(c));
    }
    return out;
}

std::string runSteps(MainWindow& window, const std::vector<std::string>& steps,
                     const ExtraStep& extra) {
    std::string out;
    pumpMessages(window);
    // The steps as they start, on standard error, for a run that stops somewhere unexpected.
    const bool trace = GetEnvironmentVariableW(L"ROTORIX_TRACE_STEPS", nullptr, 0) > 0;
    int announced = window.announcements();
    for (const std::string& step : steps) {
        const std::string_view view(step);
        if (trace) {
            std::fprintf(stderr, "step %s\n", step.c_str());
            std::fflush(stderr);
        }
        if (window.hwnd() == nullptr && step != "close") {
            out += "error: the window has gone before step " + step + "\n";
            break;
        }
        if (step == "dump") {
            out += dumpWindow(window);
        } else if (view.starts_with("show:") || view.starts_with("wheel:")) {
            const std::string_view name = view.substr(view.find(':') + 1);
            const auto named = std::find_if(layout().begin(), layout().end(),
                                            [&](const ControlSpec& s) { return s.name == name; });
            if (named == layout().end()) {
                out += "error: no control " + std::string(name) + "\n";
                break;
            }
            if (view.starts_with("show:")) {
                out += controlLine(window, *named);
            } else {
                // One notch towards the user, as Windows sends it to the control under the
                // pointer.
                HWND target = window.control(named->id);
                RECT rect{};
                GetWindowRect(target, &rect);
                SendMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)),
                             MAKELPARAM(rect.left + 4, rect.top + 4));
            }
        } else if (step == "timer") {
            out += "timer=" + std::to_string(window.timerInterval()) +
                   " running=" + std::to_string(window.timerRunning()) + "\n";
        } else if (step == "focus") {
            out += "focus=" + nameOf(window, GetFocus()) + "\n";
        } else if (view.starts_with("key:")) {
            SetForegroundWindow(window.hwnd());
            pumpMessages(window);
            if (!sendKeys(view.substr(4))) {
                out += "error: cannot send " + step + "\n";
                break;
            }
        } else if (step == "said") {
            // What the window announced since the last time.
            out += "said " + std::to_string(window.announcements() - announced) + " " +
                   quoted(window.lastAnnouncement()) + "\n";
            announced = window.announcements();
        } else if (step == "tick") {
            window.tick();
        } else if (view.starts_with("dpi:")) {
            const int dpi = std::stoi(step.substr(4));
            RECT rect{};
            GetWindowRect(window.hwnd(), &rect);
            SendMessageW(window.hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                         reinterpret_cast<LPARAM>(&rect));
        } else if (view.starts_with("sync:")) {
            GdiFlush();
            out += handOver(step.substr(5));
        } else if (view.starts_with("live:")) {
            out += liveHandOver(window, step.substr(5));
        } else if (step == "until:none" || view.starts_with("until:open:")) {
            out += runUntil(window, step == "until:none" ? std::string() : step.substr(11));
        } else if (step == "close") {
            if (window.hwnd() != nullptr) {
                SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
            }
        } else if (view.starts_with("file:")) {
            out += fileStep(window, view);
        } else if (view.starts_with("find")) {
            out += finderStep(window, view);
        } else if (view.starts_with("menu") || view.starts_with("test")) {
            out += encoderTestStep(window, view);
        } else if (!extra || !extra(view, out)) {
            out += "error: unknown step " + step + "\n";
            break;
        }
        pumpMessages(window);
    }
    return out;
}

}  // namespace rotorix::win
