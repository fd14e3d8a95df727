// What the host's items saved, for the host's transcript: an item's Save notes
// its subject, and the host prints the saves after each event, so a test sees
// whether an add-in saved the item it was handed.
#pragma once

#include <string>
#include <vector>

namespace qs::standin {

void NoteSaved(const std::wstring& subject);
// The subjects noted since the previous call, oldest first.
std::vector<std::wstring> TakeSaved() noexcept;

} // namespace qs::standin
