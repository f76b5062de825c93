// Host program window lookup.
#include "exports/export.h"
#include "hostlink/host_interface.h"

// The host's main window ("Kwill.ParentWindow", "Tarnwell"), or null when it is not running.
KWILL_EXPORT HWND GetHostWindow() {
    return kwill::host::FindHostWindow();
}
