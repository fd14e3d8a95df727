#include "Logging.h"

#include "UserStateFolder.h"
#include "module.h"
#include "unique.h"

#include <oleauto.h>

namespace {

std::string ToAnsi(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string ansi(size > 0 ? size : 0, '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), ansi.data(),
                              size, nullptr, nullptr);
    }
    return ansi;
}

std::wstring GeneralDate(const SYSTEMTIME& localTime) {
    SYSTEMTIME whole = localTime;
    whole.wMilliseconds = 0;
    DATE date = 0;
    if (!::SystemTimeToVariantTime(&whole, &date)) return {};
    return GeneralDateText(date);
}

} // namespace

// The general date form of the user's locale; midnight shows the date alone.
std::wstring GeneralDateText(DATE localTime) {
    qs::unique_bstr text;
    if (FAILED(::VarBstrFromDate(localTime, LOCALE_USER_DEFAULT, 0, text.put()))) return {};
    return std::wstring(text.get(), ::SysStringLen(text.get()));
}

std::wstring LogFilePath() {
    const std::wstring module = qs::ThisModulePath();
    const size_t slash = module.find_last_of(L"\\/");
    const std::wstring folder =
        slash == std::wstring::npos ? std::wstring() : module.substr(0, slash);
    std::wstring name = slash == std::wstring::npos ? module : module.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    return folder + L"\\" + name + L".log";
}

std::wstring FallbackLogFilePath(const std::wstring& own) {
    const std::wstring folder = UserStateFolder();
    if (folder.empty()) return {};
    return folder + own.substr(own.find_last_of(L'\\'));
}

std::string FormatLogLine(const SYSTEMTIME& localTime, const std::wstring& message) {
    std::wstring line = GeneralDate(localTime);
    line += L' ';
    // One call, one line: a subject cannot break a line or forge another one.
    for (wchar_t ch : message)
        line += ch < 0x20 ? L' ' : ch;
    return ToAnsi(line) + "\r\n";
}

void WriteLog(const std::wstring& message) noexcept {
    try {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        const std::string line = FormatLogLine(now, message);
        const auto open = [](const std::wstring& path) {
            return qs::unique_hfile(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        };
        const std::wstring path = LogFilePath();
        qs::unique_hfile file = open(path);
        // A folder the user may not write to; a log held by another program is not that.
        if (!file && ::GetLastError() == ERROR_ACCESS_DENIED)
            file = open(FallbackLogFilePath(path));
        if (!file) return;
        DWORD written = 0;
        ::WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    } catch (...) {
        // The log never disturbs its caller.
    }
}
