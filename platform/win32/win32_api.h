// <windows.h> for the backend, without the macros that would rename the
// tool's own operations (DeleteFile, CreateFile). Backend files call
// the explicit ...A functions.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef DeleteFile
#undef CreateFile
