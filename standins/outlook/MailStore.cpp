#include "MailStore.h"

namespace qs::standin {

namespace {

struct FolderInfo {
    FolderId id;
    const wchar_t* name;
    const wchar_t* entryId;
};

const FolderInfo kFolderInfo[] = {
    {FolderId::Inbox, L"Inbox", L"00000000A1B2C3D4E5F607180100000000000006"},
    {FolderId::SentItems, L"Sent Items", L"00000000A1B2C3D4E5F607180100000000000005"},
};

const FolderInfo& InfoOf(FolderId folder) noexcept {
    return folder == FolderId::Inbox ? kFolderInfo[0] : kFolderInfo[1];
}

} // namespace

const wchar_t* FolderName(FolderId folder) noexcept {
    return InfoOf(folder).name;
}

const wchar_t* FolderEntryId(FolderId folder) noexcept {
    return InfoOf(folder).entryId;
}

bool FolderFromName(const std::wstring& name, FolderId* folder) noexcept {
    for (const FolderInfo& info : kFolderInfo) {
        if (name == info.name) {
            *folder = info.id;
            return true;
        }
    }
    return false;
}

} // namespace qs::standin
