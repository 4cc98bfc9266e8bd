// The two file steps of a safe save that the C library cannot do portably:
// creating a unique temporary file beside the target and replacing the target
// with it in one step. Each platform supplies its own.
#pragma once

#include <cstddef>
#include <cstdio>

constexpr std::size_t TEMP_PATH_SIZE = 512;

// Creates and opens (binary, for writing) a new file in the directory of
// targetPath; its name goes to tempPath. Returns null on failure.
std::FILE* CreateTempFileBeside(const char* targetPath, char* tempPath,
                                std::size_t tempPathSize);

// Replaces targetPath by tempPath. Returns 1 on success, 0 on failure.
int ReplaceFileWith(const char* tempPath, const char* targetPath);
