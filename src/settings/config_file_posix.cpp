// The safe-save file steps on POSIX systems, where the native tests run.
#include "config_file_os.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
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
    // A read-only configuration stays as it is, as it does on Windows; the
    // mode bits count, since root could write it anyway.
    struct stat status;
    if (stat(targetPath, &status) == 0 && (status.st_mode & S_IWUSR) == 0) {
        return 0;
    }
    return std::rename(tempPath, targetPath) == 0 ? 1 : 0;
}
