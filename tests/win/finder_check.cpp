// The self-check's steps on the find window (self_check.h).
#include <chrono>

#include "self_check.h"

namespace rotorix::win {

namespace {

std::string dumpFinder(const BoardFinderWindow& finder, const MainWindow& window) {
    const HWND focus = GetFocus();
    std::string out = "find caption=" + quoted(windowText(finder.hwnd()));
    out += " owner-enabled=" + std::to_string(IsWindowEnabled(window.hwnd()) != FALSE);
    out += " front=" + std::to_string(GetForegroundWindow() == finder.hwnd());
    out += " timer=" + std::to_string(finder.timerRunning());
    out += " focus=" + std::string(focus == finder.cancelButton() ? "cancel" : "other");
    out += "\nprompt " + quoted(windowText(finder.prompt()));
    out += "\nstatus " + quoted(windowText(finder.status()));
    out += "\ncancel " + quoted(windowText(finder.cancelButton())) + "\n";
    return out;
}

}  // namespace

std::string finderStep(MainWindow& window, std::string_view step) {
    BoardFinderWindow* finder = window.boardFinder();
    if (step == "find") {
        // Closed, it must have given the main window its input back.
        return finder != nullptr
                   ? dumpFinder(*finder, window)
                   : "find none owner-enabled=" +
                         std::to_string(IsWindowEnabled(window.hwnd()) != FALSE) + "\n";
    }
    if (finder == nullptr) {
        return "error: no find window for " + std::string(step) + "\n";
    }
    if (step.starts_with("findkey:")) {
        SetForegroundWindow(finder->hwnd());
        pumpMessages(window);
        return sendKeys(step.substr(8)) ? "" : "error: cannot send " + std::string(step) + "\n";
    }
    if (step == "find:wait") {
        // The boards' first reports: a change counts from there.
        if (finder->model() == nullptr ||
            !finder->model()->waitForInput(std::chrono::milliseconds(10'000))) {
            return "error: the find window never had input\n";
        }
        finder->tick();
        return {};
    }
    if (step == "find:until") {
        // Ticks as its timer would until it has found a board and closed (at most a minute).
        const ULONGLONG limit = GetTickCount64() + 60'000;
        while (window.boardFinder() != nullptr) {
            if (finder->model() == nullptr || GetTickCount64() > limit) {
                return "error: the find window found nothing\n";
            }
            finder->model()->waitForInput(view::BoardFinder::kTickMs);
            finder->tick();
            pumpMessages(window);
        }
        return {};
    }
    return "error: unknown step " + std::string(step) + "\n";
}

}  // namespace rotorix::win
