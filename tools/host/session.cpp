#include "session.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "guarded_memory.h"
#include "zorv_message.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>
#endif

namespace zorv_host {

namespace {

char currentEvent[512] = "loading";
// Whether the caller described the event about to be delivered: a session
// delivering an event nobody described describes it itself.
bool eventDescribed = false;
bool faultKindsReported = false;

#if defined(_WIN32)
using RawStream = HANDLE;
const RawStream noStream = INVALID_HANDLE_VALUE;
#else
using RawStream = int;
const RawStream noStream = -1;
#endif
RawStream recordStream = noStream;   // where the crash record goes besides the sentence

// Writes one piece with the system call alone: the crash report runs in a
// signal handler, where stdio and the heap may be broken.
void writeRawTo(RawStream stream, const char* text)
{
    std::size_t size = std::strlen(text);
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(stream, text, static_cast<DWORD>(size), &written, nullptr);
#else
    ssize_t ignored = write(stream, text, size);
    (void)ignored;
#endif
}

// Standard error.
void writeRaw(const char* text)
{
#if defined(_WIN32)
    writeRawTo(GetStdHandle(STD_ERROR_HANDLE), text);
#else
    writeRawTo(2, text);
#endif
}

// "crashed WHAT DETAIL" on the record stream, if there is one.
void writeCrashRecord(const char* what, const char* detail)
{
    if (recordStream == noStream)
        return;
    writeRawTo(recordStream, "crashed ");
    writeRawTo(recordStream, what);
    writeRawTo(recordStream, " ");
    writeRawTo(recordStream, detail);
    writeRawTo(recordStream, "\n");
}

void writeCrashReport(const char* what)
{
    writeRaw("! component crashed (");
    writeRaw(what);
    writeRaw(") during: ");
    writeRaw(currentEvent);
    writeRaw("\n");
}

[[noreturn]] void endCrashed()
{
#if defined(_WIN32)
    ExitProcess(crashExitStatus);
#else
    _exit(crashExitStatus);
#endif
}

// A fault on a guarded page is a broken memory rule, reported as such.
void reportGuardFault(const void* address, guarded::Access access)
{
    char reason[768];
    guarded::FaultKind kind = guarded::FaultKind::wroteLentMemory;
    if (!guarded::describeFault(address, access, currentEvent, reason, sizeof reason, &kind))
        return;
    if (faultKindsReported) {
        writeRaw("! kind ");
        writeRaw(guarded::faultKindName(kind));
        writeRaw("\n");
    }
    writeRaw("! component ");
    writeRaw(reason);
    writeRaw("\n");
    writeCrashRecord("memory", guarded::faultKindName(kind));
    endCrashed();
}

#if defined(_WIN32)
LONG WINAPI onGuardFault(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters >= 2) {
        ULONG_PTR kind = record->ExceptionInformation[0];
        reportGuardFault(reinterpret_cast<const void*>(record->ExceptionInformation[1]),
                         kind == 1 ? guarded::Access::write : kind == 0 ? guarded::Access::read
                                                                        : guarded::Access::unknown);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info)
{
    char what[] = "exception 0x00000000";
    unsigned long code = info->ExceptionRecord->ExceptionCode;
    for (int i = 0; i < 8; ++i)
        what[sizeof what - 2 - i] = "0123456789abcdef"[(code >> (4 * i)) & 15];
    writeCrashReport(what);
    writeCrashRecord("exception", what + 10);   // "0x" and the code
    endCrashed();
}
#else
void onCrashSignal(int signal);

void onFaultSignal(int signal, siginfo_t* info, void* context)
{
    guarded::Access access = guarded::Access::unknown;
#if defined(__x86_64__) && defined(REG_ERR)
    // The page-fault error code: bit 1 set for a write.
    access = (static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) ? guarded::Access::write
                                                                                 : guarded::Access::read;
#elif defined(__i386__) && defined(REG_ERR)
    access = (static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_ERR] & 2) ? guarded::Access::write
                                                                                 : guarded::Access::read;
#else
    (void)context;
#endif
    reportGuardFault(info->si_addr, access);
    onCrashSignal(signal);
}

void onCrashSignal(int signal)
{
    writeCrashReport(signal == SIGSEGV ? "SIGSEGV" : signal == SIGBUS ? "SIGBUS" : signal == SIGFPE ? "SIGFPE"
                     : signal == SIGILL ? "SIGILL" : signal == SIGABRT ? "SIGABRT" : "signal");
    // The number in decimal, without stdio.
    char number[12];
    char* digit = number + sizeof number - 1;
    *digit = '\0';
    unsigned value = signal > 0 ? static_cast<unsigned>(signal) : 0;
    do {
        *--digit = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 && digit > number);
    writeCrashRecord("signal", digit);
    endCrashed();
}
#endif

} // namespace

const char noComponentNote[] = "the factory returned null";

std::string currentEventText() { return currentEvent; }

void setCurrentEvent(const std::string& description)
{
    std::snprintf(currentEvent, sizeof currentEvent, "%s", description.c_str());
    eventDescribed = true;
}

