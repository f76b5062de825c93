// Files as the shell hands them to other programs: a data object over their ID lists, the kind a
// folder window puts on the clipboard or gives to a drop target. Shared by "kwill clip put" and
// "kwill drop".
#pragma once

#include "frame/platform.h"

#include <objidl.h>

#include <string>
#include <vector>

namespace kwill::tools {

// A shell data object (CIDLData_CreateFromIDArray) over the files, named as on the command line
// (UTF-8, relative to the current folder). Files of one folder go in as the folder and its
// items, files of several folders as lists relative to the desktop. Null when a file cannot be
// parsed (its name is then in *missing) or the object cannot be made; the caller releases it.
IDataObject* ShellFilesDataObject(const std::vector<std::string>& files, std::string* missing);

}  // namespace kwill::tools
