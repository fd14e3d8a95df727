// Reads a message's content from an item through IDispatch, by name, so that
// the host's mail items and the library's MessageItems both serve. A property
// the item does not have is left empty.
#pragma once

#include "MessageData.h"

namespace qs::standin {

HRESULT ReadMessage(IDispatch* item, MessageData* message) noexcept;

} // namespace qs::standin
