// Deliberately faulty components: each module built from this file breaks
// one rule of the host contract (chosen by ZORV_FAULT at compile time), so
// that the tools can be shown to catch it. Every parent message triggers the
// fault, except the crash and the undeclared notification, which come with a
// timer expiry, and the faults of the component's own vocabulary: a press of
// its own button, a word it declares, the stall on "source".
#include <stdint.h>

#include "zorv_crt.h"
#include "zorv_message.h"
#include "zorv_script_helper.h"
#if ZORV_MICROSOFT_ABI
#include "zorv_win32.h"
#else
#include <chrono>
#include <thread>
#endif

namespace {

enum Fault {
    unreleasedQuery = 1,   // never hands a query reply back
    sendsAfterDetach,      // sends a command after "AS"
    foreignHandback,       // hands back a pointer the host never gave
    crashesOnEvent,        // dereferences null on "go"
    reusesReplyBuffer,     // returns the same static buffer for every reply
    doubleHandback,        // hands a query reply back twice
    malformedCommand,      // sends a line of no known shape
    nullFactory,           // the factory returns null
    answersIgnoredCode,    // answers code 8 with a text
    hangsOnEvent,          // loops for ever on a timer expiry
    leaksReplies,          // never frees a reply the host releases
    writesMessageText,     // writes into the message text the host lent
    writesButtonRecord,    // writes into the control text of a button record
    readsAfterHandback,    // reads a query reply after handing it back
    keepsHostText,         // keeps a message text and reads it on the next message
    readsPastEnd,          // reads beyond the NUL of a message text
    answersButton,         // answers a button event with a text
    sendsDuringRelease,    // sends a command while its reply is released
    repliesWithText,       // answers a message with the host's own text
    crashesOnNullButton,   // reads through the data of a button event unchecked
    crashesOnOwnButton,    // crashes on a press of "Fire", the one button of its layout
    crashesOnDeclaredWord, // crashes on "fire=-1", a word it declares in "_commands"
    echoesParentValue,     // puts every parent value into a "TP" text, quotes and all
    raisesUndeclaredEvent, // declares "pressed=*" in "_events" but raises "surprise=1"
    printsFakeVerdict,     // prints what a parent process might read as a verdict; ends the process on a timer
    callsOffThread,        // sends a notification from a thread of its own
    stallsOnSource,        // takes 400 ms over every "source" message
    leaksPerMessage,       // keeps 4 KiB of its own on every parent message
};

// An unmapped address, not null: a real access violation that the
// undefined-behaviour checker does not intercept first.
void crash()
{
    volatile int* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(16));
    *nowhere = 1;   // planted: the crash (crash reports must name this line)
}

// Lines a host's child process might hand its parent as the verdict of a
// check or the outcome of a scenario, in every form they have had.
void printFakeVerdicts()
{
#if !ZORV_MICROSOFT_ABI   // the Windows modules import nothing to print with
    std::fputs("KIND hang\nRESULT PASS\nverdict PASS hang \"\"\nSCENARIO-OUTCOME 0 0 0 0\noutcome 0 0 0 0\n", stdout);
    std::fflush(stdout);
#endif
}

// The process ends with status 0 at once, as a finished child's would.
[[noreturn]] void leaveAsIfDone()
{
#if ZORV_MICROSOFT_ABI
    ExitProcess(0);
#else
    std::_Exit(0);
#endif
}

// Runs work on a thread of the module's own and waits for it to end.
void onOwnThread(void (*work)(void*), void* context)
{
#if ZORV_MICROSOFT_ABI
    struct Start {
        void (*work)(void*);
        void* context;
        static unsigned long __stdcall run(void* start)
        {
            static_cast<Start*>(start)->work(static_cast<Start*>(start)->context);
            return 0;
        }
    } start{work, context};
    if (void* thread = CreateThread(nullptr, 0, Start::run, &start, 0, nullptr)) {
        WaitForSingleObject(thread, zorv_wait_forever);
        CloseHandle(thread);
    }
#else
    std::thread(work, context).join();
#endif
}

void stall(unsigned milliseconds)
{
#if ZORV_MICROSOFT_ABI
    Sleep(milliseconds);
#else
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
#endif
}

void notifyFromOwnThread(void* host)
{
    static_cast<zorv_client_callback*>(host)->callback(const_cast<char*>("HN 'from my thread'"), zorv_code::command);
}

class Faulty : public zorv_script_helper {
public:
    Faulty(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        // Only the button fault ships its layout (beside the module).
        panelShow("1", ZORV_FAULT == crashesOnOwnButton ? "crashes_on_own_button.zorv_ui" : "faulty.zorv_ui", "");
    }

