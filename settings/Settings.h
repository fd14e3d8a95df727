// The add-in's in-memory copy of the five settings, loaded from the settings
// key at connection.
#pragma once

#include "qsStow.h"

#include <windows.h>

// Creates a Settings object and returns its interface `iid`.
HRESULT Settings_CreateInstance(REFIID iid, void** object) noexcept;
