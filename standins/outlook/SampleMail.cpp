#include "SampleMail.h"

#include <windows.h>
#include <oleauto.h>

#include <cwchar>

namespace qs::standin {

namespace {

const Recipient owner{L"Quinn Owner", L"quinn.owner@example.com"};

std::wstring MessageIdFor(const SearchKey& key) {
    std::wstring id = L"<";
    wchar_t hex[3];
    for (BYTE byte : key) {
        std::swprintf(hex, 3, L"%02x", byte);
        id += hex;
    }
    return id + L"@example.org>";
}

// The people and body of a message from the owner, and of one to the owner.
ItemFields SentFields(std::wstring subject) {
    ItemFields fields;
    fields.body = L"Hello,\r\nthis is a sample message sent from the Outlook stand-in about: " +
                  subject + L"\r\n";
    fields.subject = std::move(subject);
    fields.senderName = owner.name;
    fields.senderEmailAddress = owner.address;
    fields.to = {{L"Ada Recipient", L"ada@example.org"}, {L"Ben Recipient", L"ben@example.net"}};
    return fields;
}

ItemFields ReceivedFields(std::wstring subject) {
    ItemFields fields;
    fields.body =
        L"Hello Quinn,\r\nthis is a sample message received by the Outlook stand-in about: " +
        subject + L"\r\n";
    fields.subject = std::move(subject);
    fields.senderName = L"Cora Sender";
    fields.senderEmailAddress = L"cora.sender@example.org";
    fields.to = {owner};
    return fields;
}

} // namespace

DATE LocalNow() {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    DATE date = 0;
    ::SystemTimeToVariantTime(&local, &date);
    return date;
}

ItemFields SampleSentMail(std::wstring subject) {
    ItemFields fields = SentFields(std::move(subject));
    fields.entryId = NewEntryId();
    fields.searchKey = NewSearchKey();
    return fields;
}

ItemFields SampleReceivedMail(std::wstring subject, DATE receivedTime) {
    ItemFields fields = ReceivedFields(std::move(subject));
    fields.receivedTime = receivedTime;
    fields.sentOn = fields.receivedTime - 1.0 / (24 * 60);
    fields.entryId = NewEntryId();
    fields.searchKey = NewSearchKey();
    fields.internetMessageId = MessageIdFor(fields.searchKey);
    return fields;
}

StoredMessage ToStored(ItemKind kind, const ItemFields& fields) {
    return {kind,
            fields.subject,
            fields.entryId,
            fields.searchKey,
            fields.internetMessageId,
            fields.receivedTime,
            fields.sentOn};
}

ItemFields StoredFields(FolderId folder, const StoredMessage& message) {
    ItemFields fields =
        folder == FolderId::Inbox ? ReceivedFields(message.subject) : SentFields(message.subject);
    fields.receivedTime = message.receivedTime;
    fields.sentOn = message.sentOn;
    fields.entryId = message.entryId;
    fields.searchKey = message.searchKey;
    fields.internetMessageId = message.internetMessageId;
    return fields;
}

} // namespace qs::standin
