// The real replace, linked into the program; see the header for why it
// stands alone.
#include "replace_file_win32.h"

BOOL ReplaceConfigFile(const char* replaced, const char* replacement,
                       DWORD flags) {
    return ReplaceFileA(replaced, replacement, nullptr, flags, nullptr,
                        nullptr);
}
