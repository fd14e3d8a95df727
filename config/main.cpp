// qsStowConfig: the configuration program of the Quillstow add-in. It shows
// the settings dialog and ends when the dialog closes.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "frmConfigSettings.h"

namespace {

// The shell's folder picker needs COM on the dialog's thread.
class ComApartment {
public:
    ComApartment() noexcept
        : initialised_(SUCCEEDED(
              ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialised_) ::CoUninitialize();
    }

private:
    bool initialised_;
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const ComApartment apartment;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    frmConfigSettings form;
    form.Show(instance);
    return 0;
}
