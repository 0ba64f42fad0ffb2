// A component that turns the alarm-group actions on: its "ActionAll" and
// "AckAll" buttons act on the panel's "alm_" controls. It exercises the
// framework's intercept, its queries and its diagnostic through the binary
// interface, natively and as a Windows DLL.
#include "zorv_script_helper.h"

namespace {

class AlarmPanel : public zorv_script_helper {
public:
    AlarmPanel(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath)
    {
        setAlarmActionsEnabled(true);
        panelShow(zorv_string(1, 0, 0, 10), "alarm_panel.zorv_ui", zorv_string());
    }

protected:
    void buttonCallback(ButtonView* view) override { notifyHost("pressed=" + view->id()); }
    int eventOneCallback(EventView*) override { return 0; }
    zorv_string parentCallback(MessageView* view) override
    {
        return view->command() == "_events" ? zorv_string("pressed=*") : zorv_string();
    }
    void timerCallback(int) override {}
};

} // namespace

ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    return new (std::nothrow) AlarmPanel(host, basePath);
}
