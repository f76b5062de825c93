// Windows headers with the settings the whole library shares.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