void Session::beginEvent(const std::string& fallback)
{
    if (!eventDescribed)
        std::snprintf(currentEvent, sizeof currentEvent, "%s", fallback.c_str());
    eventDescribed = false;
}

void setFaultKindsReported(bool reported)
{
    faultKindsReported = reported;
}

void setCrashRecordStream(int descriptor)
{
#if defined(_WIN32)
    recordStream = descriptor < 0 ? noStream : reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
#else
    recordStream = descriptor;
#endif
}

std::optional<CrashRecord> readCrashRecord(const std::string& line)
{
    std::istringstream fields(line);
    std::string word, what, detail, extra;
    if (!(fields >> word >> what >> detail) || word != "crashed" || (fields >> extra))
        return std::nullopt;
    CrashRecord record;
    const bool digits = detail.find_first_not_of("0123456789") == std::string::npos && detail.size() <= 9;
    if (what == "signal" && digits && std::stoi(detail) > 0) {
        record.signal = std::stoi(detail);
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
#if defined(_WIN32)
    AddVectoredExceptionHandler(1, onGuardFault);
    SetUnhandledExceptionFilter(onUnhandledException);
#else
    for (int signal : {SIGFPE, SIGILL, SIGABRT})
        std::signal(signal, onCrashSignal);
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onFaultSignal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, nullptr);
    sigaction(SIGBUS, &action, nullptr);
#endif
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
    component_ = factory_(withHost ? host_.asCallback() : nullptr, basePath ? basePath->c_str() : nullptr);
    return component_ != nullptr;
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

void fillButton(char* out, void* context)
{
    const ButtonParts& parts = *static_cast<const ButtonParts*>(context);
    char* panel = out + sizeof(ButtonEvent) + sizeof(ParsedMessage) + parts.pad;
    char* control = panel + parts.panel->size() + 1;
    char* buffer = control + parts.control->size() + 1;
    std::memcpy(panel, parts.panel->c_str(), parts.panel->size() + 1);
    std::memcpy(control, parts.control->c_str(), parts.control->size() + 1);
    const ParsedMessage& parsed = *parts.parsed;
    std::size_t bufferSize = parts.eventText->size() + 1;
    if (parsed.buffer)
        std::memcpy(buffer, parsed.buffer, bufferSize);
    else
        buffer[0] = '\0';
    auto rebase = [&](const char* p) -> const char* {
        if (parsed.buffer && p >= parsed.buffer && p < parsed.buffer + bufferSize)
            return buffer + (p - parsed.buffer);
        return p;
    };
    ParsedMessage* copy = reinterpret_cast<ParsedMessage*>(out + sizeof(ButtonEvent));
    std::memcpy(static_cast<void*>(copy), &parsed, sizeof parsed);
    copy->head = rebase(parsed.head);
    for (int k = 0; k < ParsedMessage::maxParts; ++k)
        copy->parts[k] = rebase(parsed.parts[k]);
    copy->value = rebase(parsed.value);
    copy->buffer = parsed.buffer ? buffer : nullptr;
    ButtonEvent event{0x484f5354u, 0, panel, control, copy};   // "HOST"
    std::memcpy(out, &event, sizeof event);
}

} // namespace

const char* Session::lendMessage(const char* text)
{
    if (!text)
        return componentCall(component_, nullptr, zorv_code::parentMessage);
    std::string copy(text);
    guarded::Block* block = guarded::lend(copy.size() + 1, "the host's message text",
                                          "of " + std::string(currentEvent) + " after the call that lent it returned",
                                          guarded::fillWithString, &copy);
    const char* reply = nullptr;
    bool intoText = false;
    if (block) {
        reply = componentCall(component_, guarded::data(block), zorv_code::parentMessage);
        intoText = reply && guarded::holds(block, reply);
        guarded::retire(block);
    } else {
        reply = componentCall(component_, const_cast<char*>(text), zorv_code::parentMessage);
        intoText = reply && reply >= text && reply <= text + copy.size();
    }
    if (intoText) {
        // Not released: the component never owned it.
        host_.note(RuleBreakKind::replyIntoMessageText,
                   "the reply to " + std::string(currentEvent) + " is a pointer into the host's message text");
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
        if (componentCall(component_, &event, zorv_code::button))
            host_.note(RuleBreakKind::buttonAnswered, "a button event answered non-null");
        return;
    }
    const char* result = componentCall(component_, guarded::data(block), zorv_code::button);
    guarded::retire(block);
    if (result)
        host_.note(RuleBreakKind::buttonAnswered, "a button event answered non-null");
}

void Session::timer(int number)
{
    beginEvent("timer " + std::to_string(number));
    if (componentCall(component_, reinterpret_cast<void*>(static_cast<intptr_t>(number)), zorv_code::timer))
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
    if (componentCall(component_, const_cast<char*>(reply), zorv_code::release))
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
    return componentCall(component_, data, code);
}

void Session::destroy()
{
    if (!component_)
        return;
    beginEvent("destroy");
    componentDestroy(component_);
    component_ = nullptr;
    host_.componentDestroyed();
}

} // namespace zorv_host
