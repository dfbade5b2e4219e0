// The self-check's steps on the menu bar and the encoder test window (self_check.h).
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "self_check.h"

namespace rotorix::win {

namespace {

using Window = EncoderTestWindow;

std::string controlText(HWND hwnd) {
    return quoted(windowText(hwnd));
}

std::string rowLine(const Window& test, std::size_t p) {
    // The width is the host's measure, which differs from run to run: only whether there is one.
    std::string line = "row " + std::to_string(p + 1);
    line += " name=" + controlText(test.cell(p, Window::Name));
    line += " type=" + controlText(test.cell(p, Window::Type));
    line += " lamps=" + std::to_string(test.lit(p, 0)) + "," + std::to_string(test.lit(p, 1));
    line += " steps=" + utf8(windowText(test.cell(p, Window::FirstSteps))) + "," +
            utf8(windowText(test.cell(p, Window::SecondSteps)));
    line +=
        " pulse=" + std::string(windowText(test.cell(p, Window::Width)).empty() ? "none" : "some");
    return line + "\n";
}

int testWindowsOpen() {
    int count = 0;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM counter) {
            std::array<wchar_t, 64> name{};
            GetClassNameW(hwnd, name.data(), static_cast<int>(name.size()));
            if (std::wstring(name.data()) == L"RotorixEncoderTestWindow" && IsWindowVisible(hwnd)) {
                ++*reinterpret_cast<int*>(counter);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string dumpTest(const Window& test) {
    RECT client{};
    GetClientRect(test.hwnd(), &client);
    const HWND focus = GetFocus();
    std::string out = "test caption=" + quoted(windowText(test.hwnd()));
    out += " windows=" + std::to_string(testWindowsOpen());
    out += " owner=" + std::to_string(GetWindow(test.hwnd(), GW_OWNER) != nullptr);
    out += " front=" + std::to_string(GetForegroundWindow() == test.hwnd());
    out += " timer=" + std::to_string(test.timerRunning());
    out += " focus=" + std::string(focus == test.clearButton()   ? "clear"
                                   : focus == nullptr            ? "none"
                                   : IsChild(test.hwnd(), focus) ? "close"
                                                                 : "other");
    out += "\nstatus " + controlText(test.status()) + "\n";
    for (std::size_t p = 0; p < config::kEncoderCount; ++p) {
        out += rowLine(test, p);
    }
    out += "findings " + controlText(test.findings()) + "\n";
    out += "clear enabled=" + std::to_string(IsWindowEnabled(test.clearButton()) != FALSE) + "\n";
    return out;
}

std::string menuBar(const MainWindow& window) {
    HMENU bar = GetMenu(window.hwnd());
    if (bar == nullptr) {
        return "menu none\n";
    }
    std::string out = "menu";
    const auto itemText = [](HMENU menu, int position) {
        std::array<wchar_t, 128> text{};
        GetMenuStringW(menu, static_cast<UINT>(position), text.data(),
                       static_cast<int>(text.size()), MF_BYPOSITION);
        return quoted(text.data());
    };
    for (int i = 0; i < GetMenuItemCount(bar); ++i) {
        out += " " + itemText(bar, i) + " [";
        HMENU popup = GetSubMenu(bar, i);
        for (int j = 0; popup != nullptr && j < GetMenuItemCount(popup); ++j) {
            out += (j > 0 ? " " : "") + itemText(popup, j);
        }
        out += "]";
    }
    // The bar in the non-client area, above where the client area begins (Wine's rectangle of the
    // bar takes in the line under it, the client's first row).
    MENUBARINFO info{};
    info.cbSize = sizeof(info);
    POINT client_top{0, 0};
    ClientToScreen(window.hwnd(), &client_top);
    const bool above = GetMenuBarInfo(window.hwnd(), OBJID_MENU, 0, &info) != FALSE &&
                       info.rcBar.bottom > info.rcBar.top && info.rcBar.bottom <= client_top.y + 1;
    RECT client{};
    GetClientRect(window.hwnd(), &client);
    out += " above-client=" + std::to_string(above);
    out += " client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom);
    return out + "\n";
}

// Ticks the test window as its timer would until `done`; false after a minute without.
template <typename Done>
bool tickUntil(const MainWindow& window, Window& test, Done done) {
    const ULONGLONG limit = GetTickCount64() + 60'000;
    while (!done()) {
        if (test.model() == nullptr || GetTickCount64() > limit) {
            return false;
        }
        test.model()->waitForInput(view::EncoderTest::kTickMs);
        test.tick();
        pumpMessages(window);
    }
    return true;
}

// The menu item's command, as the system sends it when the item is chosen.
std::string menuStep(const MainWindow& window, std::string_view step) {
    struct Place {
        std::string_view name;
        int menu;
        int item;
    };
    constexpr std::array<Place, 6> kItems{{{"save", 0, 0},
                                           {"load", 0, 1},
                                           {"every", 0, 2},
                                           {"exit", 0, 4},
                                           {"find", 1, 0},
                                           {"test", 1, 1}}};
    const auto place = std::find_if(kItems.begin(), kItems.end(), [&](const Place& p) {
        return "menu:" + std::string(p.name) == step;
    });
    HMENU popup = place != kItems.end() ? GetSubMenu(GetMenu(window.hwnd()), place->menu) : nullptr;
    const UINT id = popup != nullptr ? GetMenuItemID(popup, place->item) : static_cast<UINT>(-1);
    if (id == static_cast<UINT>(-1)) {
        return "error: no menu item " + std::string(step) + "\n";
    }
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    return {};
}

}  // namespace

std::string encoderTestStep(MainWindow& window, std::string_view step) {
    if (step == "menubar") {
        return menuBar(window);
    }
    if (step.starts_with("menu:")) {
        return menuStep(window, step);
    }
    Window* test = window.encoderTest();
    if (step == "test") {
        return test != nullptr ? dumpTest(*test) : "test none\n";
    }
    if (test == nullptr) {
        return "error: no test window for " + std::string(step) + "\n";
    }
    if (step.starts_with("testkey:")) {
        SetForegroundWindow(test->hwnd());
        pumpMessages(window);
        return sendKeys(step.substr(8)) ? "" : "error: cannot send " + std::string(step) + "\n";
    }
    if (step == "test:said") {
        // Only the words: a pulse the host stamped late could add a finding of its own.
        return "test said " + quoted(test->lastAnnouncement()) + "\n";
    }
    if (step.starts_with("test:row:")) {
        const int row = std::atoi(std::string(step.substr(9)).c_str());
        return row >= 1 && row <= static_cast<int>(config::kEncoderCount)
                   ? rowLine(*test, static_cast<std::size_t>(row - 1))
                   : "error: no " + std::string(step) + "\n";
    }
    if (step == "test:wait") {
        if (test->model() == nullptr ||
            !test->model()->waitForInput(std::chrono::milliseconds(10'000))) {
            return "error: the test window never had input\n";
        }
        test->tick();
        return {};
    }
    if (step.starts_with("test:until:")) {
        int row = 0;
        long long first = 0;
        long long second = 0;
        if (std::sscanf(std::string(step.substr(11)).c_str(), "%d:%lld:%lld", &row, &first,
                        &second) != 3 ||
            row < 1 || row > static_cast<int>(config::kEncoderCount)) {
            return "error: bad step " + std::string(step) + "\n";
        }
        const std::size_t p = static_cast<std::size_t>(row - 1);
        const std::string want = std::to_string(first) + "," + std::to_string(second);
        const bool reached = tickUntil(window, *test, [&] {
            return utf8(windowText(test->cell(p, Window::FirstSteps))) + "," +
                       utf8(windowText(test->cell(p, Window::SecondSteps))) ==
                   want;
        });
        // Once more: a lamp lit by a pulse drained in the last tick goes out.
        test->tick();
        return reached ? "" : "error: row " + std::to_string(row) + " never counted " + want + "\n";
    }
    return "error: unknown step " + std::string(step) + "\n";
}

}  // namespace rotorix::win
