#include "SampleMail.h"

#include <windows.h>
#include <oleauto.h>

namespace qs::standin {

namespace {

const Recipient owner{L"Quinn Owner", L"quinn.owner@example.com"};

DATE Now() {
    SYSTEMTIME local;
    ::GetLocalTime(&local);
    DATE date = 0;
    ::SystemTimeToVariantTime(&local, &date);
    return date;
}

} // namespace

ItemFields SampleSentMail(std::wstring subject) {
    ItemFields fields;
    fields.body = L"Hello,\r\nthis is a sample message sent from the Outlook stand-in about: " +
                  subject + L"\r\n";
    fields.subject = std::move(subject);
    fields.senderName = owner.name;
    fields.senderEmailAddress = owner.address;
    fields.to = {{L"Ada Recipient", L"ada@example.org"}, {L"Ben Recipient", L"ben@example.net"}};
    fields.sentOn = Now();
    return fields;
}

ItemFields SampleReceivedMail(std::wstring subject) {
    ItemFields fields;
    fields.body =
        L"Hello Quinn,\r\nthis is a sample message received by the Outlook stand-in about: " +
        subject + L"\r\n";
    fields.subject = std::move(subject);
    fields.senderName = L"Cora Sender";
    fields.senderEmailAddress = L"cora.sender@example.org";
    fields.to = {owner};
    fields.receivedTime = Now();
    fields.sentOn = fields.receivedTime - 1.0 / (24 * 60);
    return fields;
}

} // namespace qs::standin
