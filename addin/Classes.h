// The creatable classes of the add-in, qs::server::kClasses: one table drives
// the class factory and the registration.
#pragma once

#include "ServerRegistration.h"
