// A component for framework tests: records each handler call and makes the
// base's protected operations callable.
#ifndef ZORV_TEST_COMPONENT_H
#define ZORV_TEST_COMPONENT_H

#include <stdexcept>
#include <string>
#include <vector>

#include "zorv_script_helper.h"

class TestComponent : public zorv_script_helper {
public:
    TestComponent(zorv_client_callback* host, const char* basePath) : zorv_script_helper(host, basePath) {}

    using zorv_script_helper::alarmActionsOn;
    using zorv_script_helper::alarmGroupAction;
    using zorv_script_helper::controlList;
    using zorv_script_helper::debugPrint;
    using zorv_script_helper::detachHost;
    using zorv_script_helper::instanceLookup;
    using zorv_script_helper::notifyHost;
    using zorv_script_helper::panelShow;
    using zorv_script_helper::routeCrosspoint;
    using zorv_script_helper::setAlarmActionsEnabled;
    using zorv_script_helper::textGet;
    using zorv_script_helper::textPut;
    using zorv_script_helper::timerStart;
    using zorv_script_helper::timerStop;

    std::vector<std::string> calls;   // one entry per handler call
    std::string reply;                // what parentCallback answers
    bool throwFromParent = false;

protected:
    void buttonCallback(ButtonView* view) override
    {
        calls.push_back("button " + text(view->panel()) + " " + text(view->id()) + " " + text(view->command())
                        + "=" + text(view->value()));
    }
    int eventOneCallback(EventView* view) override
    {
        calls.push_back("one " + std::to_string(reinterpret_cast<intptr_t>(view->data())));
        return 77;
    }
    zorv_string parentCallback(MessageView* view) override
    {
        calls.push_back("parent " + text(view->command()) + "|" + text(view->value()));
        if (throwFromParent)
            throw std::runtime_error("handler failed");
        return zorv_string(reply.c_str());
    }
    void eventSevenCallback(EventView* view) override
    {
        calls.push_back("seven " + std::to_string(reinterpret_cast<intptr_t>(view->data())));
    }
    void timerCallback(int timer) override { calls.push_back("timer " + std::to_string(timer)); }
    void eventSixCallback(EventView* view) override
    {
        calls.push_back("six " + std::to_string(reinterpret_cast<intptr_t>(view->data())));
    }

private:
    static std::string text(const zorv_string& s) { return std::string(static_cast<const char*>(s)); }
};

inline void* word(intptr_t value) { return reinterpret_cast<void*>(value); }

#endif
