// JUnit XML reports, the test-result format CI systems read natively: one
// test suite per run (or per round of a repeated run), one test case per
// check or scenario.
#ifndef ZORV_HOST_JUNIT_H
#define ZORV_HOST_JUNIT_H

#include <ostream>
#include <string>
#include <vector>

namespace zorv_host {

struct JunitCase {
    enum class Outcome { pass, fail, warn, skip };
    std::string name;
    std::string className;      // the group, e.g. the check's area or the scenario folder
    Outcome outcome = Outcome::pass;
    std::string message;        // one line: why it failed, warned or was skipped
    std::string output;         // the full text (a diff, a transcript), may be empty
    double seconds = 0;
    std::string type = "";      // a failure's kind, as its type attribute; empty: none
};

struct JunitSuite {
    std::string name;
    std::vector<JunitCase> cases;
};

// Writes the suites, in order, inside one <testsuites>; a warning is a passed
// case whose message goes to its system-out.
void writeJunit(std::ostream& out, const std::vector<JunitSuite>& suites);
bool writeJunitFile(const std::string& path, const std::vector<JunitSuite>& suites, std::string& error);

// Writes one <testsuite> holding cases; a warning is a passed case whose
// message goes to its system-out, so it is shown without failing the run.
void writeJunit(std::ostream& out, const std::string& suiteName, const std::vector<JunitCase>& cases);

// Writes the report to path; false (and why) if the file cannot be written.
bool writeJunitFile(const std::string& path, const std::string& suiteName, const std::vector<JunitCase>& cases,
                    std::string& error);

// Text made safe inside an XML attribute or element: markup escaped, bytes
// XML 1.0 cannot carry at all (controls other than tab and line ends)
// written as \xNN.
std::string xmlText(const std::string& text);
// The same for an attribute, whose tabs and line ends a reader would turn
// into blanks: they are written as character references.
std::string xmlAttribute(const std::string& text);

} // namespace zorv_host

#endif
