#include "zorv_script_helper.h"

#include "zorv_internal.h"

// Identifies this library's version inside a built module. Nothing reads it;
// "used" keeps the linker from dropping it.
extern "C" __attribute__((used)) const char zorv_script_helper_signature[] =
    "ZORV_SIG,name=zorv_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author=The Selvarin project";

zorv_script_helper::zorv_script_helper(zorv_client_callback* hostObject, const char* path)
    : host(hostObject), basePath(path ? path : ""), alarmActionsEnabled(false)
{
}

zorv_script_helper::~zorv_script_helper()
{
    detachHost();
}

void zorv_script_helper::eventSevenCallback(EventView*) {}

void zorv_script_helper::eventSixCallback(EventView*) {}

const char* zorv_script_helper::callback(void* data, int code)
{
    switch (code) {
    case zorv_code::eventOne: {
        EventView view(data);
        eventOneCallback(&view);
        return nullptr;
    }
    case zorv_code::button:
        dispatchButton(static_cast<const ButtonEvent*>(data));
        return nullptr;
    case zorv_code::parentMessage:
        return dispatchParentMessage(static_cast<const char*>(data));
    case zorv_code::timer:
        // The timer number travels in the data word itself.
        timerCallback(static_cast<int>(reinterpret_cast<intptr_t>(data)));
        return nullptr;
    case zorv_code::release:
        delete[] static_cast<char*>(data);
        return nullptr;
    case zorv_code::eventSix: {
        EventView view(data);
        eventSixCallback(&view);
        return nullptr;
    }
    case zorv_code::eventSeven: {
        EventView view(data);
        eventSevenCallback(&view);
        return nullptr;
    }
    default:
        return nullptr;
    }
}

void zorv_script_helper::dispatchButton(const ButtonEvent* event)
{
    if (!event)
        return;   // nothing to read: a host fault, not a press
    ButtonView view(event);
    if (alarmActionsEnabled && interceptAlarmButton(&view))
        return;
    buttonCallback(&view);
}

// The message and the reply are locals, so both are released also when the
// handler leaves by an exception.
const char* zorv_script_helper::dispatchParentMessage(const char* text)
{
    ParsedMessage message(text);
    MessageView view(&message);
    zorv_string reply = parentCallback(&view);
    if (reply.length() == 0)
        return nullptr;
    return zorv_copy_text(reply, reply.length());
}
