// A component that fails on its own buttons, for the workbench tests: "Fire"
// writes through a null pointer, "Hang" never returns. Until then it behaves:
// "Status" shows how many parent messages it has had.
#include "zorv_script_helper.h"

namespace {

class PressCrash : public zorv_script_helper {
public:
    PressCrash(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        panelShow(zorv_string(1, 0, 0, 10), "press_crash.zorv_ui", zorv_string());
    }

protected:
    void buttonCallback(ButtonView* view) override
    {
        if (view->id() == "Fire") {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
        if (view->id() == "Hang")
            for (volatile bool forever = true; forever;) {
            }
    }
    int eventOneCallback(EventView*) override { return 0; }
    zorv_string parentCallback(MessageView*) override
    {
        ++messages_;
        textPut("text", zorv_string(messages_, 0, 0, 10), zorv_string(1, 0, 0, 10), "Status");
        return zorv_string();
    }
    void timerCallback(int timer) override { timerStop(timer); }

private:
    int messages_ = 0;
};

} // namespace

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    return new (std::nothrow) PressCrash(host, basePath);
}
