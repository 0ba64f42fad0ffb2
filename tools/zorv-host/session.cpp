#include "session.h"

#include <csignal>
#include <cstdio>
#include <cstring>

#include "zorv_message.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zorv_host {

namespace {

char currentEvent[512] = "loading";

// Writes one piece to standard error with the system call alone: the crash
// report runs in a signal handler, where stdio and the heap may be broken.
void writeRaw(const char* text)
{
    std::size_t size = std::strlen(text);
#if defined(_WIN32)
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size), &written, nullptr);
#else
    ssize_t ignored = write(2, text, size);
    (void)ignored;
#endif
}

void writeCrashReport(const char* what)
{
    writeRaw("! component crashed (");
    writeRaw(what);
    writeRaw(") during: ");
    writeRaw(currentEvent);
    writeRaw("\n");
}

#if defined(_WIN32)
LONG WINAPI onUnhandledException(EXCEPTION_POINTERS* info)
{
    char what[] = "exception 0x00000000";
    unsigned long code = info->ExceptionRecord->ExceptionCode;
    for (int i = 0; i < 8; ++i)
        what[sizeof what - 2 - i] = "0123456789abcdef"[(code >> (4 * i)) & 15];
    writeCrashReport(what);
    ExitProcess(70);
}
#else
void onCrashSignal(int signal)
{
    writeCrashReport(signal == SIGSEGV ? "SIGSEGV" : signal == SIGBUS ? "SIGBUS" : signal == SIGFPE ? "SIGFPE"
                     : signal == SIGILL ? "SIGILL" : signal == SIGABRT ? "SIGABRT" : "signal");
    _exit(70);
}
#endif

} // namespace

void setCurrentEvent(const std::string& description)
{
    std::snprintf(currentEvent, sizeof currentEvent, "%s", description.c_str());
}

void installCrashReporter()
{
#if defined(_WIN32)
    SetUnhandledExceptionFilter(onUnhandledException);
#else
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(signal, onCrashSignal);
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
    host_.componentCreated();
    component_ = factory_(withHost ? host_.asCallback() : nullptr, basePath ? basePath->c_str() : nullptr);
    return component_ != nullptr;
}

std::optional<std::string> Session::parentMessage(const std::optional<std::string>& text)
{
    void* data = text ? const_cast<char*>(text->c_str()) : nullptr;
    const char* reply = componentCall(component_, data, zorv_code::parentMessage);
    if (!reply)
        return std::nullopt;
    std::string copy(reply);
    componentCall(component_, const_cast<char*>(reply), zorv_code::release);
    return copy;
}

void Session::button(const std::string& panel, const std::string& control, const std::string& eventText)
{
    ParsedMessage message(eventText.c_str());
    ButtonEvent event{0x484f5354u, 0, panel.c_str(), control.c_str(), &message};   // "HOST"
    componentCall(component_, &event, zorv_code::button);
}

void Session::timer(int number)
{
    componentCall(component_, reinterpret_cast<void*>(static_cast<intptr_t>(number)), zorv_code::timer);
}

const char* Session::rawEvent(int code, void* data) { return componentCall(component_, data, code); }

void Session::destroy()
{
    if (!component_)
        return;
    componentDestroy(component_);
    component_ = nullptr;
    host_.componentDestroyed();
}

} // namespace zorv_host
