#pragma once
// <windows.h> for the Win32 backend. Include the program's own headers
// first: <windows.h> defines macros (WM_MOUSEMOVE, NIM_ADD, MOUSEEVENTF_*)
// that the interfaces also name as constants, and `near` and `far`, which
// are field names there.
#include <windows.h>
#undef near
#undef far
