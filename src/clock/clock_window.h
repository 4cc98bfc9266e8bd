// The clock window: a borderless dialog showing the local time.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ClockWindow(HWND hwnd, UINT message, WPARAM wParam,
                             LPARAM lParam);
