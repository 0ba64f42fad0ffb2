#include "sim_host.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <regex>

#include "command_catalogue.h"
#include "event_context.h"
#include "platform/memory_read.h"
#include "platform/threads.h"

namespace zorv_host {

namespace {

bool isQuery(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    return verb && verb->query;
}

std::string verbOf(const std::string& line) { return line.substr(0, 2); }

// The pattern of one argument as the command channel forms it.
std::string argumentPattern(CommandArg arg)
{
    switch (arg) {
    case CommandArg::text: return "'[\\s\\S]*'";
    case CommandArg::assignment: return "'[\\s\\S]*=[\\s\\S]*'";
    case CommandArg::number: return "-?[0-9]+";
    case CommandArg::list: return "',[\\s\\S]*'";
    case CommandArg::flag: return "[01]";
    }
    return "";
}

// The shape of each verb's line, from the catalogue: the verb, then its
// arguments one blank apart, the optional ones at the end.
const std::map<std::string, std::regex>& shapes()
{
    static const std::map<std::string, std::regex> table = [] {
        std::map<std::string, std::regex> made;
        for (const CommandVerb& verb : commandVerbs()) {
            const std::size_t required = verb.args.size() - verb.optional;
            std::string pattern = verb.verb, tail;
            for (std::size_t i = 0; i < required; ++i)
                pattern += " " + argumentPattern(verb.args[i]);
            for (std::size_t i = verb.args.size(); i > required; --i)
                tail = "( " + argumentPattern(verb.args[i - 1]) + tail + ")?";
            made.emplace(verb.verb, std::regex(pattern + tail));
        }
        return made;
    }();
    return table;
}

// How many quotes a well-shaped line of each verb has: two a quoted field.
std::size_t quotesOfShape(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    return verb ? 2 * quotedFieldsOf(*verb, line) : 0;
}

// A verb whose count of quoted fields the line itself decides.
bool hasOptionalQuotedFields(const std::string& line)
{
    const CommandVerb* verb = findCommandVerb(line);
    if (!verb)
        return false;
    for (std::size_t i = verb->args.size() - verb->optional; i < verb->args.size(); ++i)
        if (verb->quoted(i))
            return true;
    return false;
}

// Reading a command text without trusting it: the bytes up to its NUL, read
// through the system so that unreadable memory gives an error, not a fault.
// Where that way is refused (a sandbox), the text is read as it is.
const std::size_t commandTextLimit = std::size_t(64) << 20;

enum class TextRead { ok, noTerminator, tooLong };

TextRead readCommandText(const char* text, std::string& out, std::size_t& readable)
{
    out.clear();
    readable = 0;
    static bool refused = false;
    if (refused) {
        out = text;
        return TextRead::ok;
    }
    const std::size_t page = platform::readPieceSize();
    char chunk[4096];
    const char* at = text;
    while (out.size() < commandTextLimit) {
        std::size_t toPageEnd = page - reinterpret_cast<std::uintptr_t>(at) % page;
        std::size_t want = std::min(toPageEnd, sizeof chunk);
        const long got = platform::readMemory(at, chunk, want);
        if (got < 0 && out.empty()) {
            refused = true;
            out = text;
            return TextRead::ok;
        }
        if (got <= 0)
            return TextRead::noTerminator;
        const char* end = static_cast<const char*>(std::memchr(chunk, '\0', static_cast<std::size_t>(got)));
        if (end) {
            out.append(chunk, static_cast<std::size_t>(end - chunk));
            readable = out.size() + 1;
            return TextRead::ok;
        }
        out.append(chunk, static_cast<std::size_t>(got));
        readable = out.size();
        at += got;
    }
    return TextRead::tooLong;
}

} // namespace

std::string quoteAmbiguity(const std::string& line)
{
    if (!commandShapeError(line).empty())
        return "";
    std::size_t quotes = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\''));
    if (quotes <= quotesOfShape(line) && !(hasOptionalQuotedFields(line) && quotes % 2))
        return "";
    return "line " + escapeText(line) + " holds a quote inside a text argument";
}

std::string commandShapeError(const std::string& line)
{
    auto shape = shapes().find(verbOf(line));
    if (shape == shapes().end())
        return "unknown verb in command \"" + escapeText(line) + "\"";
    if (!std::regex_match(line, shape->second))
        return "malformed " + shape->first + " command \"" + escapeText(line) + "\"";
    return "";
}

