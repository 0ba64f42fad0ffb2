// The bridge: one component in a process of its own, driven over a line
// protocol on its standard input and output, so that a host (the workbench)
// can run many components and survive any of them crashing or hanging.
//
// To the bridge, one line each (scenario syntax, docs/workbench.md):
//   create PATH|null [nohost]    parent TEXT|null    button PANEL CONTROL [TEXT]
//   timer N    event CODE [DATA]    destroy    quit
//   reply "TEXT" | reply null    only right after the bridge sent "query"
// From the bridge:
//   ready | fail "WHY"           once, after loading the library
//   cmd "LINE"                   a command line the component sent
//   query "LINE"                 a PS, TG, SD or XI line: the bridge waits for
//                                one reply line before the component goes on
//   note "TEXT"                  a rule break of the memory or command rules
//   done REPLY OUT               the event is over: REPLY is the parent
//                                message's reply ("TEXT" or null), OUT the
//                                host's query replies not yet handed back
//   error "WHY"                  the line was not understood (then done)
// Texts are C-style quoted, as in scenario files.
#ifndef ZORV_HOST_BRIDGE_H
#define ZORV_HOST_BRIDGE_H

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "component_abi.h"

namespace zorv_host {

// Serves the protocol for factory until "quit" or the end of in; returns
// the exit status (0, or 2 when the input ended in the middle of a query).
int serveBridge(component_factory factory, std::istream& in, std::ostream& out);

// The bridge runs in a child process of a program that exposes this entry
// under the name bridgeEntry (zorv-host does, as a subcommand); a host
// starts that program with bridgeArguments(library).
extern const char bridgeEntry[];
std::vector<std::string> bridgeArguments(const std::string& libraryPath);

// The entry: loads the library and serves on the standard streams; what the
// component itself prints goes to standard error.
int runBridge(const std::string& libraryPath);

// Whether a command verb needs the host's answer before the component goes on.
bool bridgeAsks(const std::string& line);

} // namespace zorv_host

#endif
