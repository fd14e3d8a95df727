// The host's message store: its default Inbox and Sent Items, each holding
// the messages filed in it in the order they were filed. The host fills it
// (and keeps it in a file between runs); the folders and their Items read it.
// A message keeps what tells it apart; the rest of its item (people, body)
// is the sample mail of its folder.
#pragma once

#include "Item.h"
#include "ItemKind.h"

#include <string>
#include <vector>

namespace qs::standin {

// A default folder, by Outlook's OlDefaultFolders value.
enum class FolderId { SentItems = 5, Inbox = 6 };

struct StoredMessage {
    ItemKind kind = ItemKind::Mail;
    std::wstring subject;
    std::wstring entryId;
    SearchKey searchKey{};
    std::wstring internetMessageId; // empty: none
    DATE receivedTime = kNoDate;
    DATE sentOn = kNoDate;
};

class MailStore {
public:
    std::vector<StoredMessage>& Messages(FolderId folder) noexcept {
        return folder == FolderId::Inbox ? inbox_ : sentItems_;
    }
    const std::vector<StoredMessage>& Messages(FolderId folder) const noexcept {
        return folder == FolderId::Inbox ? inbox_ : sentItems_;
    }

private:
    std::vector<StoredMessage> inbox_, sentItems_;
};

constexpr FolderId kFolders[] = {FolderId::Inbox, FolderId::SentItems};

// The folder's name as Outlook shows it: "Inbox", "Sent Items".
const wchar_t* FolderName(FolderId folder) noexcept;
const wchar_t* FolderEntryId(FolderId folder) noexcept;
bool FolderFromName(const std::wstring& name, FolderId* folder) noexcept;

} // namespace qs::standin
