#include "paths.h"

#include "platform/process.h"

namespace zorv_host {

std::string fileNameOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string thisProgramFolder()
{
    const std::string path = platform::executablePath();
    return path.empty() ? std::string() : folderOf(path);
}

} // namespace zorv_host