bool globMatch(const std::string& pattern, const std::string& text)
{
    // Iterative match with one backtrack point for the last '*'.
    std::size_t p = 0, t = 0, star = std::string::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string escapeText(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 0x20 || c >= 0x7f) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string quoteText(const std::string& text) { return "\"" + escapeText(text) + "\""; }

SimHost::SimHost() : hostThread_(platform::currentThreadId()) {}

void SimHost::componentCreated()
{
    detachCount_ = 0;
    model_.reset();
    hostThread_ = platform::currentThreadId();
}

SimHost::~SimHost()
{
    for (auto& entry : given_) {
        if (entry.second.block)
            guarded::retire(entry.second.block);
        else
            delete[] entry.first;
    }
    for (std::string* token : tokenStore_)
        delete token;
    for (guarded::Block* block : tokenBlocks_)
        guarded::retire(block);
}

const char* SimHost::callback(void* data, int code)
{
    if (platform::currentThreadId() != hostThread_)
        return refuseOffThread(data, code);
    if (code == zorv_code::command) {
        const char* text = static_cast<const char*>(data);
        if (!text) {
            note(RuleBreakKind::nullCommand, "component sent a null command");
            return nullptr;
        }
        // The text must end inside readable memory; the host reads it once,
        // keeps no pointer to it, and sees that it stayed the same through
        // the call.
        std::string line;
        std::size_t readable = 0;
        TextRead read = readCommandText(text, line, readable);
        if (read != TextRead::ok) {
            note(read == TextRead::tooLong ? RuleBreakKind::oversizedCommand : RuleBreakKind::unterminatedCommand,
                 read == TextRead::tooLong
                     ? "component sent a command text of more than 64 MiB without a NUL"
                     : "component sent a command text that is not NUL-terminated inside readable memory ("
                           + std::to_string(readable) + " readable bytes, the first \""
                           + escapeText(line.substr(0, 40)) + "\")");
            return nullptr;
        }
        const char* result = onCommand(line);
        // Readable a moment ago, so read directly now.
        if (std::memcmp(text, line.c_str(), line.size() + 1) != 0)
            note(RuleBreakKind::commandChanged,
                 "the command text \"" + escapeText(line.substr(0, 60)) + "\" changed during the host call");
        return result;
    }
    if (code == zorv_code::release) {
        onHandback(data);
        return nullptr;
    }
    note(RuleBreakKind::unknownHostCode, "component called its host with unknown code " + std::to_string(code));
    return nullptr;
}

const char* SimHost::refuseOffThread(void* data, int code)
{
    int empty = 0;
    if (!offThreadState_.compare_exchange_strong(empty, 1))
        return nullptr;   // the first, not yet noted, stands for this one
    std::string line;
    std::size_t readable = 0;
    if (code == zorv_code::command && data
        && readCommandText(static_cast<const char*>(data), line, readable) == TextRead::ok)
        offThreadCall_ = "the command \"" + escapeText(line.substr(0, 60)) + "\"";
    else
        offThreadCall_ = "a call with code " + std::to_string(code);
    offThreadState_.store(2, std::memory_order_release);
    return nullptr;
}

void SimHost::noteOffThreadCalls()
{
    if (offThreadState_.load(std::memory_order_acquire) != 2)
        return;
    note(RuleBreakKind::offThreadCall, offThreadCall_ + " came from a thread other than the host's, and was refused");
    offThreadState_.store(0, std::memory_order_release);
}

void SimHost::addRule(const std::string& pattern, const std::optional<std::string>& reply)
{
    rules_.push_back(ReplyRule{pattern, reply});
}

void SimHost::answerEveryQuery()
{
    for (const CommandVerb& verb : commandVerbs())
        if (verb.query)
            addRule(verb.verb + " *", verb.sampleReply);
}

std::optional<std::optional<std::string>> SimHost::ruledReply(const std::string& line) const
{
    for (auto rule = rules_.rbegin(); rule != rules_.rend(); ++rule)
        if (globMatch(rule->pattern, line))
            return rule->reply;
    return std::nullopt;
}

// The model carries a line out unless a rule makes the host refuse it: a
// null result of a command answered with a token ("PS") is a failure, so
// nothing it would have done was done.
HostAction SimHost::carryOut(const std::string& line, const std::optional<std::optional<std::string>>& ruled)
{
    const CommandVerb* verb = findCommandVerb(line);
    if (ruled && !*ruled && verb && verb->token)
        return HostAction{};
    return model_.carryOut(line);
}

// A non-null result of a command that is not a query: host-owned, must
// never come back.
const char* SimHost::keepToken(const std::string& line, const std::string& text)
{
    std::string copy(text);
    if (guarded::Block* block = guarded::lend(copy.size() + 1, "the result of \"" + escapeText(line) + "\"",
                                              "after its component was destroyed", guarded::fillWithString, &copy)) {
        tokenBlocks_.push_back(block);
        tokens_[guarded::data(block)] = line;
        return guarded::data(block);
    }
    std::string* stored = new std::string(text);
    tokenStore_.push_back(stored);
    tokens_[stored->c_str()] = line;
    return stored->c_str();
}

bool SimHost::answerElsewhere(const std::string&, std::optional<std::string>&) { return false; }

const char* SimHost::onCommand(const std::string& line)
{
    std::optional<std::string> answered;
    const bool elsewhere = answerElsewhere(line, answered);
    commands_.push_back(line);
    allCommands_.push_back(line);
    if (detachCount_ > 0)
        note(RuleBreakKind::commandAfterDetach, "command after AS: \"" + escapeText(line) + "\"");
    if (isDetach(line))
        ++detachCount_;
    if (checkShapes_) {
        std::string error = commandShapeError(line);
        if (!error.empty())
            note(findCommandVerb(line) ? RuleBreakKind::malformedCommand : RuleBreakKind::unknownVerb, error);
        std::string ambiguity = quoteAmbiguity(line);
        if (!ambiguity.empty() && warnings_.size() < 256)
            warnings_.push_back(Warning{ambiguity, currentEventText()});
    }
    const std::optional<std::optional<std::string>> ruled = ruledReply(line);
    const HostAction action = carryOut(line, ruled);
    std::optional<std::string> reply = elsewhere ? answered : ruled ? *ruled : action.answer;
    if (!reply)
        return nullptr;
    if (!isQuery(line))
        return keepToken(line, *reply);
    if (guarded::Block* block = guarded::lend(reply->size() + 1, "the reply to \"" + escapeText(line) + "\"",
                                              "after handing it back", guarded::fillWithString, &*reply)) {
        const char* copy = guarded::data(block);
        given_[copy] = Given{line, reply->size(), block};
        returned_.erase(copy);
        return copy;
    }
    char* copy = new char[reply->size() + 1];
    std::memcpy(copy, reply->c_str(), reply->size() + 1);
    given_[copy] = Given{line, reply->size(), nullptr};
    returned_.erase(copy);   // the address is live again
    return copy;
}

void SimHost::onHandback(void* data)
{
    const char* pointer = static_cast<const char*>(data);
    if (!pointer) {
        note(RuleBreakKind::nullHandback, "component handed back a null pointer");
        return;
    }
    auto given = given_.find(pointer);
    if (given != given_.end()) {
        if (given->second.block) {
            guarded::retire(given->second.block);
            returned_[pointer] = given->second.line;
            given_.erase(given);
            ++handbacks_;
            return;
        }
        // Overwrite before freeing: a component that reads after handing
        // back sees garbage (and a sanitizer sees a use after free).
        char* block = const_cast<char*>(given->first);
        std::memset(block, '#', given->second.size);
        block[given->second.size] = '\0';
        returned_[block] = given->second.line;
        delete[] block;
        given_.erase(given);
        ++handbacks_;
        return;
    }
    auto token = tokens_.find(pointer);
    if (token != tokens_.end()) {
        note(RuleBreakKind::tokenHandedBack, "component handed back the result of \"" + escapeText(token->second)
             + "\", which is never handed back");
        return;
    }
    auto returned = returned_.find(pointer);
    if (returned != returned_.end()) {
        note(RuleBreakKind::secondHandback,
             "component handed back the reply to \"" + escapeText(returned->second) + "\" a second time");
        return;
    }
    note(RuleBreakKind::foreignHandback, "component handed back a pointer the host never gave");
}

void SimHost::componentDestroyed()
{
    for (auto& entry : given_) {
        note(RuleBreakKind::replyNotHandedBack,
             "reply to \"" + escapeText(entry.second.line) + "\" was never handed back");
        if (entry.second.block)
            guarded::retire(entry.second.block);
        else
            delete[] entry.first;
    }
    given_.clear();
    tokens_.clear();
    for (guarded::Block* block : tokenBlocks_)
        guarded::retire(block);
    tokenBlocks_.clear();
    for (std::string* token : tokenStore_)
        delete token;
    tokenStore_.clear();
}

std::vector<std::string> SimHost::takeCommands()
{
    std::vector<std::string> out;
    out.swap(commands_);
    return out;
}

std::vector<SimHost::Warning> SimHost::takeWarnings()
{
    std::vector<Warning> out;
    out.swap(warnings_);
    return out;
}

void SimHost::note(RuleBreakKind kind, const std::string& detail)
{
    notes_.push_back(RuleBreak{kind, currentEventText(), detail});
}

std::vector<RuleBreak> SimHost::takeRuleBreaks()
{
    noteOffThreadCalls();
    std::vector<RuleBreak> out;
    out.swap(notes_);
    return out;
}

std::vector<std::string> SimHost::takeNotes()
{
    noteOffThreadCalls();
    std::vector<std::string> out;
    for (const RuleBreak& broken : notes_)
        out.push_back(broken.detail);
    notes_.clear();
    return out;
}

} // namespace zorv_host
