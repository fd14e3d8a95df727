// The settings dialog's layout in twips, as designed.
#pragma once

#include "TwipLayout.h"

extern const TwipLayout kConfigSettingsLayout;

// The places that controls take instead while a policy sets their setting:
// narrower, so as to leave room for the note beside them.
extern const TwipLayout kLockedControlsLayout;
