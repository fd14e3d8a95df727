// The add-in's in-memory copy of the five settings, loaded at connection with
// the values in force: policy, the user's settings key, defaults.
#pragma once

#include "qsStow.h"

#include <windows.h>

// Creates a Settings object and returns its interface `iid`.
HRESULT Settings_CreateInstance(REFIID iid, void** object) noexcept;
