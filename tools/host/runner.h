// Plays scenarios against a component and prints the transcript: each event
// line, then what followed it — "> " command lines, "< " the reply to a parent
// message, "! " rule breaks the host noted. In check mode each event's lines
// are compared with the expected lines written under it in the scenario.
#ifndef ZORV_HOST_RUNNER_H
#define ZORV_HOST_RUNNER_H

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "component_abi.h"
#include "line_reader.h"
#include "scenario.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {

// A command line as a transcript shows it: "> " and the line, with control
// bytes, non-ASCII bytes, backslashes and trailing blanks escaped.
std::string showCommand(const std::string& line);

// Runs one step on session; returns the transcript lines it produced.
std::vector<std::string> runStep(const Step& step, Session& session, SimHost& host);

struct RunResult {
    int mismatches = 0;   // steps whose lines differ from the expected ones
    int notes = 0;        // rule breaks noted and not expected
    std::vector<std::vector<std::string>> seen;   // each step's lines, in step order
};

// Plays scenario on a fresh host; writes the transcript (or, in check mode,
// the differences: "-" expected, "+" seen, in red and green when colour) to
// out. panel, when given, is the instance table and router the host answers
// from (a panel file's); the scenario's host rules still come first.
RunResult runScenario(const Scenario& scenario, component_factory factory, bool check, std::ostream& out,
                      bool colour = false, const HostPanel* panel = nullptr);

// Reads event lines from next until its end or "quit", printing each step's
// lines; "help" prints the event syntax. echo repeats each event line (for
// piped input, so the transcript reads like a scenario).
int runInteractive(const LineSource& next, std::ostream& out, component_factory factory, const std::string& basePath,
                   bool echo, const HostPanel* panel = nullptr);

// The event syntax, as "help" prints it.
extern const char interactiveHelp[];

} // namespace zorv_host

#endif
