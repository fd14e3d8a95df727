// The creatable classes of the add-in: one table drives the class factory and
// the registration.
#pragma once

#include "ClassFactory.h"

extern const qs::CreatableClass kCreatableClasses[];
extern const size_t kCreatableClassCount;
