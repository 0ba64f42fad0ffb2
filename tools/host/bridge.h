// The bridge: one component in a process of its own, driven over a line
// protocol on its standard input and output, so that a host (the workbench)
// can run many components and survive any of them crashing or hanging.
//
// To the bridge, one line each (scenario syntax, docs/workbench.md):
//   create PATH|null [nohost]    parent TEXT|null    button PANEL CONTROL [TEXT]
//   timer N    event CODE [DATA]    destroy    quit
//   reply "TEXT" | reply null    only right after the bridge sent "query"
// From the bridge:
//   ready                        once, after loading the library; or instead
//   fail load "WHY"              the library did not load (WHY says so, naming it)
//   fail factory "WHY"           it loaded but exports no factory
//   cmd "LINE"                   a command line the component sent
//   query "LINE"                 a PS, TG, SD or XI line: the bridge waits for
//                                one reply line before the component goes on
//   note KIND "EVENT" "TEXT"     a rule break of the memory or command rules:
//                                KIND its stable name (rule_break.h,
//                                "unknown_verb"), EVENT the event being
//                                delivered when it broke, TEXT the sentence
//                                a transcript shows for it
//   nocomponent "TEXT"           after a create: the factory made no
//                                component; TEXT is the transcript's line
//   done REPLY OUT               the event is over: REPLY is the parent
//                                message's reply ("TEXT" or null), OUT the
//                                host's query replies not yet handed back
//   error "WHY"                  the line was not understood (then done)
//   crashed signal N | crashed exception 0xCODE | crashed memory KIND
//                                the component crashed (session.h): the last
//                                line; the bridge ends with status 70
// Texts are C-style quoted, as in scenario files. KIND and the words after
// "fail" and "crashed" are what the other side decides on; the texts are
// for people.
#ifndef ZORV_HOST_BRIDGE_H
#define ZORV_HOST_BRIDGE_H

#include <cstddef>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "component_abi.h"
#include "library_loader.h"
#include "rule_break.h"

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

// A record's first word and the rest after its blank: "done" and "null 0".
void splitRecordWord(const std::string& line, std::string& word, std::string& rest);

// Each record of the protocol as its writer writes it (without the line
// end) and as the other side reads it back; a read gives nullopt for any
// line that is not such a record.
std::string bridgeCommandLine(const std::string& command);     // cmd "LINE"
std::optional<std::string> readBridgeCommand(const std::string& line);
std::string bridgeQueryLine(const std::string& command);       // query "LINE"
std::optional<std::string> readBridgeQuery(const std::string& line);
std::string bridgeNoComponentLine(const std::string& text);    // nocomponent "TEXT"
std::optional<std::string> readBridgeNoComponent(const std::string& line);
std::string bridgeErrorLine(const std::string& why);           // error "WHY"
std::optional<std::string> readBridgeError(const std::string& line);

struct BridgeDone {
    std::optional<std::string> reply;   // the parent message's reply; nullopt: null
    std::size_t outstanding = 0;        // query replies not yet handed back
};
std::string bridgeDoneLine(const BridgeDone& done);            // done REPLY OUT
std::optional<BridgeDone> readBridgeDone(const std::string& line);

// The far side's answer to a query: reply "TEXT" or reply null.
struct BridgeReply {
    std::optional<std::string> answer;   // nullopt: null
};
std::string bridgeReplyLine(const BridgeReply& reply);
// nullopt for a line that is no answer, with why in error: empty for a line
// that is not a reply at all, else what is wrong with its argument.
std::optional<BridgeReply> readBridgeReply(const std::string& line, std::string& error);

std::string bridgeNoteLine(const RuleBreak& broken);
std::optional<RuleBreak> readBridgeNote(const std::string& line);

struct BridgeLoadFailure {
    ComponentLibrary::Failure failure = ComponentLibrary::Failure::library;   // library or factory
    std::string why;
};
std::string bridgeFailLine(const BridgeLoadFailure& failed);
std::optional<BridgeLoadFailure> readBridgeFail(const std::string& line);

} // namespace zorv_host

#endif
