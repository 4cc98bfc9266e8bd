// The program's one ReplaceFile call, in a file of its own: a test links
// another definition in its place to make the replace fail half way, which a
// quiet local disk never does.
#pragma once

#include <windows.h>

// ReplaceFileA without a backup name.
BOOL ReplaceConfigFile(const char* replaced, const char* replacement,
                       DWORD flags);
