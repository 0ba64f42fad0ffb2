// zorv-host validate: named checks of the host contract against any
// component library. Each check runs in a child process of its own, with a
// time limit, so a component that crashes or hangs fails that check only.
#ifndef ZORV_HOST_VALIDATOR_H
#define ZORV_HOST_VALIDATOR_H

#include <string>
#include <vector>

namespace zorv_host {

// args are the words after "validate"; returns the exit status.
int runValidate(const std::vector<std::string>& args);

} // namespace zorv_host

#endif
