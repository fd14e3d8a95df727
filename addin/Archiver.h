// The message archiver: the one algorithm behind both directions' events.
#pragma once

#include "ArchiveIndex.h"
#include "qsStow.h"

#include <windows.h>

#include <string>

// What differs between sent and received messages.
struct ArchiveDirection {
    const wchar_t* typeName;      // the only item type archived
    const wchar_t* detectionLine; // logged before the subject
    HRESULT (STDMETHODCALLTYPE _Settings::*enabled)(short*);
    HRESULT (STDMETHODCALLTYPE _Settings::*folder)(BSTR*);
    MessageDirection index; // its entries in the archive index
};

extern const ArchiveDirection kOutgoingMessages;
extern const ArchiveDirection kIncomingMessages;

// The message file formats of the wrapper's SaveAs.
constexpr short kFormatAnsiMsg = 3;    // olMSG
constexpr short kFormatUnicodeMsg = 9; // olMSGUnicode

// The line logged before the subject of a message archived by the catch-up.
extern const wchar_t* const kCatchUpDetectionLine;

// One message to archive.
struct ArchiveRequest {
    const ArchiveDirection& direction;
    IDispatch* item;
    _Settings* settings;
    short messageFormat;
    // Where an archived message is recorded; null: nowhere.
    ArchiveIndex* index = nullptr;
    // A message the index holds is left alone (the index must be loaded).
    bool skipArchived = false;
    // Set for the catch-up: the message's own local time names its file, only
    // mail items ("MailItem") are archived, the item is never saved, and the
    // catch-up's line is logged.
    const DATE* messageTime = nullptr;
};

enum class ArchiveOutcome {
    Skipped,         // not of the direction's type, or the direction is off
    Archived,        // saved, and recorded in the index
    AlreadyArchived, // the index holds it
    Failed           // logged (when logging is on)
};

// Saves the item as a message file into the direction's folder when it is of
// the direction's type and archiving is on. Never fails: every failure is
// logged (when logging is on) and cleared.
ArchiveOutcome ArchiveItem(const ArchiveRequest& request) noexcept;
