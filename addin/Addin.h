// The class Outlook creates by "qsStow.Addin" and drives through IDTExtensibility2.
#pragma once

#include "qsStow.h"

#include <windows.h>

HRESULT Addin_CreateInstance(REFIID iid, void** object) noexcept;
