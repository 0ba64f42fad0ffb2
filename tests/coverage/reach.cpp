// A component whose tests leave some of it unreached, for the coverage
// report's test. Every line a test cannot reach is marked "unreached", and
// nothing else is left unreached: the test compares the report with them.
#include "zorv_script_helper.h"

class Reach : public zorv_script_helper {
public:
    Reach(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath) {}

protected:
    void buttonCallback(ButtonView*) override {}
    int eventOneCallback(EventView*) override { return 0; }
    zorv_string parentCallback(MessageView* view) override
    {
        if (view->command() == "_commands")
            return "go";
        if (view->command() == "_events")
            return "went,hidden";
        if (view->command() == "go")
            onGo();
        if (view->command() == "hidden-word")
            onHiddenWord();   // unreached: no test sends the word, and the component declares it nowhere
        return zorv_string();
    }
    void timerCallback(int) override {}

private:
    void onGo() { notifyHost("went"); }
    void onHiddenWord() { notifyHost("hidden"); }   // unreached
};

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    return new (std::nothrow) Reach(host, basePath);
}
