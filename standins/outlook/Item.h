// Items of the host: a mail item and the other kinds that can come through
// ItemSend. Each answers for its own kind's interface only, so its type
// information names it as Outlook's do ("_MailItem", "_AppointmentItem", ...).
#pragma once

#include "ItemKind.h"

#include <oaidl.h>

#include <array>
#include <string>
#include <vector>

namespace qs::standin {

// Outlook's "no date": 1 January 4501, the SentOn of an item not yet sent.
constexpr DATE kNoDate = 949998.0;

// PR_SEARCH_KEY: set when a message is made, kept when it moves or is copied.
using SearchKey = std::array<BYTE, 16>;

struct Recipient {
    std::wstring name;
    std::wstring address;
};

struct ItemFields {
    std::wstring subject;
    std::wstring body;
    std::wstring senderName;
    std::wstring senderEmailAddress;
    std::vector<Recipient> to;
    DATE sentOn = kNoDate;
    DATE receivedTime = kNoDate;
    std::wstring entryId;
    SearchKey searchKey{};
    std::wstring internetMessageId; // PR_INTERNET_MESSAGE_ID; empty: none
};

HRESULT CreateItem(ItemKind kind, ItemFields fields, IDispatch** item) noexcept;

// Items offer PropertyAccessor as Outlook 2007 and later do (the default), or
// not, as Outlook 2003 and earlier; MAPIOBJECT is there on every version.
void OfferPropertyAccessor(bool offered) noexcept;
bool PropertyAccessorOffered() noexcept;

// New identities, unique across runs of the host (they are kept in its store).
std::wstring NewEntryId();
SearchKey NewSearchKey();

} // namespace qs::standin
