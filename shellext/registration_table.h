// What DllRegisterServer and DllUnregisterServer write and remove.
#pragma once

#include "frame/platform.h"
#include "shellext/registration.h"

#include <span>

namespace kwill::shellext {

// Every row the server registers, in the order they are applied.
std::span<const RegRow> RegistrationRows();

// Keys of earlier versions that registration removes.
std::span<const RegRow> CleanupRows();

// Applies the registration rows, removes the obsolete keys and the old control-panel file
// kwill.cpl from the system folder. S_OK, or SELFREG_E_CLASS when a row could not be written.
HRESULT RegisterServer();

// Removes what RegisterServer wrote. S_OK, or SELFREG_E_CLASS when a key tree may not be
// deleted.
HRESULT UnregisterServer();

}  // namespace kwill::shellext
