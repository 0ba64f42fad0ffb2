// Deliberately faulty components: each module built from this file breaks
// one rule of the host contract (chosen by ZORV_FAULT at compile time), so
// that the tools can be shown to catch it. Parent message "go" triggers the
// fault where it is not part of creation or destruction.
#include <cstring>

#include "zorv_script_helper.h"

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
};

class Faulty : public zorv_script_helper {
public:
    Faulty(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        panelShow("1", "faulty.zorv_ui", "");
    }

    const char* callback(void* data, int code) override
    {
        static char shared[16];
        if (ZORV_FAULT == reusesReplyBuffer && code == zorv_code::parentMessage) {
            std::strcpy(shared, data ? static_cast<const char*>(data) : "");
            return shared;   // and a release of it would be a free of static memory:
        }
        if (ZORV_FAULT == reusesReplyBuffer && code == zorv_code::release)
            return nullptr;
        if (ZORV_FAULT == answersIgnoredCode && code == 8)
            return "surprise";
        return zorv_script_helper::callback(data, code);
    }

protected:
    void buttonCallback(ButtonView*) override {}
    int eventOneCallback(EventView*) override { return 0; }
    void timerCallback(int) override {}
    zorv_string parentCallback(MessageView* view) override
    {
        if (view->command() != "go")
            return zorv_string("ok");
        zorv_client_callback* host = hostCallback();
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
        case crashesOnEvent: {
            // An unmapped address, not null: a real access violation that
            // the undefined-behaviour checker does not intercept first.
            volatile int* nowhere = reinterpret_cast<volatile int*>(static_cast<uintptr_t>(16));
            *nowhere = 1;
            break;
        }
        case doubleHandback: {
            const char* reply = host->callback(const_cast<char*>("SD 'twice'"), zorv_code::command);
            host->callback(const_cast<char*>(reply), zorv_code::release);
            host->callback(const_cast<char*>(reply), zorv_code::release);
            break;
        }
        case malformedCommand:
            host->callback(const_cast<char*>("XX what"), zorv_code::command);
            break;
        default:
            break;
        }
        return zorv_string();
    }
};

} // namespace

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    if (ZORV_FAULT == nullFactory)
        return nullptr;
    return new Faulty(host, basePath);
}
