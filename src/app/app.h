// What the whole program shares: the instance handle its resources come from.
#pragma once

#include <windows.h>

extern HINSTANCE hAppInstance;
