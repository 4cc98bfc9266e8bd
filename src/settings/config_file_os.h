// The file steps of a safe save that the C library cannot do portably: new
// bytes into a temporary file beside the target, on the disk, then one
// replace. Each platform supplies its own.
#pragma once

#include <cstddef>

constexpr std::size_t TEMP_PATH_SIZE = 512;

// Writes the bytes to tempPath, flushes them to the disk and puts the file in
// place of targetPath. Returns 1 once the new file is there. On 0, targetPath
// is as it was and tempPath is removed, unless another save holds it open, or
// a replace that failed half way took the old file away and the new one
// could not take its place: then tempPath, the only copy, stays.
int WriteFileReplacing(const char* tempPath, const char* targetPath,
                       const char* bytes, std::size_t length);
