// The five commands that change the clock's look: font, text colour and
// background colour, by the standard dialogs or by the colour grabber.
#pragma once

#include <windows.h>

void SetClockFont(HWND hwnd);
void SetFontColor(HWND hwnd);
void SetBackgroundColor(HWND hwnd);
void GrabFontColor(HWND hwnd);
void GrabBackgroundColor(HWND hwnd);
