// The screen colour grabber: shows the colour under the pointer ten times a
// second and, on OK, writes it to the colour the opener chose.
#pragma once

#include <windows.h>

// Set by the opener before each opening: the settings colour OK overwrites.
extern COLORREF* pGrabTarget;

INT_PTR CALLBACK ColorGrabber(HWND hwnd, UINT message, WPARAM wParam,
                              LPARAM lParam);
