// Where interactive mode gets its lines: a terminal with line editing and
// history where the build has libedit, otherwise a plain stream.
#ifndef ZORV_HOST_LINE_READER_H
#define ZORV_HOST_LINE_READER_H

#include <functional>
#include <istream>
#include <string>

namespace zorv_host {

// Reads the next line into line; false at the end of the input.
using LineSource = std::function<bool(std::string& line)>;

// Lines from in, after writing prompt (if not empty) to out.
LineSource streamLines(std::istream& in, std::ostream& out, const std::string& prompt);

// Lines typed at the terminal with editing and history; falls back to
// streamLines(std::cin, std::cout, prompt) where line editing is not built in.
LineSource terminalLines(const std::string& prompt);

} // namespace zorv_host

#endif
