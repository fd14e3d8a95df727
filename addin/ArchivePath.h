// Naming of archive files: the local time of archiving, " - ", the subject
// reduced to characters safe in a file name, and ".msg".
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The punctuation kept in file names besides letters and digits, in this order.
extern const std::wstring kAllowedCharacters;

// The longest cleaned subject.
constexpr size_t kMaxCleanedSubject = 220;

// The longest path the platform accepts (MAX_PATH less the terminating zero).
constexpr size_t kMaxArchivePath = MAX_PATH - 1;

// True exactly for one of 0-9, A-Z, a-z.
bool IsAlphaNumeric(const std::wstring& ch) noexcept;

// Keeps, in order, each UTF-16 code unit of `subject` that is alphanumeric or
// in `allowed`, and cuts the result to its first 220 code units.
std::wstring CleanFileName(const std::wstring& subject, const std::wstring& allowed);

// "yyyymmdd hhnnss".
std::wstring ArchiveTimeStamp(const SYSTEMTIME& localTime);

// What composing an archive path came to.
enum class ComposeResult {
    Composed,   // `path` holds a free name
    PathTooLong, // not even an empty subject fits in the folder
    NoFreeName  // every name tried was taken, or the search ran out of time
};

// The highest counter tried: far above what a burst of one subject within a
// second produces, far below what would hold up Outlook.
constexpr unsigned kMaxNameCounter = 10000;

// The longest a search for a free name may hold up Outlook's thread.
constexpr ULONGLONG kMaxNameSearchMilliseconds = 250;

// The path for a new archive file: folder (with a backslash added when it does
// not end in one), time stamp, " - ", the cleaned subject and ".msg". A name
// already taken gets " (2)", " (3)", ... before ".msg"; the subject is cut
// further when the whole would exceed the platform's path limit. `exists`
// tells whether a name is taken; `timeUp`, asked before each further
// candidate, ends the search early.
ComposeResult ComposeArchivePath(const std::wstring& folder, const SYSTEMTIME& localTime,
                                 const std::wstring& cleanedSubject,
                                 const std::function<bool(const std::wstring&)>& exists,
                                 const std::function<bool()>& timeUp, std::wstring& path);

// Whether a file or folder of that name exists.
bool PathExists(const std::wstring& path) noexcept;

// The outcome of claiming a name for a new archive file.
enum class NameClaim {
    Claimed,  // it was free and is now held by a new, empty file
    Taken,    // a file or folder of that name exists
    Unclaimed // it is free, but no file could be made there (the save will say why)
};

// Claims `path` by creating it empty in one step, so that no other writer can
// take the name between choosing it and saving into it, and the save then
// opens a file that exists. Never fails: what cannot be claimed is reported.
NameClaim ClaimArchiveName(const std::wstring& path) noexcept;

// Removes a claimed file that is still empty because the save never wrote it.
void ReleaseEmptyClaim(const std::wstring& path) noexcept;
