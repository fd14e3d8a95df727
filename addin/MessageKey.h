// A message's identity that survives moves and copies: its MAPI search key,
// else its Internet message ID. Read by tag from the item itself where Outlook
// offers that (PropertyAccessor, Outlook 2007 and later), which needs no
// wrapper, else through the MAPI library's wrapper, which reads it on every
// Outlook version. The EntryID, which changes when a sent message moves from
// the Outbox to Sent Items, is the last resort.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

constexpr long kTagSearchKey = 0x300B0102;         // PR_SEARCH_KEY, binary
constexpr long kTagInternetMessageId = 0x1035001F; // PR_INTERNET_MESSAGE_ID, text

// "S:" and the search key in hex, or "M:" and the message ID, as the item's
// own PropertyAccessor gives them; empty when it cannot. Never fails.
std::wstring ItemMessageKey(IDispatch* item) noexcept;

// The same through the wrapper's Fields, else "E:" and the item's EntryID;
// empty when the message has none of them. Never fails.
std::wstring WrapperMessageKey(IDispatch* wrapper, IDispatch* item) noexcept;
