// The stand-ins' private channel from the host to qsMapiLib.dll: exports that
// the host looks up in its own process (GetModuleHandle, GetProcAddress). The
// real library learns of new mail from MAPI; the stand-in learns of it here.
#pragma once

#include <oaidl.h>

extern "C" {

// Raises NewMail on every live MAPIUtils object, with a MessageItem wrapping
// the host's mail item. Reports how many sinks were called and how long they took.
HRESULT WINAPI QsMapiRaiseNewMail(IDispatch* hostMailItem, ULONG* sinksCalled,
                                  double* microsecondsInSinks);

// Makes the next call of one operation fail with a described error:
// L"saveas", L"subject" or L"item" on a SafeMailItem, L"wrapper" for its creation.
HRESULT WINAPI QsMapiFailNext(const wchar_t* operation);

// The number of the library's objects alive now.
LONG WINAPI QsMapiLiveObjects();

// Calls `callback(context)` once, from inside the next SafeMailItem.SaveAs,
// before it writes: the host's own work that Outlook may do while a save
// pumps messages (a shutdown, say).
HRESULT WINAPI QsMapiCallInNextSaveAs(void(WINAPI* callback)(void*), void* context);

} // extern "C"

namespace qs::standin {

using RaiseNewMailFunction = HRESULT(WINAPI*)(IDispatch*, ULONG*, double*);
using FailNextFunction = HRESULT(WINAPI*)(const wchar_t*);
using LiveObjectsFunction = LONG(WINAPI*)();
using HostCallback = void(WINAPI*)(void*);
using CallInNextSaveAsFunction = HRESULT(WINAPI*)(HostCallback, void*);

} // namespace qs::standin
