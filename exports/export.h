// Marks a function that kwilllib.def exports. The .def decides the exported name and ordinal;
// this only gives the function C linkage so that the .def can find it.
#pragma once

#include "frame/platform.h"

#define KWILL_EXPORT extern "C"
