// Themed buttons (Common Controls 6) for the dialogs, and only for them.
// Asking for them in the program's own manifest would load the controls
// library for the clock's one label at every start, which under Wine costs
// more memory than all the rest of the program; so each dialog opens inside
// one of these scopes instead, from the second manifest resource.
#pragma once

#include <windows.h>

class VisualStylesScope {
public:
    VisualStylesScope();
    ~VisualStylesScope();
    VisualStylesScope(const VisualStylesScope&) = delete;
    VisualStylesScope& operator=(const VisualStylesScope&) = delete;

private:
    HANDLE context_;
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};
