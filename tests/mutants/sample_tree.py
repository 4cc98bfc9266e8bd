# The sample tree the runner's tests share: one source with every kind of
# place an operator must take or leave alone, and the runner's package.
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))

from mutation import bookkeeping, cli, judging, operators  # noqa: E402,F401

SOURCE = """\
// Sample: x < y && f(a, b) in a comment must stay.
#include <vector>
#define LIMIT(a, b) ((a) < (b))

namespace {
constexpr int LIMIT_MS = 100;
constexpr unsigned MASK = FLAG_A | FLAG_B;
}  // namespace

int Scale(int width, int height) {
    std::vector<int> sizes;
    int total = static_cast<int>(sizes.size()) + p->count;
    Log("a < b && c == d", 'x');
    Move(left, top);
    stream << width >> 2;
    if (width < height && total != 0) {
        Draw(rc.left, rc.top,
             width);
    }
    while (total >= LIMIT_MS) {
        total -= 0x1F;
    }
    return FALSE;
}

bool Other() {
    int top = Count();  // top < 2 && Log(a, b);
    char name[16] = {};
#if LEVEL > 1 && defined(EXTRA)
    return FALSE;
#endif
}
"""


def mutants_of(source=SOURCE, path="src/sample.cpp"):
    return operators.find_mutants(path, source)


def on_line(found, line, operator):
    return [(m.before, m.after) for m in found if m.line == line and m.operator == operator]


# The kinds of fault beyond the first eight, each where it fits and where
# it must not fire.
MORE_SOURCE = """\
namespace {
constexpr UINT CLOCK_STYLE = WS_CHILD | WS_VISIBLE;
constexpr char NAME[] = "ab";
}  // namespace

int Tick(HWND hwnd, int* out) {
    SetWindowPos(hwnd, nullptr, 0, 0,
                 SWP_NOMOVE | SWP_NOZORDER);
    int total = width - margin * 2;
    *out = total;
    total += Sleep(waitMs);
    char c = '+';
    int* p = nullptr;
    if (flags || other) {}
    flags |= FLAG_A;
    return total > 0 && Ready(hwnd);
}

LONG Width(const RECT& r) { return r.right - r.left; }
"""
CONSTANTS = frozenset({"SWP_NOMOVE", "SWP_NOZORDER", "SWP_NOSIZE", "WS_CHILD", "WS_VISIBLE", "FLAG_A",
                       "CLOCK_STYLE", "CLOCK_PERIOD"})

RESOURCE_SCRIPT = """\
#include "resource.h"
IDI_APP ICON "app.ico"
IDD_X DIALOGEX 0, 0, 80, 20
STYLE WS_POPUP | WS_CAPTION
CAPTION "Hi"  // a comment: 0 | 1
BEGIN
    CONTROL "OK", IDOK, "Button", WS_CHILD, 4, 4, 50, 14
END
"""

MANIFEST = """\
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:x" manifestVersion="1.0">
  <!-- level="left alone" -->
  <identity version="3.0.0.1" name="A"/>
  <flag>true</flag>
</assembly>
"""
