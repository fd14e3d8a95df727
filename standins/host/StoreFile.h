// The host's store between runs: a UTF-8 text file, written whole at the end
// of a run (into a temporary file that then replaces the old one, so that a
// run cut short leaves the previous store). After a first line naming the
// format, one line per message, its fields separated by tabs, the subject last:
//   FOLDER KIND ENTRYID SEARCHKEY MESSAGEID RECEIVED SENTON SUBJECT
// FOLDER is "Inbox" or "Sent Items", KIND a type name ("MailItem", ...), the
// search key 32 hexadecimal digits, the times "YYYY-MM-DD HH:MM:SS" in local
// time, and "-" stands for no Internet message ID or no date.
#pragma once

#include "MailStore.h"

#include <string>

namespace qs::standin {

// A file that does not exist yet gives an empty store.
bool LoadStore(const std::wstring& path, MailStore* store, std::wstring* problem);
bool SaveStore(const std::wstring& path, const MailStore& store, std::wstring* problem);

} // namespace qs::standin
