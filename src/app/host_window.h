// The invisible owner of the clock window, which keeps the clock off the
// taskbar: a visible unowned window would get a taskbar button.
#pragma once

#include <windows.h>

INT_PTR CALLBACK HostWindow(HWND hwnd, UINT message, WPARAM wParam,
                            LPARAM lParam);

// Runs the owner, and inside it the clock, until the clock ends.
void RunClockProgram(HINSTANCE instance);
