#include "Classes.h"

#include "Addin.h"
#include "Settings.h"

const qs::CreatableClass kCreatableClasses[] = {
    {&CLSID_Addin, L"qsStow.Addin", L"Addin", &Addin_CreateInstance},
    {&CLSID_Settings, L"qsStow.Settings", L"Settings", &Settings_CreateInstance},
};
const size_t kCreatableClassCount = sizeof(kCreatableClasses) / sizeof(kCreatableClasses[0]);
