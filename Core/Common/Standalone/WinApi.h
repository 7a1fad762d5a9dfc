// Windows side: the one place where <windows.h> is included, always configured the same way.
#pragma once

#ifndef _WIN32
#error "WinApi.h is for the Windows build only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
// Windows 7 is the oldest system the tools support; mingw-w64's default is older.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601

#include <windows.h>
