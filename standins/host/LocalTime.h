// Local times as the scenario and the store file write them: "2026-07-12 08:15:00".
#pragma once

#include <oaidl.h>

#include <string>

namespace qs::standin {

// False when the text is not such a time or names no day of the calendar.
bool ParseLocalTime(const std::wstring& text, DATE* date);
std::wstring FormatLocalTime(DATE date);

} // namespace qs::standin
