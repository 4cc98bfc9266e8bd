// The five commands that change the clock's look: font, text colour and
// background colour, by the standard dialogs or by the colour grabber.
#pragma once

#include <windows.h>

void SetClockFont(HWND hwnd);
// What Set Font does after the dialog's OK: the new font, and the window
// resized to fit the widest time text in it, top-left corner kept.
void ApplyClockFont(HWND hwnd);
void SetFontColor(HWND hwnd);
void SetBackgroundColor(HWND hwnd);
void GrabFontColor(HWND hwnd);
void GrabBackgroundColor(HWND hwnd);
