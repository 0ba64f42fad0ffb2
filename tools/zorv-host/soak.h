// zorv-host soak: a long run of ordinary events through one component, with
// the host's books and the process's memory printed at checkpoints.
#ifndef ZORV_HOST_SOAK_H
#define ZORV_HOST_SOAK_H

#include <string>
#include <vector>

namespace zorv_host {

// args are the words after "soak"; returns the exit status.
int runSoak(const std::vector<std::string>& args);

} // namespace zorv_host

#endif
