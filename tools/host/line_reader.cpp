#include "line_reader.h"

#include <cstdlib>
#include <iostream>

#if defined(ZORV_HOST_LIBEDIT)
#include <editline/readline.h>
#endif

namespace zorv_host {

LineSource streamLines(std::istream& in, std::ostream& out, const std::string& prompt)
{
    return [&in, &out, prompt](std::string& line) {
        if (!prompt.empty())
            out << prompt << std::flush;
        return static_cast<bool>(std::getline(in, line));
    };
}

LineSource terminalLines(const std::string& prompt)
{
#if defined(ZORV_HOST_LIBEDIT)
    return [prompt](std::string& line) {
        char* typed = readline(prompt.c_str());
        if (typed == nullptr)
            return false;
        line = typed;
        if (!line.empty())
            add_history(typed);
        std::free(typed);
        return true;
    };
#else
    return streamLines(std::cin, std::cout, prompt);
#endif
}

} // namespace zorv_host
