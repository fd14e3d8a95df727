// The host's transcript on standard output: one UTF-8 line at a time, each
// flushed at once so that lines printed by add-ins in the same process keep
// their order.
#pragma once

#include <string>

namespace qs::standin {

void PrintLine(const std::string& line);
void PrintLine(const std::wstring& line);
// A message for the user on standard error.
void PrintError(const std::wstring& message);

std::string ToUtf8(const std::wstring& text);

} // namespace qs::standin
