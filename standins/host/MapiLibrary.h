// The host's end of the private channel to qsMapiLib.dll. New mail goes only to
// a library that an add-in has loaded (it then has MAPIUtils objects to raise
// NewMail on). A fault request loads the library from its registered path if
// no one has yet, and keeps it loaded, so the request waits there for the call
// it is meant for.
#pragma once

#include "EventSource.h"
#include "MapiChannel.h"
#include "unique.h"

#include <oaidl.h>

#include <string>

namespace qs::standin {

class MapiLibrary {
public:
    // Raises NewMail with the host's mail item; no sink is called when the library is not loaded.
    HRESULT RaiseNewMail(IDispatch* hostMailItem, FireStats* stats) noexcept;
    HRESULT FailNext(const std::wstring& operation, std::wstring* problem);
    // Has the library call `callback(context)` from inside its next SaveAs.
    HRESULT CallInNextSaveAs(HostCallback callback, void* context, std::wstring* problem);
    // The library's live objects; 0 when it is not loaded.
    long LiveObjects() noexcept;

private:
    HRESULT Load(std::wstring* problem);

    unique_hmodule loadedByHost_;
};

} // namespace qs::standin
