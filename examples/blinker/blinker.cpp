// The smallest example project: "Go" starts timer 1, whose expiry blinks
// (a notification to the parent). Built against the installed SDK and
// validated by the tests.
#include "zorv_script_helper.h"

class Blinker : public zorv_script_helper {
public:
    Blinker(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        panelShow(zorv_string(1, 0, 0, 10), "blinker.zorv_ui", zorv_string());
    }

protected:
    void buttonCallback(ButtonView* view) override
    {
        if (view->id() == "Go")
            timerStart(1, 500);
    }
    int eventOneCallback(EventView*) override { return 0; }
    zorv_string parentCallback(MessageView* view) override
    {
        if (view->command() == "_commands")
            return "go=[value]";
        if (view->command() == "_events")
            return "blink";   // the one notification it raises
        return zorv_string();   // the empty reply reaches the host as null
    }
    void timerCallback(int timer) override
    {
        notifyHost("blink");
        timerStop(timer);
    }
};

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    return new (std::nothrow) Blinker(host, basePath);
}
