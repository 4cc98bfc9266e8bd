// The safe-save file steps on POSIX systems, where the native tests run.
#include "config_file_os.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

std::FILE* CreateTempFileBeside(const char* targetPath, char* tempPath,
                                std::size_t tempPathSize) {
    int length = std::snprintf(tempPath, tempPathSize, "%s.XXXXXX", targetPath);
    if (length <= 0 || static_cast<std::size_t>(length) >= tempPathSize) {
        return nullptr;
    }
    int fd = mkstemp(tempPath);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
        std::remove(tempPath);
    }
    return file;
}

int ReplaceFileWith(const char* tempPath, const char* targetPath) {
    return std::rename(tempPath, targetPath) == 0 ? 1 : 0;
}
