// The About box: name, version, credit and picture, centred on the screen.
#pragma once

#include <windows.h>

INT_PTR CALLBACK AboutBox(HWND hwnd, UINT message, WPARAM wParam,
                          LPARAM lParam);
