// The instance handle that every window and dialog loads its resources from;
// set once at start-up, before the first window opens.
#pragma once

#include <windows.h>

extern HINSTANCE hAppInstance;
