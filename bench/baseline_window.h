// The least a dialog clock can be: a label whose text a one-second timer
// sets. The benchmark measures Velmora against it.
#pragma once

#include <windows.h>

INT_PTR CALLBACK BaselineWindow(HWND hwnd, UINT message, WPARAM wParam,
                                LPARAM lParam);
