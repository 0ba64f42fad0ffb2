#include "platform/files.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv_host::platform {

bool fileReadable(const std::string& path) { return access(path.c_str(), R_OK) == 0; }

FileKind fileKind(const std::string& path)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return FileKind::missing;
    return S_ISDIR(info.st_mode) ? FileKind::folder : FileKind::file;
}

std::string fullPath(const std::string& path)
{
    char full[PATH_MAX];
    return realpath(path.c_str(), full) ? std::string(full) : path;
}

} // namespace zorv_host::platform
