#include "platform/console.h"

#include <unistd.h>

namespace zorv_host::platform {

bool isTerminal(int descriptor) { return isatty(descriptor) != 0; }

std::FILE* takeStandardOutput()
{
    int protocol = dup(1);
    dup2(2, 1);
    return protocol >= 0 ? fdopen(protocol, "w") : nullptr;
}

int descriptorOf(std::FILE* stream) { return stream ? fileno(stream) : -1; }

} // namespace zorv_host::platform
