// The File menu's handlers: file names from Windows' own dialogs, bytes to and from the file, and
// the view's report in a message box. What is written and what a load does is the view's.
//
// Names stay UTF-16 from the dialog to CreateFileW: a name in any script reaches the file system
// as the user typed it, never through the ANSI code page.
#include <shobjidl.h>

#include <string>

#include "base/unicode.h"
#include "hid/windows/windows_system.h"
#include "profile/profile.h"
#include "win/main_window.h"

namespace rotorix::win {

namespace {

constexpr wchar_t kSaveTitle[] = L"Save the settings";

std::wstring wide(const std::u16string& text) {
    return {text.begin(), text.end()};  // wchar_t is UTF-16 on Windows
}

std::wstring systemWords(DWORD error) {
    return wide(base::fromUtf8Lossy(hid::win32::systemMessage(error)));
}

std::wstring systemWords(HRESULT result) {
    return systemWords(HRESULT_FACILITY(result) == FACILITY_WIN32
                           ? static_cast<DWORD>(HRESULT_CODE(result))
                           : static_cast<DWORD>(result));
}

// Holds one reference to a COM object.
template <typename Interface>
struct Held {
    Interface* object = nullptr;
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (object != nullptr) {
            object->Release();
        }
    }
};

// The Common Item Dialog, to save (`suggested` names the file it offers) or to open. It gives
// file-system paths only: the profile is read and written with the file API, which takes no
// shell item. The owner is disabled while it is open; the window's timer goes on.
MainWindow::FileName askForName(HWND owner, const wchar_t* title, const std::wstring* suggested) {
    static constexpr COMDLG_FILTERSPEC kTypes[] = {{L"Settings profiles (*.json)", L"*.json"},
                                                   {L"All files (*.*)", L"*.*"}};
    Held<IFileDialog> dialog;
    HRESULT result = CoCreateInstance(
        suggested != nullptr ? CLSID_FileSaveDialog : CLSID_FileOpenDialog, nullptr,
        CLSCTX_INPROC_SERVER, IID_IFileDialog, reinterpret_cast<void**>(&dialog.object));
    FILEOPENDIALOGOPTIONS options = 0;
    if (SUCCEEDED(result)) {
        result = dialog.object->GetOptions(&options);
    }
    options |=
        FOS_FORCEFILESYSTEM | (suggested != nullptr ? FOS_OVERWRITEPROMPT : FOS_FILEMUSTEXIST);
    const auto then = [&result](auto call) {
        if (SUCCEEDED(result)) {
            result = call();
        }
    };
    then([&] { return dialog.object->SetOptions(options); });
    then([&] { return dialog.object->SetFileTypes(2, kTypes); });
    then([&] { return dialog.object->SetDefaultExtension(L"json"); });
    then([&] { return dialog.object->SetTitle(title); });
    if (suggested != nullptr) {
        then([&] { return dialog.object->SetFileName(suggested->c_str()); });
    }
    then([&] { return dialog.object->Show(owner); });
    if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED)) {
        return {};
    }
    Held<IShellItem> item;
    PWSTR path = nullptr;
    then([&] { return dialog.object->GetResult(&item.object); });
    then([&] { return item.object->GetDisplayName(SIGDN_FILESYSPATH, &path); });
    if (FAILED(result)) {
        return {{}, L"The file dialog could not be shown: " + systemWords(result)};
    }
    std::wstring name(path);
    CoTaskMemFree(path);
    return {std::move(name), {}};
}

// Puts `bytes` in the file `path` whole or not at all: they are written to a new file beside it,
// which then takes its place, so a full disk or a crash never leaves a profile cut short. Empty,
// or the system's words for what failed.
std::wstring writeWhole(const std::wstring& path, const std::string& bytes) {
    const std::wstring part = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".part";
    HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return systemWords(GetLastError());
    }
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ==
            FALSE ||
        FlushFileBuffers(file) == FALSE) {
        error = GetLastError();
    } else if (written != bytes.size()) {
        error = ERROR_HANDLE_DISK_FULL;
    }
    if (CloseHandle(file) == FALSE && error == ERROR_SUCCESS) {
        error = GetLastError();
    }
    if (error == ERROR_SUCCESS &&
        MoveFileExW(part.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
        error = GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        DeleteFileW(part.c_str());
        return systemWords(error);
    }
    return {};
}

struct FileBytes {
    std::string bytes;
    std::wstring problem;  // the system's words; empty when the file was read
};

FileBytes readProfileFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return {{}, systemWords(GetLastError())};
    }
    // One byte past the largest profile is enough for the reader to refuse a larger file.
    FileBytes read{std::string(profile::kMaxProfileBytes + 1, '\0'), {}};
    std::size_t have = 0;
    for (DWORD got = 1; got > 0 && have < read.bytes.size();) {
        if (ReadFile(file, read.bytes.data() + have, static_cast<DWORD>(read.bytes.size() - have),
                     &got, nullptr) == FALSE) {
            read.problem = systemWords(GetLastError());
            break;
        }
        have += got;
    }
    CloseHandle(file);
    read.bytes.resize(have);
    return read;
}

}  // namespace

void MainWindow::saveSettings() {
    const view::ProfileToSave save = view::profileToSave(session_.snapshot());
    if (save.text.empty()) {
        showFileReport(kSaveTitle, wide(save.problem), true);
        return;
    }
    const std::wstring suggested = wide(save.suggested_name);
    const FileName name = file_dialogs_.save_name ? file_dialogs_.save_name(hwnd_, suggested)
                                                  : askForName(hwnd_, kSaveTitle, &suggested);
    if (!name.problem.empty()) {
        showFileReport(kSaveTitle, name.problem, true);
        return;
    }
    if (name.path.empty()) {
        return;  // the user cancelled
    }
    if (const std::wstring problem = writeWhole(name.path, save.text); !problem.empty()) {
        showFileReport(kSaveTitle,
                       L"The settings could not be saved to " + name.path + L": " + problem, true);
        return;
    }
    showFileReport(kSaveTitle,
                   L"The settings of " + wide(save.board) + L" were saved to " + name.path + L".",
                   false);
}

void MainWindow::loadSettings(view::LoadTarget target, const wchar_t* title) {
    const FileName name = file_dialogs_.open_name ? file_dialogs_.open_name(hwnd_)
                                                  : askForName(hwnd_, title, nullptr);
    if (!name.problem.empty()) {
        showFileReport(title, name.problem, true);
        return;
    }
    if (name.path.empty()) {
        return;  // the user cancelled
    }
    const FileBytes file = readProfileFile(name.path);
    if (!file.problem.empty()) {
        showFileReport(title, name.path + L" could not be read: " + file.problem, true);
        return;
    }
    const view::Loaded loaded = presenter_.loadProfile(file.bytes, target);
    showUpdate(loaded.update);
    showFileReport(title, name.path + L":\n" + wide(loaded.report.text),
                   !loaded.report.all_written);
}

void MainWindow::showFileReport(const wchar_t* title, const std::wstring& text, bool trouble) {
    // A message box is a dialog that screen readers read out whole as it opens, and its sound
    // tells a warning from a plain report. Where it cannot be shown, the window announces it.
    const UINT icon = trouble ? MB_ICONWARNING : MB_ICONINFORMATION;
    if (MessageBoxW(hwnd_, text.c_str(), title, MB_OK | icon) == 0) {
        announce(text);
    }
}

}  // namespace rotorix::win
