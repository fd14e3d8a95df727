#include "frmConfigSettingsLayout.h"

#include "resource.h"

namespace {

// A line is one pixel thick at 96 dots per inch (15 twips) and thickens with
// the resolution, so the band's etched edge keeps its proportions.
constexpr int kLineThickness = 15;

constexpr TwipRect kControls[] = {
    // control, then left, top, width and height in twips
    {IDC_shTop, 0, 0, 5295, 975},
    {IDC_Image2, 1920, 120, 3315, 660},
    {IDC_Label1, 120, 525, 2655, 255},
    {IDC_Line1, 0, 960, 5280, kLineThickness},
    {IDC_Line2, 0, 975, 5280, kLineThickness},
    {IDC_chkEnabledIn, 240, 1320, 4695, 255},
    {IDC_lblFolderIn, 600, 1800, 4215, 255},
    {IDC_txtFolderIn, 600, 2040, 4050, 285},
    {IDC_cmdFolderInBrowse, 4680, 2040, 375, 270},
    {IDC_chkEnabledOut, 240, 2760, 4095, 255},
    {IDC_lblFolderOut, 600, 3240, 3975, 255},
    {IDC_txtFolderOut, 600, 3480, 4050, 285},
    {IDC_cmdFolderOutBrowse, 4680, 3480, 375, 270},
    {IDC_chkLogging, 240, 4200, 1575, 255},
    {IDC_lblLoggingHint, 600, 4560, 4455, 495},
    {IDC_cmdOK, 2760, 5520, 1095, 375},
    {IDC_cmdCancel, 3960, 5520, 1095, 375},
    // "Set by your administrator", shown while a policy sets the setting:
    // beside a check box, level with its text (in two lines to the right of
    // the long ones), and under a folder field, in the room before the next
    // check box. None reaches under another control.
    {IDC_lblEnabledInPolicy, 3480, 1350, 1575, 390},
    {IDC_lblFolderInPolicy, 600, 2370, 4455, 255},
    {IDC_lblEnabledOutPolicy, 3480, 2790, 1575, 390},
    {IDC_lblFolderOutPolicy, 600, 3810, 4455, 255},
    {IDC_lblLoggingPolicy, 1920, 4230, 3135, 255},
};

// The long check boxes end before their note begins; their texts still fit.
constexpr TwipRect kLockedControls[] = {
    {IDC_chkEnabledIn, 240, 1320, 3225, 255},
    {IDC_chkEnabledOut, 240, 2760, 3225, 255},
};

} // namespace

const TwipLayout kConfigSettingsLayout{5280, 6105, kControls,
                                       sizeof(kControls) / sizeof(kControls[0])};
const TwipLayout kLockedControlsLayout{5280, 6105, kLockedControls,
                                       sizeof(kLockedControls) / sizeof(kLockedControls[0])};
