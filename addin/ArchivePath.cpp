#include "ArchivePath.h"

#include "unique.h"

#include <cwchar>

// " _-+#()[]{}=%$§ß~€@µ;"
const std::wstring kAllowedCharacters = L" _-+#()[]{}=%$\u00A7\u00DF~\u20AC@\u00B5;";

namespace {

bool IsAlphaNumericUnit(wchar_t ch) noexcept {
    return (ch >= L'0' && ch <= L'9') || (ch >= L'A' && ch <= L'Z') || (ch >= L'a' && ch <= L'z');
}

} // namespace

bool IsAlphaNumeric(const std::wstring& ch) noexcept {
    return ch.size() == 1 && IsAlphaNumericUnit(ch[0]);
}

std::wstring CleanFileName(const std::wstring& subject, const std::wstring& allowed) {
    std::wstring result;
    const size_t length = subject.size();
    for (size_t i = 0; i < length; ++i) {
        const wchar_t ch = subject[i];
        if (allowed.find(ch) != std::wstring::npos || IsAlphaNumericUnit(ch)) result += ch;
    }
    if (result.size() > kMaxCleanedSubject) result.resize(kMaxCleanedSubject);
    return result;
}

std::wstring ArchiveTimeStamp(const SYSTEMTIME& localTime) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%04u%02u%02u %02u%02u%02u", localTime.wYear, localTime.wMonth,
                  localTime.wDay, localTime.wHour, localTime.wMinute, localTime.wSecond);
    return text;
}

ComposeResult ComposeArchivePath(const std::wstring& folder, const SYSTEMTIME& localTime,
                                 const std::wstring& cleanedSubject,
                                 const std::function<bool(const std::wstring&)>& exists,
                                 const std::function<bool()>& timeUp, std::wstring& path) {
    std::wstring base = folder;
    if (base.empty() || base.back() != L'\\') base += L'\\';
    base += ArchiveTimeStamp(localTime);
    base += L" - ";
    static const std::wstring kExtension = L".msg";

    for (unsigned counter = 1; counter <= kMaxNameCounter; ++counter) {
        if (counter > 1 && timeUp()) break;
        const std::wstring suffix = counter == 1 ? L"" : L" (" + std::to_wstring(counter) + L")";
        const size_t fixed = base.size() + suffix.size() + kExtension.size();
        if (fixed > kMaxArchivePath) return ComposeResult::PathTooLong;
        const size_t room = kMaxArchivePath - fixed;
        std::wstring candidate = base;
        candidate.append(cleanedSubject, 0, room);
        candidate += suffix;
        candidate += kExtension;
        if (!exists(candidate)) {
            path = std::move(candidate);
            return ComposeResult::Composed;
        }
    }
    return ComposeResult::NoFreeName;
}

bool PathExists(const std::wstring& path) noexcept {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

NameClaim ClaimArchiveName(const std::wstring& path) noexcept {
    const qs::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return NameClaim::Claimed;
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return NameClaim::Taken;
    // A folder of that name refuses creation with another code.
    return PathExists(path) ? NameClaim::Taken : NameClaim::Unclaimed;
}

void ReleaseEmptyClaim(const std::wstring& path) noexcept {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
        !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeLow == 0 &&
        data.nFileSizeHigh == 0)
        ::DeleteFileW(path.c_str());
}
