#include "scenario.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "sim_host.h"

namespace zorv_host {

namespace {

std::string trim(const std::string& s)
{
    std::size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    std::size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

struct Arg {
    bool present = false;
    bool isNull = false;   // the bare word null
    bool quoted = false;
    std::string text;
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a C-style quoted string starting at s[pos] == '"'.
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out, std::string& error)
{
    ++pos;
    while (pos < s.size() && s[pos] != '"') {
        char c = s[pos++];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (pos >= s.size())
            break;
        char e = s[pos++];
        switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case 'x': {
            int hi = pos < s.size() ? hexValue(s[pos]) : -1;
            int lo = pos + 1 < s.size() ? hexValue(s[pos + 1]) : -1;
            if (hi < 0 || lo < 0) {
                error = "\\x needs two hex digits";
                return false;
            }
            out += static_cast<char>(hi * 16 + lo);
            pos += 2;
            break;
        }
        default:
            error = std::string("unknown escape \\") + e;
            return false;
        }
    }
    if (pos >= s.size()) {
        error = "unterminated quoted text";
        return false;
    }
    ++pos;
    return true;
}

// The next argument: a bare word, null, or a quoted string.
bool nextArg(const std::string& s, std::size_t& pos, Arg& arg, std::string& error)
{
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t'))
        ++pos;
    arg = Arg{};
    if (pos >= s.size())
        return true;
    arg.present = true;
    if (s[pos] == '"') {
        arg.quoted = true;
        return readQuoted(s, pos, arg.text, error);
    }
    std::size_t end = s.find_first_of(" \t", pos);
    if (end == std::string::npos)
        end = s.size();
    arg.text = s.substr(pos, end - pos);
    arg.isNull = arg.text == "null";
    pos = end;
    return true;
}

bool readInteger(const Arg& arg, long long& out)
{
    if (!arg.present || arg.text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    out = std::strtoll(arg.text.c_str(), &end, 0);
    return errno == 0 && *end == '\0';
}

struct ArgReader {
    const std::string& s;
    std::size_t pos;
    std::string& error;
    bool failed = false;

    Arg next()
    {
        Arg arg;
        if (!failed && !nextArg(s, pos, arg, error))
            failed = true;
        return arg;
    }
    bool atEnd()
    {
        Arg arg = next();
        if (failed)
            return false;
        if (arg.present) {
            error = "unexpected \"" + arg.text + "\" at the end of the line";
            failed = true;
            return false;
        }
        return true;
    }
};

bool parseHostLine(const std::string& rest, Step& step, std::string& error)
{
    if (trim(rest) == "reset") {
        step.action = Action::HostReset;
        return true;
    }
    std::size_t arrow = rest.rfind(" -> ");
    if (arrow == std::string::npos) {
        error = "host lines are: host PATTERN -> \"REPLY\" | null, or host reset";
        return false;
    }
    step.action = Action::HostRule;
    step.pattern = trim(rest.substr(0, arrow));
    if (step.pattern.empty()) {
        error = "host rule without a pattern";
        return false;
    }
    ArgReader args{rest, arrow + 4, error};
    Arg reply = args.next();
    if (args.failed)
        return false;
    if (!reply.isNull && !reply.quoted) {
        error = "a host reply is a quoted text or null";
        return false;
    }
    if (!reply.isNull)
        step.text = reply.text;
    return args.atEnd();
}

} // namespace

namespace {

// Edits (insert, delete, change a letter) that turn a into b.
std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

const std::vector<std::string> keywords = {"host", "create", "parent", "button", "timer", "event", "destroy"};

} // namespace

std::string nearestWord(const std::string& word, const std::vector<std::string>& candidates)
{
    std::string nearest;
    std::size_t best = 3;   // more than two edits is no longer a typo
    if (word.size() < 2)
        return nearest;
    for (const std::string& candidate : candidates) {
        const std::size_t distance = editDistance(word, candidate);
        if (distance < best) {
            best = distance;
            nearest = candidate;
        }
    }
    return nearest;
}

std::optional<std::string> unquoteText(const std::string& quoted)
{
    if (quoted.empty() || quoted[0] != '"')
        return std::nullopt;
    std::size_t pos = 0;
    std::string out, error;
    if (!readQuoted(quoted, pos, out, error) || pos != quoted.size())
        return std::nullopt;
    return out;
}

std::optional<std::vector<std::string>> unquoteTexts(const std::string& quoted)
{
    std::vector<std::string> texts;
    std::size_t pos = 0;
    while (pos < quoted.size() && quoted[pos] == '"') {
        std::string out, error;
        if (!readQuoted(quoted, pos, out, error))
            return std::nullopt;
        texts.push_back(out);
        if (pos == quoted.size())
            return texts;
        if (quoted[pos] != ' ')
            return std::nullopt;
        ++pos;
    }
    return std::nullopt;
}

std::string keywordHint(const std::string& word)
{
    const std::string keyword = nearestWord(word, keywords);
    if (!keyword.empty())
        return " (did you mean \"" + keyword + "\"?)";
    if (word[0] == '>' || word[0] == '<' || word[0] == '!')
        return std::string(" (an expected line needs a blank after '") + word[0] + "')";
    return " (event lines start with host, create, parent, button, timer, event or destroy)";
}

namespace {

// Each event line's arguments after its keyword; false, with error set
// where the reader left none, when they are wrong.
bool readCreate(ArgReader& args, Step& step)
{
    step.action = Action::Create;
    Arg path = args.next();
    Arg option = args.next();
    if (args.failed)
        return false;
    if (path.present && !path.isNull)
        step.text = path.text;
    else if (!path.present)
        step.text = std::string();
    if (option.present && option.text != "nohost") {
        args.error = "create takes a path and the option nohost";
        return false;
    }
    step.withHost = !option.present;
    return true;
}

bool readParent(ArgReader& args, Step& step)
{
    step.action = Action::Parent;
    Arg text = args.next();
    if (args.failed)
        return false;
    if (!text.present) {
        args.error = "parent needs a message text (or null)";
        return false;
    }
    if (!text.isNull)
        step.text = text.text;
    return true;
}

bool readButton(ArgReader& args, Step& step)
{
    step.action = Action::Button;
    Arg panel = args.next();
    Arg control = args.next();
    Arg eventText = args.next();
    if (args.failed)
        return false;
    if (!panel.present || !control.present) {
        args.error = "button needs a panel and a control";
        return false;
    }
    step.panel = panel.text;
    step.control = control.text;
    step.eventText = eventText.text;
    return true;
}

// "timer N" and "event CODE [DATA]".
bool readNumbered(ArgReader& args, Step& step, const std::string& keyword)
{
    step.action = keyword == "timer" ? Action::Timer : Action::Event;
    Arg number = args.next();
    Arg data = args.next();
    if (args.failed)
        return false;
    if (!readInteger(number, step.number) || step.number < INT32_MIN || step.number > INT32_MAX) {
        args.error = keyword + " needs a 32-bit integer";
        return false;
    }
    if (data.present && (step.action == Action::Timer || !(data.isNull || readInteger(data, step.data)))) {
        args.error = keyword == "timer" ? "timer takes one number" : "event data is an integer or null";
        return false;
    }
    return true;
}

} // namespace

std::optional<Step> parseStep(const std::string& rawLine, int lineNumber, std::string& error)
{
    Step step;
    step.line = lineNumber;
    step.source = trim(rawLine);
    std::size_t space = step.source.find(' ');
    std::string keyword = step.source.substr(0, space);
    std::string rest = space == std::string::npos ? "" : step.source.substr(space + 1);
    ArgReader args{rest, 0, error};
    if (keyword == "host")
        return parseHostLine(rest, step, error) ? std::optional<Step>(step) : std::nullopt;
    bool read = false;
    if (keyword == "create")
        read = readCreate(args, step);
    else if (keyword == "parent")
        read = readParent(args, step);
    else if (keyword == "button")
        read = readButton(args, step);
    else if (keyword == "timer" || keyword == "event")
        read = readNumbered(args, step, keyword);
    else if (keyword == "destroy")
        read = (step.action = Action::Destroy, true);
    else {
        error = keyword.empty() ? "empty line" : "unknown keyword \"" + keyword + "\"" + keywordHint(keyword);
        return std::nullopt;
    }
    if (!read || !args.atEnd())
        return std::nullopt;
    return step;
}

std::optional<Scenario> parseScenario(std::istream& in, const std::string& name, std::string& error)
{
    Scenario scenario;
    scenario.name = name;
    std::string raw;
    int lineNumber = 0;
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string line = trim(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '>' || line[0] == '<' || line[0] == '!') {
            if (line.size() > 1 && line[1] != ' ') {
                error = name + ":" + std::to_string(lineNumber) + ": \"" + line + "\": an expected line needs a blank after '"
                        + line[0] + "' (\"" + line[0] + " " + line.substr(1) + "\")";
                return std::nullopt;
            }
            if (scenario.steps.empty()) {
                error = name + ":" + std::to_string(lineNumber) + ": an expected line needs an event before it";
                return std::nullopt;
            }
            scenario.steps.back().expected.push_back(line);
            continue;
        }
        std::string why;
        std::optional<Step> step = parseStep(line, lineNumber, why);
        if (!step) {
            error = name + ":" + std::to_string(lineNumber) + ": " + why;
            return std::nullopt;
        }
        scenario.steps.push_back(*step);
    }
    return scenario;
}

std::string withExpectations(const std::string& text, const Scenario& scenario,
                             const std::vector<std::vector<std::string>>& seen)
{
    std::string out;
    std::size_t step = 0, pos = 0;
    int lineNumber = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string raw = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        ++lineNumber;
        std::string line = trim(raw);
        if (!line.empty() && (line[0] == '>' || line[0] == '<' || line[0] == '!'))
            continue;   // the old expectations go; the seen lines take their place
        out += raw + "\n";
        if (step < scenario.steps.size() && scenario.steps[step].line == lineNumber) {
            if (step < seen.size())
                for (const std::string& expected : seen[step])
                    out += expected + "\n";
            ++step;
        }
    }
    return out;
}

} // namespace zorv_host
