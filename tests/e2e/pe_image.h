// What the PE headers of an executable file say: its machine, subsystem,
// security flags, size and the DLLs it imports. Used by the tests and the
// benchmark alike.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct PeSummary {
    bool valid = false;
    WORD machine = 0;
    WORD subsystem = 0;
    WORD dllCharacteristics = 0;
    size_t fileSize = 0;
    std::vector<std::string> imports;
    std::vector<std::string> importedFunctions;  // those imported by name
};

PeSummary ReadPeSummary(const std::string& path);
