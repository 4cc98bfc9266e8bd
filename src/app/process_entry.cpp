// The process entry of the GCC builds, in place of the run-time's start-up
// code. The program takes no arguments, has no thread-local data, throws
// nothing, and no global of it needs code to initialise it (the link checks
// the globals and the thread-local data from its map), so what is left of
// that start-up is to call WinMain and end the process with its result.
// msvcrt.dll initialises itself when it is loaded; the MSVC build keeps its
// own start-up.
#include <windows.h>

#include <cstdlib>

// Placed by the linker at the start of the image, which is the module handle
// of an executable: no GetModuleHandleA import is needed.
extern "C" IMAGE_DOS_HEADER __ImageBase;

// The link names this as the entry (-e); without that the linker has no
// entry, and --gc-sections silently drops every function. It never returns,
// so it does not matter that newer Windows pass it the PEB's address, which
// a function without parameters leaves on the 32-bit stack.
extern "C" void WinMainCRTStartup() {
    // WinMain ignores the previous instance, the command line and the show
    // command. The standard exit flushes and closes any stream left open,
    // as the run-time's start-up would, before it ends the process.
    std::exit(WinMain(reinterpret_cast<HINSTANCE>(&__ImageBase), nullptr,
                      nullptr, SW_SHOWDEFAULT));
}
