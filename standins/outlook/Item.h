// Items of the host: a mail item and the other kinds that can come through
// ItemSend. Each answers for its own kind's interface only, so its type
// information names it as Outlook's do ("_MailItem", "_AppointmentItem", ...).
#pragma once

#include "ItemKind.h"

#include <oaidl.h>

#include <string>
#include <vector>

namespace qs::standin {

// Outlook's "no date": 1 January 4501.
constexpr DATE kNoDate = 949998.0;

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
};

HRESULT CreateItem(ItemKind kind, ItemFields fields, IDispatch** item) noexcept;

} // namespace qs::standin
