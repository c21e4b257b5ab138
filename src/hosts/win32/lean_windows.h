// <windows.h> without the parts we do not use and without its min/max macros.
// Include it after our own headers: it defines HWND_TOPMOST, SWP_* and
// VK_ESCAPE as macros, which would rewrite our constants of the same names.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
