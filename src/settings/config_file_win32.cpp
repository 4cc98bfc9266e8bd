// The safe-save file steps on Windows: a unique temporary file in the target's
// directory, then one MoveFileEx that replaces the target and reaches the disk
// before it returns.
#include "config_file_os.h"

#include <windows.h>

#include <cstring>

namespace {
constexpr char TEMP_PREFIX[] = "Vel";
constexpr char CURRENT_DIRECTORY[] = ".";
}  // namespace

std::FILE* CreateTempFileBeside(const char* targetPath, char* tempPath,
                                std::size_t tempPathSize) {
    char directory[MAX_PATH];
    const char* slash = std::strrchr(targetPath, '\\');
    const char* forward = std::strrchr(targetPath, '/');
    if (forward != nullptr && (slash == nullptr || forward > slash)) {
        slash = forward;
    }
    if (slash == nullptr) {
        std::strcpy(directory, CURRENT_DIRECTORY);
    } else {
        std::size_t length = static_cast<std::size_t>(slash - targetPath);
        if (length + 1 > sizeof directory) {
            return nullptr;
        }
        std::memcpy(directory, targetPath, length);
        directory[length] = '\0';
    }
    if (tempPathSize < MAX_PATH ||
        GetTempFileNameA(directory, TEMP_PREFIX, 0, tempPath) == 0) {
        return nullptr;
    }
    // GetTempFileName has created the empty file; open it for our bytes.
    std::FILE* file = std::fopen(tempPath, "wb");
    if (file == nullptr) {
        DeleteFileA(tempPath);
    }
    return file;
}

int ReplaceFileWith(const char* tempPath, const char* targetPath) {
    // A read-only configuration is the user's wish to keep it. Windows refuses
    // to replace it, but Wine's MoveFileEx does not, so ask first.
    DWORD attributes = GetFileAttributesA(targetPath);
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        return 0;
    }
    return MoveFileExA(tempPath, targetPath,
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 1
               : 0;
}
