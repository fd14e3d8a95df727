// Registration of the library's classes, ProgIDs and type library: for all
// users (regsvr32) or for the current user only (DllInstall with "user").
#pragma once

#include <windows.h>

namespace qs::standin {

enum class RegistrationScope { Machine, User };

HRESULT register_server(RegistrationScope scope) noexcept;
// Removes what register_server wrote; what is already gone counts as removed.
HRESULT unregister_server(RegistrationScope scope) noexcept;

} // namespace qs::standin
