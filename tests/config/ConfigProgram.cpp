#include "ConfigProgram.h"

#include "Process.h"

namespace config_test {

const wchar_t kDialogTitle[] = L"Ferrovale.Net Quillstow for Outlook Configuration";

bool WaitFor(const std::function<bool()>& done) {
    // Bounded only to turn a hang into a failure; no test depends on the time taken.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (done()) return true;
        ::Sleep(20);
    }
    return done();
}

std::wstring TextOf(HWND window) {
    const LRESULT length = ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

ConfigProgram::ConfigProgram() {
    std::wstring command = L"\"" + testing_support::BinFolder() + L"\\qsStowConfig.exe\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &started))
        return;
    process_.reset(started.hProcess);
    const qs::unique_handle thread(started.hThread); // only its id is needed
    processId_ = started.dwProcessId;
    threadId_ = started.dwThreadId;
}

ConfigProgram::~ConfigProgram() {
    if (!process_) return;
    if (::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), INFINITE);
    }
}

namespace {

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialogs(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (owner == search.processId && ::IsWindowVisible(window) &&
        std::wstring(className) == L"#32770")
        search.found.push_back(window);
    return TRUE;
}

std::vector<HWND> VisibleDialogsOf(DWORD processId) {
    WindowSearch search{processId, {}};
    ::EnumWindows(CollectDialogs, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

HWND ConfigProgram::WaitForDialog() {
    WaitFor([&] {
        for (HWND window : VisibleDialogsOf(processId_))
            if (TextOf(window) == kDialogTitle) dialog_ = window;
        return dialog_ != nullptr;
    });
    return dialog_;
}

std::vector<HWND> ConfigProgram::OtherWindows() const {
    std::vector<HWND> others;
    for (HWND window : VisibleDialogsOf(processId_))
        if (window != dialog_) others.push_back(window);
    return others;
}

ShownBox ConfigProgram::WaitForBox() {
    ShownBox box;
    WaitFor([&] {
        const auto others = OtherWindows();
        if (!others.empty()) box.window = others.front();
        return box.window != nullptr;
    });
    if (box.window) {
        box.title = TextOf(box.window);
        box.text = TextOf(::GetDlgItem(box.window, 0xFFFF));
    }
    return box;
}

void ConfigProgram::Dismiss(const ShownBox& box) {
    ::PostMessageW(::GetDlgItem(box.window, IDOK), BM_CLICK, 0, 0);
    WaitFor([&] { return !::IsWindow(box.window) || !::IsWindowVisible(box.window); });
}

bool ConfigProgram::IsChecked(int id) const {
    return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND ConfigProgram::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(threadId_, &info);
    return info.hwndFocus;
}

void ConfigProgram::Click(int id) {
    ::SendMessageW(Control(id), BM_CLICK, 0, 0);
}

void ConfigProgram::PostClick(int id) {
    ::PostMessageW(Control(id), BM_CLICK, 0, 0);
}

void ConfigProgram::PressKey(UINT virtualKey) {
    HWND target = Focus();
    ::PostMessageW(target, WM_KEYDOWN, virtualKey, 1);
    ::PostMessageW(target, WM_KEYUP, virtualKey, 0xC0000001);
}

bool ConfigProgram::WaitForExit() {
    return WaitFor([&] { return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0; });
}

} // namespace config_test
