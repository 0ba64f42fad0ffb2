// Scenario files: a plain-text script of events and host behaviour, with the
// transcript lines expected after each event.
//
//   # comment                      blank lines and comments are skipped
//   host PATTERN -> REPLY          answer command lines matching PATTERN
//                                  ('*' = any run) with REPLY: "text" or null
//   host reset                     drop all reply rules
//   create [PATH|null] [nohost]    call the factory (PATH "" when left out)
//   parent TEXT|null               code 3: a parent message
//   button PANEL CONTROL [TEXT]    code 2: a button event with its event text
//   timer N                        code 4: timer N expired
//   event CODE [DATA]              any code with an integer data word
//   destroy                        destroy the component
//   > LINE                         expected: a command line the component sent
//   < "TEXT"|null                  expected: the reply to a parent message
//   ! NOTE                         expected: a rule break the host noted
//
// TEXT, PATH, PANEL and CONTROL are single words or C-style quoted strings
// ("a b\n"); LINE and NOTE run to the end of the line.
#ifndef ZORV_HOST_SCENARIO_H
#define ZORV_HOST_SCENARIO_H

#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

enum class Action { HostRule, HostReset, Create, Parent, Button, Timer, Event, Destroy };

struct Step {
    Action action = Action::Destroy;
    int line = 0;                         // 1-based line in the scenario file
    std::string source;                   // the line as written, trimmed
    std::optional<std::string> text;      // parent text, create path, rule reply
    std::string pattern;                  // host rule pattern
    std::string panel, control, eventText;
    long long number = 0;                 // timer number, event code
    long long data = 0;                   // event data word
    bool withHost = true;
    std::vector<std::string> expected;    // "> ...", "< ...", "! ..." lines
};

struct Scenario {
    std::string name;
    std::vector<Step> steps;
};

// Parses one event or host line (not an expectation line). On failure
// returns nullopt and sets error.
std::optional<Step> parseStep(const std::string& line, int lineNumber, std::string& error);

// The inverse of quoteText: the text of one C-style quoted string that
// fills all of quoted; nullopt when quoted is anything else.
std::optional<std::string> unquoteText(const std::string& quoted);
// The texts of one or more C-style quoted strings, each after a single
// blank, that fill all of quoted; nullopt when quoted is anything else.
std::optional<std::vector<std::string>> unquoteTexts(const std::string& quoted);

// The candidate fewest edits away from word (the first of equals), when
// that is at most two and word has two letters or more; "" otherwise.
std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates);

// " (did you mean \"parent\"?)" and the like for a word that is no keyword.
std::string keywordHint(const std::string& word);

// Parses a whole file; error is "NAME:LINE: what is wrong" on failure.
std::optional<Scenario> parseScenario(std::istream& in, const std::string& name, std::string& error);

// The scenario text with each step's expected lines replaced by seen (one
// entry a step, in step order; the scenario parsed from text). Comments,
// blank lines and event lines stay as written.
std::string withExpectations(const std::string& text, const Scenario& scenario,
                             const std::vector<std::vector<std::string>>& seen);

} // namespace zorv_host

#endif
