// The settings dialog's layout in twips, as designed.
#pragma once

#include "TwipLayout.h"

extern const TwipLayout kConfigSettingsLayout;
