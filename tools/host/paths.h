// The parts of a path, for paths of either system: both separators count.
#ifndef ZORV_HOST_PATHS_H
#define ZORV_HOST_PATHS_H

#include <string>

namespace zorv_host {

// The folder part of a path ("." when there is none, "/" for the root).
std::string folderOf(const std::string& path);
// The file-name part of a path (all of it when there is no separator).
std::string fileNameOf(const std::string& path);

// The folder that holds this program's executable, without a trailing
// separator; empty if the system does not say.
std::string thisProgramFolder();

} // namespace zorv_host

#endif
