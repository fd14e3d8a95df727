// The message archiver: the one algorithm behind both directions' events.
#pragma once

#include "qsStow.h"

#include <windows.h>

#include <string>

// What differs between sent and received messages.
struct ArchiveDirection {
    const wchar_t* typeName;      // the only item type archived
    const wchar_t* detectionLine; // logged before the subject
    HRESULT (STDMETHODCALLTYPE _Settings::*enabled)(short*);
    HRESULT (STDMETHODCALLTYPE _Settings::*folder)(BSTR*);
};

extern const ArchiveDirection kOutgoingMessages;
extern const ArchiveDirection kIncomingMessages;

// The message file formats of the wrapper's SaveAs.
constexpr short kFormatAnsiMsg = 3;    // olMSG
constexpr short kFormatUnicodeMsg = 9; // olMSGUnicode

// Saves `item` as a message file into the direction's folder when it is of
// the direction's type and archiving is on. Never fails: every failure is
// logged (when logging is on) and cleared.
void ArchiveItem(const ArchiveDirection& direction, IDispatch* item, _Settings* settings,
                 short messageFormat) noexcept;
