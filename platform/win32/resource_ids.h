#pragma once
// Shared by resources.rc and the code that loads them.
#define IDI_WINDOW 1
#define IDI_GREEN 2
#define IDI_RED 3
#define IDI_YELLOW 4
