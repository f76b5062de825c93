// KwillIconHandler and KwillQueryInfo: the shell loads them for one file of the host's own kinds
// at a time (IPersistFile::Load), then asks for its icon or its info tip.
#pragma once

#include <unknwn.h>

namespace kwill::shellext {

// The class factory's create functions.
IUnknown* CreateIconHandler();
IUnknown* CreateQueryInfo();

}  // namespace kwill::shellext
