// A message's identity that survives moves and copies: its MAPI search key,
// else its Internet message ID, read by tag through the MAPI library's
// wrapper, which does so on every Outlook version. The EntryID, which changes
// when a sent message moves from the Outbox to Sent Items, is the last resort.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

constexpr long kTagSearchKey = 0x300B0102;         // PR_SEARCH_KEY, binary
constexpr long kTagInternetMessageId = 0x1035001F; // PR_INTERNET_MESSAGE_ID, text

// "S:" and the search key in hex, "M:" and the message ID, or "E:" and the
// EntryID; empty when the message has none of them. Never fails.
std::wstring MessageKey(IDispatch* wrapper, IDispatch* item) noexcept;
