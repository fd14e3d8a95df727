// What a message file holds, read from an item by name.
#pragma once

#include <oaidl.h>

#include <string>
#include <vector>

namespace qs::standin {

struct MessageRecipient {
    std::wstring name;
    std::wstring address;
};

struct MessageData {
    std::wstring messageClass;
    std::wstring subject;
    std::wstring body;
    std::wstring senderName;
    std::wstring senderEmailAddress;
    std::wstring displayTo;
    std::vector<MessageRecipient> recipients;
    DATE submitTime = 0; // local time; 0 when the item has none
    DATE deliveryTime = 0;
};

} // namespace qs::standin
