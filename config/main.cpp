// qsStowConfig: the configuration program of the Quillstow add-in. It shows
// the settings dialog and ends when the dialog closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "frmConfigSettings.h"
#include "unique.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The shell's folder picker needs COM on the dialog's thread.
    const qs::unique_com_apartment apartment =
        qs::EnterApartment(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    frmConfigSettings form;
    form.Show(instance);
    return 0;
}
