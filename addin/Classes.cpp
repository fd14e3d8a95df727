#include "Classes.h"

#include "Addin.h"
#include "Settings.h"

#include <iterator>

const qs::CreatableClass qs::server::kClasses[] = {
    {&CLSID_Addin, L"qsStow.Addin", L"Addin", &Addin_CreateInstance},
    {&CLSID_Settings, L"qsStow.Settings", L"Settings", &Settings_CreateInstance},
};
const size_t qs::server::kClassCount = std::size(qs::server::kClasses);
