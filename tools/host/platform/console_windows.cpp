#include "platform/console.h"

#include <fcntl.h>
#include <io.h>

namespace zorv_host::platform {

bool isTerminal(int descriptor) { return _isatty(descriptor) != 0; }

std::FILE* takeStandardOutput()
{
    _setmode(_fileno(stdout), _O_BINARY);
    int protocol = _dup(_fileno(stdout));
    _dup2(_fileno(stderr), _fileno(stdout));
    return _fdopen(protocol, "wb");
}

int descriptorOf(std::FILE* stream) { return stream ? _fileno(stream) : -1; }

} // namespace zorv_host::platform
