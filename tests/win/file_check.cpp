// The self-check's steps on the File menu (self_check.h). The file dialogs are the window's seam:
// they give the name a step set, in the temporary folder; the message box that reports is the
// real one, read and closed by a timer that runs inside its modal loop.
#include <array>
#include <cstdio>
#include <string>

#include "self_check.h"

namespace rotorix::win {

namespace {

struct Files {
    std::wstring folder;     // the temporary folder, with its trailing backslash
    std::wstring next;       // what the dialogs give: a path in the folder
    std::wstring suggested;  // what the save dialog was offered
    std::wstring caught;     // the last message box: its caption and text
    UINT_PTR catcher = 0;
};

Files& files() {
    static Files state;
    return state;
}

// The folder's name is the machine's; the printout says %TEMP%.
std::string printable(std::wstring text) {
    for (auto at = text.find(files().folder); !files().folder.empty() && at != std::wstring::npos;
         at = text.find(files().folder)) {
        text.replace(at, files().folder.size(), L"%TEMP%\\");
    }
    return quoted(text);
}

void CALLBACK catchBox(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND hwnd, LPARAM) {
            std::array<wchar_t, 16> name{};
            GetClassNameW(hwnd, name.data(), static_cast<int>(name.size()));
            if (std::wstring(name.data()) != L"#32770" || !IsWindowVisible(hwnd)) {
                return TRUE;
            }
            // 0xFFFF: the message box's text, on Windows and in Wine.
            files().caught = windowText(hwnd) + L": " + windowText(GetDlgItem(hwnd, 0xFFFF));
            PostMessageW(hwnd, WM_COMMAND, IDOK, 0);
            return FALSE;
        },
        0);
}

std::string fileBytes(const std::wstring& path) {
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) {
        return "file " + printable(path) + " none\n";
    }
    std::wstring bytes;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        bytes += static_cast<wchar_t>(c);  // byte for byte, as Latin-1
    }
    std::fclose(file);
    return "file " + printable(path) + " " + quoted(bytes) + "\n";
}

}  // namespace

std::string fileStep(MainWindow& window, std::string_view step) {
    Files& state = files();
    if (state.folder.empty()) {
        std::array<wchar_t, MAX_PATH + 1> folder{};
        GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
        state.folder = folder.data();
        window.setFileDialogs({[](HWND, const std::wstring& suggested) {
                                   files().suggested = suggested;
                                   return MainWindow::FileName{files().next, {}};
                               },
                               [](HWND) {
                                   return MainWindow::FileName{files().next, {}};
                               }});
    }
    const std::wstring& path = state.next;
    if (step.starts_with("file:name:")) {
        const std::string name(step.substr(10));
        const int size =
            MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
        std::wstring wide(static_cast<std::size_t>(size), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(),
                            size);
        state.next = state.folder + wide;
        DeleteFileW(state.next.c_str());
        state.catcher = SetTimer(nullptr, state.catcher, 100, &catchBox);
        return state.catcher != 0 ? "" : "error: no timer for the message box\n";
    }
    if (step == "file:report") {
        std::string out =
            "report " + printable(state.caught) + " suggested=" + printable(state.suggested) + "\n";
        state.caught.clear();
        return out;
    }
    if (step == "file:bytes") {
        return fileBytes(path);
    }
    if (step == "file:junk") {
        std::FILE* file = _wfopen(path.c_str(), L"wb");
        const bool written = file != nullptr && std::fputs("[1, 2, 3]\n", file) >= 0;
        return file != nullptr && std::fclose(file) == 0 && written ? ""
                                                                    : "error: cannot write junk\n";
    }
    return "error: unknown step " + std::string(step) + "\n";
}

}  // namespace rotorix::win
