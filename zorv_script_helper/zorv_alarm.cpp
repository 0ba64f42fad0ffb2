// Alarm-group actions: two panel buttons that act on every alarm control.
#include "zorv_script_helper.h"

namespace {

const int noStateChange = -1;
const int acknowledged = 4;

zorv_string panelOne() { return zorv_string(1, 0, 0, 10); }

// "ack" acknowledges; a one-character action is a state to write; any other
// action only writes the "alarm" property.
int actionCodeOf(const zorv_string& action)
{
    if (action == "ack")
        return acknowledged;
    if (action.length() == 1)
        return action.toInt();
    return noStateChange;
}

// States 0 and 2..5 stand; 1, negatives and anything above 5 are acknowledged.
bool needsAcknowledge(int state) { return state == 1 || state < 0 || state > 5; }

} // namespace

bool zorv_script_helper::interceptAlarmButton(ButtonView* view)
{
    const zorv_string control = view->id();
    if (control == "ActionAll" && view->command() == "alarm") {
        alarmGroupAction(view->value());
        return true;
    }
    if (control == "AckAll") {
        alarmGroupAction(zorv_string(acknowledged, 0, 0, 10));
        return true;
    }
    return false;
}

void zorv_script_helper::alarmGroupAction(const zorv_string& action)
{
    const int actionCode = actionCodeOf(action);
    const zorv_string panel = panelOne();
    zorv_stringlist controls = controlList(panel, "alm_");
    for (zorv_stringlistIterator it = controls.begin(); it != controls.end(); ++it) {
        const zorv_string& control = *it;
        textPut("alarm", action, panel, control);
        if (actionCode == acknowledged) {
            zorv_string reading;
            textGet("value", panel, control, reading);
            if (needsAcknowledge(reading.toInt()))
                textPut("value", zorv_string(acknowledged, 0, 0, 10), panel, control);
        } else if (actionCode != noStateChange) {
            textPut("value", zorv_string(actionCode, 0, 0, 10), panel, control);
        }
    }
}
