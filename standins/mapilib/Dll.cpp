// The in-process server's entry points.
#include "ClassFactory.h"
#include "ComObject.h"
#include "Registration.h"
#include "module.h"

#include <windows.h>

using namespace qs::standin;

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    return get_class_object(clsid, iid, object);
}

STDAPI DllCanUnloadNow() {
    if (live_object_count() != 0 || server_locked()) return S_FALSE;
    qs::module_release_type_library();
    return S_OK;
}

STDAPI DllRegisterServer() {
    return register_server(RegistrationScope::Machine);
}

STDAPI DllUnregisterServer() {
    return unregister_server(RegistrationScope::Machine);
}

// regsvr32 /i:user [/u] registers for the current user only; without "user",
// as DllRegisterServer does.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    const RegistrationScope scope = commandLine && ::lstrcmpiW(commandLine, L"user") == 0
                                        ? RegistrationScope::User
                                        : RegistrationScope::Machine;
    return install ? register_server(scope) : unregister_server(scope);
}
