// The sample messages the host sends and receives: fixed people, a body that
// names the subject, the subject from the scenario, and an identity of their own.
#pragma once

#include "Item.h"
#include "MailStore.h"

namespace qs::standin {

// The local time now, as Outlook's dates are.
DATE LocalNow();

// A new message from the mailbox owner to two recipients, not yet sent: its
// SentOn and ReceivedTime are Outlook's "no date".
ItemFields SampleSentMail(std::wstring subject);
// A new message from an outside sender to the mailbox owner, sent a minute
// before it was received, with an Internet message ID.
ItemFields SampleReceivedMail(std::wstring subject, DATE receivedTime);

// What the store keeps of an item, and the item of a message kept in `folder`.
StoredMessage ToStored(ItemKind kind, const ItemFields& fields);
ItemFields StoredFields(FolderId folder, const StoredMessage& message);

} // namespace qs::standin
