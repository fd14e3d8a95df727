// Builds an Outlook message file (a compound file as MS-OXMSG lays it out) in
// memory: the message's properties, one storage per recipient and the
// named-property storage.
#pragma once

#include "MessageData.h"

#include <windows.h>

#include <vector>

namespace qs::standin {

enum class MsgFormat {
    Ansi,   // strings as PT_STRING8 in the ANSI code page: other characters are lost
    Unicode // strings as PT_UNICODE (UTF-16LE), with STORE_UNICODE_OK in the support mask
};

HRESULT BuildMsg(const MessageData& message, MsgFormat format, std::vector<BYTE>* file) noexcept;

} // namespace qs::standin
