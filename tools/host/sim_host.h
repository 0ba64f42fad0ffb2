// A simulated panel host: the host side of the callback interface.
//
// It records every command line a component sends, answers queries by rules,
// and keeps the books of the memory rule: every query reply it gives is a
// fresh array that must come back exactly once with code 5 (on return it is
// overwritten, then freed, so a late read shows), and nothing else may come
// back. Rule breaks are collected as notes, never thrown or crashed on.
#ifndef ZORV_HOST_SIM_HOST_H
#define ZORV_HOST_SIM_HOST_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "component_abi.h"
#include "guarded_memory.h"
#include "host_model.h"
#include "rule_break.h"

namespace zorv_host {

// A reply rule: a command line pattern ('*' matches any run of characters)
// and the reply, or nullopt for a null reply.
struct ReplyRule {
    std::string pattern;
    std::optional<std::string> reply;
};

// Whether line has the shape the command channel gives its verb; returns ""
// when it does, else what is wrong.
std::string commandShapeError(const std::string& line);

// "" when each quoted field of a well-shaped line holds no quote, else the
// finding: a text argument that holds a quote makes the line ambiguous for
// the host, which escapes nothing.
std::string quoteAmbiguity(const std::string& line);

// True when text matches pattern, where '*' matches any run of characters.
bool globMatch(const std::string& pattern, const std::string& text);

class SimHost : public host_callback_base {
public:
    SimHost();
    SimHost(const SimHost&) = delete;
    SimHost& operator=(const SimHost&) = delete;
    virtual ~SimHost();

    // Called by the component: code 0 commands, code 5 handbacks. A call
    // from any thread but the host's is refused (null) and noted.
    const char* callback(void* data, int code) override;

    // The pointer a factory expects for this host.
    void* asCallback() { return static_cast<host_callback_base*>(this); }

    // Every command is carried out by the host model (model()), which
    // answers it; reply rules override those answers: the latest rule whose
    // pattern matches a line decides. A rule that answers "PS" with null
    // makes the host refuse it: the model shows no layout. Without a rule
    // and without a layout shown, "PS" succeeds and queries get null.
    void addRule(const std::string& pattern, const std::optional<std::string>& reply);
    void clearRules() { rules_.clear(); }
    // A rule for each query verb giving its catalogue sample reply, so that a
    // component exercises its reading and handback paths.
    void answerEveryQuery();

    // When on, each command line is checked for its shape (a note per bad line).
    void setCheckShapes(bool on) { checkShapes_ = on; }

    // Commands and rule breaks since the last take; takeNotes gives the rule
    // breaks as the sentences a transcript shows.
    std::vector<std::string> takeCommands();
    std::vector<RuleBreak> takeRuleBreaks();
    std::vector<std::string> takeNotes();
    // Findings that break no rule but make a line ambiguous (a quote inside
    // a text argument), each with the event it was sent during; the oldest
    // 256 are kept when nobody takes them.
    struct Warning {
        std::string text;
        std::string event;
    };
    std::vector<Warning> takeWarnings();
    const std::vector<std::string>& allCommands() const { return allCommands_; }
    void clearLog() { allCommands_.clear(); }

    // Query replies given and not yet handed back.
    std::size_t outstandingReplies() const { return given_.size(); }
    std::size_t handbacks() const { return handbacks_; }
    bool detached() const { return detachCount_ > 0; }

    // Book-keeping at the end of a component's life: every reply still out
    // becomes a note (and is freed here); results that never come back are
    // dropped.
    void componentDestroyed();
    // A new component starts with a clean detach state and a fresh model;
    // the panel it shares (instances, router) stays.
    // The thread that creates it is the host's thread from then on.
    void componentCreated();

    // What the host keeps: layouts, properties, timers; and the panel shared
    // with other components, whose instances and router a caller may set.
    HostModel& model() { return model_; }
    const HostModel& model() const { return model_; }
    HostPanel& panel() { return panel_; }

    // Records a rule break during the event being delivered.
    void note(RuleBreakKind kind, const std::string& detail);

    // Drops the record of replies already handed back (kept to name a second
    // handback). Guarded replies get fresh addresses, so over a long run the
    // record is the host's own memory growing; a caller measuring the
    // component's memory clears it between components.
    void forgetReturnedReplies() { returned_.clear(); }

protected:
    // A host that takes its answers from elsewhere (the bridge: from the far
    // side) hooks in here. Called with each command line once the host has
    // read it safely, before it carries the line out; true, with reply set
    // (nullopt: a null reply), where that answer stands instead of the
    // rules' and the model's.
    virtual bool answerElsewhere(const std::string& line, std::optional<std::string>& reply);

private:
    const char* onCommand(const std::string& line);
    const char* refuseOffThread(void* data, int code);
    void noteOffThreadCalls();
    void onHandback(void* data);
    // The reply of the latest rule matching line; nullopt when none matches.
    std::optional<std::optional<std::string>> ruledReply(const std::string& line) const;
    HostAction carryOut(const std::string& line, const std::optional<std::optional<std::string>>& ruled);
    const char* keepToken(const std::string& line, const std::string& text);

    struct Given {
        std::string line;
        std::size_t size;
        guarded::Block* block;   // null when the reply is on the heap
    };
    HostPanel panel_;
    HostModel model_{panel_};
    std::vector<ReplyRule> rules_;
    std::map<const char*, Given> given_;                 // query replies out
    std::map<const char*, std::string> returned_;        // replies already back, by line
    std::map<const char*, std::string> tokens_;          // results never to come back
    std::vector<guarded::Block*> tokenBlocks_;           // guarded ones among them
    std::vector<std::string*> tokenStore_;
    std::vector<std::string> commands_;
    std::vector<std::string> allCommands_;
    std::vector<RuleBreak> notes_;
    std::vector<Warning> warnings_;
    std::size_t handbacks_ = 0;
    int detachCount_ = 0;
    bool checkShapes_ = true;
    // The host's thread, and the first call from another, handed over to
    // it: the books are the host thread's alone, so the other thread only
    // fills this slot (state 0 empty, 1 being filled, 2 ready).
    std::uint64_t hostThread_;
    std::atomic<int> offThreadState_{0};
    std::string offThreadCall_;
};

// Printable form of a text for transcripts: bytes outside printable ASCII,
// backslash and the double quote escaped C-style.
std::string escapeText(const std::string& text);

// C-style quoting for transcripts: "text" with escapes.
std::string quoteText(const std::string& text);

} // namespace zorv_host

#endif
