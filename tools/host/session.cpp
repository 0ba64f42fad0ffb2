#include "session.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "child_process.h"
#include "event_context.h"
#include "guarded_memory.h"
#include "platform/crash.h"
#include "zorv_message.h"

namespace zorv_host {

namespace {

bool faultKindsReported = false;

// What describing a crash here needs, made before any crash: a fault
// handler takes no heap. The arguments are crashSiteEntry's.
struct CrashDescription {
    bool wanted = false;
    char library[4096];
    char offsets[platform::CrashStack::capacity][2 * sizeof(std::uintptr_t) + 3];
    const char* argv[3 + 2 * platform::CrashStack::capacity + 1];
};
CrashDescription crashDescription;

double secondsNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// The crash report runs in a fault handler, where stdio and the heap may be
// broken: its pieces go out with the system call alone.
void writeRaw(const char* text) { platform::writeRawError(text); }

// "crashed KIND DETAIL" on the record stream, if there is one.
void writeCrashRecord(const char* kind, const char* detail)
{
    if (!platform::hasRawRecordStream())
        return;
    platform::writeRawRecord("crashed ");
    platform::writeRawRecord(kind);
    platform::writeRawRecord(" ");
    platform::writeRawRecord(detail);
    platform::writeRawRecord("\n");
}

// value as "0x..." in out, which holds 2 + 2 * sizeof value + 1 characters.
void writeHex(std::uintptr_t value, char* out)
{
    char digits[2 * sizeof value];
    std::size_t count = 0;
    do {
        digits[count++] = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value != 0);
    *out++ = '0';
    *out++ = 'x';
    while (count > 0)
        *out++ = digits[--count];
    *out = '\0';
}

const char* moduleOf(const platform::CrashFrame& frame) { return *frame.module ? frame.module : "?"; }

// This program run again puts the stack into words.
void describeFrames(const platform::CrashStack& stack)
{
    CrashDescription& d = crashDescription;
    std::size_t n = 0;
    d.argv[n++] = "zorv-host";
    d.argv[n++] = crashSiteEntry;
    d.argv[n++] = d.library;
    for (std::size_t i = 0; i < stack.count; ++i) {
        writeHex(stack.frames[i].offset, d.offsets[i]);
        d.argv[n++] = moduleOf(stack.frames[i]);
        d.argv[n++] = d.offsets[i];
    }
    d.argv[n] = nullptr;
    platform::runThisProgram(d.argv);
}

// "! frame MODULE 0xOFFSET" for each frame of the faulting thread's stack,
// innermost first, for the parent to find the place in the source; or
// the stack in words, where no parent reads the report.
void writeCrashFrames(const platform::CrashStack& stack)
{
    if (crashDescription.wanted)
        return describeFrames(stack);
    for (std::size_t i = 0; i < stack.count; ++i) {
        char offset[2 * sizeof(std::uintptr_t) + 3];
        writeHex(stack.frames[i].offset, offset);
        writeRaw("! frame ");
        writeRaw(moduleOf(stack.frames[i]));
        writeRaw(" ");
        writeRaw(offset);
        writeRaw("\n");
    }
}

void writeCrashReport(const char* what, const char* recordKind, const char* recordDetail,
                      const platform::CrashStack& stack)
{
    writeRaw("! component crashed (");
    writeRaw(what);
    writeRaw(") during: ");
    writeRaw(currentEventForCrash());
    writeRaw("\n");
    writeCrashFrames(stack);
    writeCrashRecord(recordKind, recordDetail);
}

// Where the thread was when the parent found the time up.
void writeStuckReport(const platform::CrashStack& stack)
{
    writeRaw("! component stuck during: ");
    writeRaw(currentEventForCrash());
    writeRaw("\n");
    writeCrashFrames(stack);
}

// A fault on a guarded page is a broken memory rule, reported as such.
void reportGuardFault(const void* address, guarded::Access access, const platform::CrashStack& stack)
{
    char reason[768];
    guarded::FaultKind kind = guarded::FaultKind::wroteLentMemory;
    if (!guarded::describeFault(address, access, currentEventForCrash(), reason, sizeof reason, &kind))
        return;
    if (faultKindsReported) {
        writeRaw("! kind ");
        writeRaw(guarded::faultKindName(kind));
        writeRaw("\n");
    }
    writeRaw("! component ");
    writeRaw(reason);
    writeRaw("\n");
    writeCrashFrames(stack);
    writeCrashRecord("memory", guarded::faultKindName(kind));
    platform::exitNow(crashExitStatus);
}

} // namespace

const char noComponentNote[] = "the factory returned null";


void setFaultKindsReported(bool reported)
{
    faultKindsReported = reported;
}

const char crashSiteEntry[] = "crash-site";

void describeCrashesHere(const std::string& library)
{
    if (library.size() >= sizeof crashDescription.library)
        return;   // a path that long is listed as frames instead
    std::memcpy(crashDescription.library, library.c_str(), library.size() + 1);
    crashDescription.wanted = true;
}

void setCrashRecordStream(int descriptor) { platform::setRawRecordStream(descriptor); }

std::optional<CrashRecord> readCrashRecord(const std::string& line)
{
    std::istringstream fields(line);
    std::string word, what, detail, extra;
    if (!(fields >> word >> what >> detail) || word != "crashed" || (fields >> extra))
        return std::nullopt;
    CrashRecord record;
    const std::optional<int> number = recordCount(detail);
    if (what == "signal" && number && *number > 0) {
        record.signal = *number;
    } else if (what == "exception" && detail.size() == 10 && detail.compare(0, 2, "0x") == 0
               && detail.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos) {
        record.exception = static_cast<std::uint32_t>(std::stoul(detail.substr(2), nullptr, 16));
    } else if (what == "memory" && guarded::faultKindFromName(detail)) {
        record.memoryFault = guarded::faultKindFromName(detail);
    } else {
        return std::nullopt;
    }
    return record;
}

void installCrashReporter()
{
    platform::installCrashHandlers({reportGuardFault, writeCrashReport, writeStuckReport});
}

Session::~Session()
{
    if (component_)
        destroy();
}

bool Session::create(const std::optional<std::string>& basePath, bool withHost)
{
    if (component_)
        destroy();
    beginEvent("create");
    host_.componentCreated();
    const double start = secondsNow();
    component_ = factory_(withHost ? host_.asCallback() : nullptr, basePath ? basePath->c_str() : nullptr);
    timed(start);
    return component_ != nullptr;
}

const char* Session::call(void* data, int code)
{
    const double start = secondsNow();
    const char* result = componentCall(component_, data, code);
    timed(start);
    return result;
}

void Session::timed(double startSeconds)
{
    const double milliseconds = (secondsNow() - startSeconds) * 1000;
    if (milliseconds > slowest_.milliseconds)
        slowest_ = Handling{currentEventText(), milliseconds};
}

Handling Session::takeSlowest()
{
    Handling out;
    std::swap(out, slowest_);
    return out;
}

namespace {

// A button record as one block: the record, the parsed message, then the
// texts, the event text's split copy last so that it ends at the page end.
struct ButtonParts {
    const std::string* panel;
    const std::string* control;
    const std::string* eventText;
    const ParsedMessage* parsed;
    std::size_t pad;   // after the records, so that the block's start is aligned
};

std::size_t buttonBlockSize(const ButtonParts& parts)
{
    return sizeof(ButtonEvent) + sizeof(ParsedMessage) + parts.panel->size() + 1 + parts.control->size() + 1
           + parts.eventText->size() + 1;
}

void fillButton(char* out, const char* lentAt, void* context)
{
    const ButtonParts& parts = *static_cast<const ButtonParts*>(context);
    // Written at out; every pointer stored is where the component sees it.
    const std::size_t panelAt = sizeof(ButtonEvent) + sizeof(ParsedMessage) + parts.pad;
    const std::size_t controlAt = panelAt + parts.panel->size() + 1;
    const std::size_t bufferAt = controlAt + parts.control->size() + 1;
    std::memcpy(out + panelAt, parts.panel->c_str(), parts.panel->size() + 1);
    std::memcpy(out + controlAt, parts.control->c_str(), parts.control->size() + 1);
    char* buffer = out + bufferAt;
    const ParsedMessage& parsed = *parts.parsed;
    std::size_t bufferSize = parts.eventText->size() + 1;
    if (parsed.buffer)
        std::memcpy(buffer, parsed.buffer, bufferSize);
    else
        buffer[0] = '\0';
    auto rebase = [&](const char* p) -> const char* {
        if (parsed.buffer && p >= parsed.buffer && p < parsed.buffer + bufferSize)
            return lentAt + bufferAt + (p - parsed.buffer);
        return p;
    };
    ParsedMessage* copy = reinterpret_cast<ParsedMessage*>(out + sizeof(ButtonEvent));
    std::memcpy(static_cast<void*>(copy), &parsed, sizeof parsed);
    copy->head = rebase(parsed.head);
    for (int k = 0; k < ParsedMessage::maxParts; ++k)
        copy->parts[k] = rebase(parsed.parts[k]);
    copy->value = rebase(parsed.value);
    copy->buffer = parsed.buffer ? const_cast<char*>(lentAt + bufferAt) : nullptr;
    ButtonEvent event{0x484f5354u, 0, lentAt + panelAt, lentAt + controlAt,
                      reinterpret_cast<const ParsedMessage*>(lentAt + sizeof(ButtonEvent))};   // "HOST"
    std::memcpy(out, &event, sizeof event);
}

} // namespace

const char* Session::lendMessage(const char* text)
{
    if (!text)
        return call(nullptr, zorv_code::parentMessage);
    std::string copy(text);
    guarded::Block* block = guarded::lend(copy.size() + 1, "the host's message text",
                                          "of " + currentEventText() + " after the call that lent it returned",
                                          guarded::fillWithString, &copy);
    const char* reply = nullptr;
    bool intoText = false;
    if (block) {
        reply = call(guarded::data(block), zorv_code::parentMessage);
        intoText = reply && guarded::holds(block, reply);
        guarded::retire(block);
    } else {
        reply = call(const_cast<char*>(text), zorv_code::parentMessage);
        intoText = reply && reply >= text && reply <= text + copy.size();
    }
    if (intoText) {
        // Not released: the component never owned it.
        host_.note(RuleBreakKind::replyIntoMessageText,
                   "the reply to " + currentEventText() + " is a pointer into the host's message text");
        return nullptr;
    }
    return reply;
}

std::optional<std::string> Session::parentMessage(const std::optional<std::string>& text)
{
    beginEvent(text ? "parent " + quoteText(text->size() > 60 ? text->substr(0, 60) + "..." : *text)
                    : std::string("parent null"));
    const char* reply = lendMessage(text ? text->c_str() : nullptr);
    if (!reply)
        return std::nullopt;
    std::string copy(reply);
    releaseReply(reply);
    return copy;
}

void Session::button(const std::string& panel, const std::string& control, const std::string& eventText)
{
    const std::string shownEventText = eventText.size() > 60 ? eventText.substr(0, 60) + "..." : eventText;
    beginEvent("button " + panel + " " + control + (eventText.empty() ? "" : " " + quoteText(shownEventText)));
    ParsedMessage message(eventText.c_str());
    // The texts are lent as they are given, up to a NUL inside them.
    std::string panelText(panel.c_str()), controlText(control.c_str()), eventCopy(eventText.c_str());
    ButtonParts parts{&panelText, &controlText, &eventCopy, &message, 0};
    const std::size_t align = alignof(ParsedMessage) > alignof(ButtonEvent) ? alignof(ParsedMessage)
                                                                             : alignof(ButtonEvent);
    std::size_t size = buttonBlockSize(parts);
    parts.pad = (align - size % align) % align;
    size += parts.pad;
    guarded::Block* block = guarded::lend(size, "the host's button record", "after the call that lent it returned",
                                          fillButton, &parts);
    if (!block) {
        ButtonEvent event{0x484f5354u, 0, panel.c_str(), control.c_str(), &message};   // "HOST"
        if (call(&event, zorv_code::button))
            host_.note(RuleBreakKind::buttonAnswered, "a button event answered non-null");
        return;
    }
    const char* result = call(guarded::data(block), zorv_code::button);
    guarded::retire(block);
    if (result)
        host_.note(RuleBreakKind::buttonAnswered, "a button event answered non-null");
}

void Session::timer(int number)
{
    beginEvent("timer " + std::to_string(number));
    if (call(reinterpret_cast<void*>(static_cast<intptr_t>(number)), zorv_code::timer))
        host_.note(RuleBreakKind::timerAnswered, "timer " + std::to_string(number) + " answered non-null");
}

void Session::release(const char* reply)
{
    beginEvent("the release of the reply to " + currentEventText());
    releaseReply(reply);
}

void Session::releaseReply(const char* reply)
{
    std::size_t sent = host_.allCommands().size();
    if (call(const_cast<char*>(reply), zorv_code::release))
        host_.note(RuleBreakKind::releaseAnswered, "the release of a reply answered non-null");
    if (host_.allCommands().size() != sent)
        host_.note(RuleBreakKind::sentWhileReleasing,
                   "the component sent \"" + escapeText(host_.allCommands().back())
                   + "\" while its reply was being released");
}

const char* Session::rawEvent(int code, void* data)
{
    beginEvent("event " + std::to_string(code));
    if (code == zorv_code::parentMessage)
        return lendMessage(static_cast<const char*>(data));
    return call(data, code);
}

void Session::destroy()
{
    if (!component_)
        return;
    beginEvent("destroy");
    const double start = secondsNow();
    componentDestroy(component_);
    timed(start);
    component_ = nullptr;
    host_.componentDestroyed();
}

} // namespace zorv_host
