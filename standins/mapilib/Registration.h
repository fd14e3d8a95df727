// The library's creatable classes and what it registers of itself, for
// common/ServerExports.cpp: classes, ProgIDs, type library and interfaces,
// for all users (regsvr32) or for the current user only (DllInstall "user").
#pragma once

#include "ServerRegistration.h"
