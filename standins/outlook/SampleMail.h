// The sample messages the host sends and receives: fixed people, a body that
// names the subject, the subject from the scenario, the times from the local clock.
#pragma once

#include "Item.h"

namespace qs::standin {

// From the mailbox owner to two recipients, sent now.
ItemFields SampleSentMail(std::wstring subject);
// From an outside sender to the mailbox owner, sent a minute ago and received now.
ItemFields SampleReceivedMail(std::wstring subject);

} // namespace qs::standin
