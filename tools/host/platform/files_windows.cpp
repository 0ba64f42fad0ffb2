#include "platform/files.h"

#include <io.h>
#include <windows.h>

namespace zorv_host::platform {

bool fileReadable(const std::string& path) { return _access(path.c_str(), 4) == 0; }

FileKind fileKind(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FileKind::missing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::folder : FileKind::file;
}

std::string fullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? std::string(full) : path;
}

} // namespace zorv_host::platform
