// Files as the system answers for them (files_posix.cpp, files_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_FILES_H
#define ZORV_HOST_PLATFORM_FILES_H

#include <string>

namespace zorv_host::platform {

// Whether path names a file this process may read.
bool fileReadable(const std::string& path);

enum class FileKind { missing, folder, file };

// What path names: nothing (or nothing this process may look at), a folder,
// or a file.
FileKind fileKind(const std::string& path);

// path made absolute against the current folder, as the system's loader
// would take it; path itself when that cannot be done.
std::string fullPath(const std::string& path);

} // namespace zorv_host::platform

#endif
