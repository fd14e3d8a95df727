#include "StoreFile.h"

#include "LocalTime.h"
#include "Output.h"
#include "result.h"
#include "system_message.h"
#include "unique.h"

#include <windows.h>

#include <cwchar>

namespace qs::standin {

namespace {

constexpr const char* kFormat = "qs-outlook-standin-store 1";
constexpr size_t kFields = 8;

std::wstring Hex(const SearchKey& key) {
    std::wstring hex;
    wchar_t digits[3];
    for (BYTE byte : key) {
        std::swprintf(digits, 3, L"%02X", byte);
        hex += digits;
    }
    return hex;
}

bool FromHex(const std::wstring& hex, SearchKey* key) {
    if (hex.size() != key->size() * 2) return false;
    for (size_t i = 0; i < key->size(); ++i) {
        const std::wstring pair = hex.substr(i * 2, 2);
        wchar_t* end = nullptr;
        (*key)[i] = static_cast<BYTE>(std::wcstoul(pair.c_str(), &end, 16));
        if (end != pair.c_str() + 2) return false;
    }
    return true;
}

std::wstring TimeText(DATE date) {
    return date == kNoDate ? L"-" : FormatLocalTime(date);
}

bool FromTimeText(const std::wstring& text, DATE* date) {
    if (text == L"-") {
        *date = kNoDate;
        return true;
    }
    return ParseLocalTime(text, date);
}

bool ParseMessage(const std::wstring& line, FolderId* folder, StoredMessage* message) {
    std::wstring fields[kFields];
    size_t start = 0;
    for (size_t i = 0; i + 1 < kFields; ++i) {
        const size_t tab = line.find(L'\t', start);
        if (tab == std::wstring::npos) return false;
        fields[i] = line.substr(start, tab - start);
        start = tab + 1;
    }
    fields[kFields - 1] = line.substr(start);
    message->entryId = fields[2];
    message->internetMessageId = fields[4] == L"-" ? L"" : fields[4];
    message->subject = fields[7];
    return FolderFromName(fields[0], folder) && ItemKindFromTypeName(fields[1], &message->kind) &&
           !message->entryId.empty() && FromHex(fields[3], &message->searchKey) &&
           FromTimeText(fields[5], &message->receivedTime) &&
           FromTimeText(fields[6], &message->sentOn);
}

std::wstring ToUtf16(const std::string& utf8) {
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                          size);
    return text;
}

bool Failed(const std::wstring& what, const std::wstring& path, HRESULT hr, std::wstring* problem) {
    *problem = what + L" " + path + L": " + SystemMessage(hr);
    return false;
}

} // namespace

bool LoadStore(const std::wstring& path, MailStore* store, std::wstring* problem) {
    unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) return true;
        return Failed(L"cannot open the store", path, HRESULT_FROM_WIN32(error), problem);
    }
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 256 * 1024 * 1024)
        return Failed(L"cannot read the store", path, E_OUTOFMEMORY, problem);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
        read != bytes.size())
        return Failed(L"cannot read the store", path, HResultFromLastError(), problem);

    MailStore loaded;
    size_t start = 0;
    for (int number = 1; start < bytes.size(); ++number) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        const std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (number == 1) {
            if (line == kFormat) continue;
            *problem = L"the store " + path + L" is not a store of this host";
            return false;
        }
        FolderId folder;
        StoredMessage message;
        if (!ParseMessage(ToUtf16(line), &folder, &message)) {
            *problem = L"the store " + path + L" has a bad line " + std::to_wstring(number);
            return false;
        }
        loaded.Messages(folder).push_back(std::move(message));
    }
    *store = std::move(loaded);
    return true;
}

bool SaveStore(const std::wstring& path, const MailStore& store, std::wstring* problem) {
    std::string text = std::string(kFormat) + "\n";
    for (FolderId folder : kFolders) {
        for (const StoredMessage& message : store.Messages(folder)) {
            const std::wstring line =
                std::wstring(FolderName(folder)) + L"\t" + KindInfo(message.kind).typeName + L"\t" +
                message.entryId + L"\t" + Hex(message.searchKey) + L"\t" +
                (message.internetMessageId.empty() ? L"-" : message.internetMessageId) + L"\t" +
                TimeText(message.receivedTime) + L"\t" + TimeText(message.sentOn) + L"\t" +
                message.subject + L"\n";
            text += ToUtf8(line);
        }
    }
    const std::wstring temporary = path + L".new";
    {
        unique_hfile file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return Failed(L"cannot write the store", temporary, HResultFromLastError(), problem);
        DWORD written = 0;
        if (!::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) ||
            written != text.size() || !::FlushFileBuffers(file.get()))
            return Failed(L"cannot write the store", temporary, HResultFromLastError(), problem);
    }
    if (!::MoveFileExW(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Failed(L"cannot replace the store", path, HResultFromLastError(), problem);
    return true;
}

} // namespace qs::standin
