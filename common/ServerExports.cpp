// The standard exports of every in-process server here, built into each DLL
// (qsStow.dll, the stand-ins' qsMapiLib.dll, the tests' add-in) over what the
// module provides in qs::server.
#include "ServerRegistration.h"

#include <windows.h>

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return qs::GetClassObject(qs::server::kClasses, qs::server::kClassCount, clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    return qs::CanUnloadNow();
}

// regsvr32: for every user.
STDAPI DllRegisterServer() {
    return qs::server::RegisterIn(HKEY_LOCAL_MACHINE);
}

STDAPI DllUnregisterServer() {
    return qs::server::UnregisterIn(HKEY_LOCAL_MACHINE);
}

// regsvr32 /n /i:user [/u]: for the current user only, with no administrator rights.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    return qs::DllInstallIn(install, commandLine, &qs::server::RegisterIn,
                            &qs::server::UnregisterIn);
}