    const char* callback(void* data, int code) override
    {
        static char shared[64];
        if (ZORV_FAULT == printsFakeVerdict) {
            printFakeVerdicts();
            if (code == zorv_code::timer)
                leaveAsIfDone();
        }
        if (ZORV_FAULT == reusesReplyBuffer && code == zorv_code::parentMessage) {
            const char* text = data ? static_cast<const char*>(data) : "";
            size_t n = 0;
            for (; n + 1 < sizeof shared && text[n]; ++n)
                shared[n] = text[n];
            shared[n] = '\0';
            shared[0] = shared[0] ? shared[0] : '-';
            return shared;   // the release of it must not reach delete[]:
        }
        if (ZORV_FAULT == reusesReplyBuffer && code == zorv_code::release)
            return nullptr;
        if (ZORV_FAULT == leaksReplies && code == zorv_code::release)
            return nullptr;
        if (ZORV_FAULT == answersIgnoredCode && code == 8)
            return "surprise";
        if (code == zorv_code::parentMessage && data)
            touchMessageText(static_cast<char*>(data));
        if (ZORV_FAULT == crashesOnNullButton && code == zorv_code::button && !data) {
            volatile int* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(16));
            return *nowhere ? "" : nullptr;
        }
        if (ZORV_FAULT == answersButton && code == zorv_code::button)
            return "pressed";
        if (ZORV_FAULT == repliesWithText && code == zorv_code::parentMessage && data)
            return static_cast<const char*>(data);
        if (ZORV_FAULT == repliesWithText && code == zorv_code::release)
            return nullptr;
        if (ZORV_FAULT == sendsDuringRelease && code == zorv_code::release && data && hostCallback())
            hostCallback()->callback(const_cast<char*>("HN 'released'"), zorv_code::command);
        if (ZORV_FAULT == writesButtonRecord && code == zorv_code::button && data) {
            const ButtonEvent* event = static_cast<const ButtonEvent*>(data);
            if (event->controlId)
                *const_cast<volatile char*>(event->controlId) = 'X';
        }
        return zorv_script_helper::callback(data, code);
    }

protected:
    void touchMessageText(char* text)
    {
        static const char* kept = nullptr;
        static volatile char sink;
        if (ZORV_FAULT == writesMessageText)   // volatile: an optimiser drops a plain self-assignment
            *static_cast<volatile char*>(text) = text[0];   // planted: the write (reports name this line)
        if (ZORV_FAULT == keepsHostText) {
            if (kept)
                sink = kept[0];
            kept = text;
        }
        if (ZORV_FAULT == readsPastEnd) {
            size_t n = 0;
            while (text[n])
                ++n;
            sink = text[n + 1];
        }
        (void)sink;
    }

    void buttonCallback(ButtonView* view) override
    {
        if (ZORV_FAULT == crashesOnOwnButton && view->id() == "Fire")
            crash();
    }
    int eventOneCallback(EventView*) override { return 0; }
    void timerCallback(int) override
    {
        for (volatile bool forever = ZORV_FAULT == hangsOnEvent; forever;) {   // planted: the hang
        }
        if (ZORV_FAULT == crashesOnEvent)
            crash();
        if (ZORV_FAULT == raisesUndeclaredEvent)
            notifyHost("surprise=1");
    }
    zorv_string parentCallback(MessageView* view) override
    {
        if (ZORV_FAULT == crashesOnDeclaredWord) {
            if (view->command() == "_commands")
                return zorv_string("fire=[value]");
            if (view->command() == "fire" && view->value() == "-1")
                crash();
        }
        if (ZORV_FAULT == raisesUndeclaredEvent && view->command() == "_events")
            return zorv_string("pressed=*");
        if (ZORV_FAULT == echoesParentValue && view->value() != "")
            textPut("text", view->value(), "1", "Label");
        if (ZORV_FAULT == stallsOnSource && view->command() == "source")
            stall(400);
        if (ZORV_FAULT == leaksPerMessage) {
            static void* volatile kept;   // volatile: an optimiser drops an allocation nobody reads
            kept = malloc(4096);
            if (kept)
                memset(kept, 1, 4096);
        }
        zorv_client_callback* host = hostCallback();
        if (!host)
            return zorv_string();
        if (ZORV_FAULT == callsOffThread)
            onOwnThread(notifyFromOwnThread, host);
        switch (ZORV_FAULT) {
        case unreleasedQuery:
            host->callback(const_cast<char*>("SD 'leak'"), zorv_code::command);
            break;
        case sendsAfterDetach:
            detachHost();
            notifyHost("still here");
            break;
        case foreignHandback: {
            static char mine[] = "not the host's";
            host->callback(mine, zorv_code::release);
            break;
        }
        case doubleHandback: {
            const char* reply = host->callback(const_cast<char*>("SD 'twice'"), zorv_code::command);
            if (reply) {
                host->callback(const_cast<char*>(reply), zorv_code::release);
                host->callback(const_cast<char*>(reply), zorv_code::release);
            }
            break;
        }
        case readsAfterHandback: {
            const char* reply = host->callback(const_cast<char*>("SD 'late'"), zorv_code::command);
            if (reply) {
                host->callback(const_cast<char*>(reply), zorv_code::release);
                static volatile char sink;
                sink = reply[0];
                (void)sink;
            }
            break;
        }
        case malformedCommand:
            host->callback(const_cast<char*>("XX what"), zorv_code::command);
            break;
        default:
            break;
        }
        // The leaked replies are long enough that what a short run of cycles
        // leaves behind stands out from any allocator's own book-keeping.
        return zorv_string(ZORV_FAULT == leaksReplies          ? "a reply the component keeps after the host released it"
                           : ZORV_FAULT == sendsDuringRelease ? "a reply"
                                                              : "");
    }
};

} // namespace

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    if (ZORV_FAULT == nullFactory)
        return nullptr;
    return new (std::nothrow) Faulty(host, basePath);
}
