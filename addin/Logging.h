// The diagnostic log: one text file beside the add-in's own file, named after
// it, appended to one line at a time; where that folder cannot be written (an
// installation under Program Files), in the user's %LOCALAPPDATA%\Quillstow.
// Callers test the Logging setting first.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// Appends one time-stamped line. Never reports a failure: an unwritable log
// leaves the caller unharmed, and the next call simply tries again.
void WriteLog(const std::wstring& message) noexcept;

// The log file's path: this module's folder, a backslash, its base name and ".log".
std::wstring LogFilePath();

// Where the log at `own` goes when this module's folder cannot be written: the
// same name in %LOCALAPPDATA%\Quillstow, which is made when missing.
std::wstring FallbackLogFilePath(const std::wstring& own);

// A local time in the user's general date form, as the log's lines begin.
std::wstring GeneralDateText(DATE localTime);

// One log line as written to the file, in the ANSI code page: the local time in
// the user's general date form, a blank, the message with its control
// characters written as blanks, and CR LF.
std::string FormatLogLine(const SYSTEMTIME& localTime, const std::wstring& message);
