// The base class of every script component: event dispatch, parsed parent
// messages, the host command channel and the alarm-group actions.
//
// Including this header gives a component author every framework
// declaration: the callback interface, the text library, the message records
// and views, and the token splitter.
//
// A component derives from zorv_script_helper, implements the abstract
// handlers, and sends commands with the protected operations below. All of it
// runs on the host's calling thread, one call at a time; nothing here locks.
#ifndef ZORV_SCRIPT_HELPER_H
#define ZORV_SCRIPT_HELPER_H

#include "zorv_client_callback.h"
#include "zorv_decode.h"
#include "zorv_message.h"
#include "zorv_plugin_entry.h"
#include "zorv_string.h"

class zorv_script_helper : public zorv_client_callback {
public:
    // Runs inside the factory, before the derived constructor, which may then
    // send commands. host: the host's object, not owned, outliving the
    // component; null drops every command. basePath: copied; null is "".
    zorv_script_helper(zorv_client_callback* host, const char* basePath);
    // Runs when the host deletes the component, after the derived destructor
    // (its members are gone): sends "AS" when a host is attached, the last
    // command the component ever sends; its result is ignored, never handed back.
    ~zorv_script_helper() override;

    // The dispatcher, called by the host only, one event at a time: turns each
    // event code into one handler call; codes outside 1..7 answer null. A
    // non-empty parent-message reply is a fresh array of length + 1 bytes the
    // host hands back with code 5, which deletes it; an empty one is null.
    const char* callback(void* data, int code) override;

    zorv_script_helper(const zorv_script_helper&) = delete;
    zorv_script_helper& operator=(const zorv_script_helper&) = delete;

protected:
    // ---- Handlers, in slot order (shared with the host side) ----
    // Called by the dispatcher only, inside callback; each may send any
    // command, queries included. A view, and all it points at, is lent for
    // the call: keep the copies its accessors return, never the view.
    virtual void buttonCallback(ButtonView* view) = 0;           // code 2
    virtual int eventOneCallback(EventView* view) = 0;           // code 1; result ignored
    virtual zorv_string parentCallback(MessageView* view) = 0;   // code 3; the reply, "" for none
    virtual void eventSevenCallback(EventView* view);            // code 7; does nothing
    virtual void timerCallback(int timer) = 0;                   // code 4
    virtual void eventSixCallback(EventView* view);              // code 6; does nothing

    // ---- Host commands ----
    // Each sends one command line with code 0, lent to the host for the call.
    // Callable from the derived constructor, handlers of codes 1-4, 6, 7 and
    // the derived destructor; never while a reply is released (code 5), never
    // after "AS". Texts go out quoted as given (nothing escaped), integers in
    // decimal. Without a host nothing is sent and each gives the result noted.

    // PS '{panel}' '{basePath}/{layout}' ['{extra}'], no base path when empty.
    // True when the host answered non-null, or when there is no host. That
    // result is the host's: only null or not counts, it is never handed back.
    bool panelShow(const zorv_string& panel, const zorv_string& layout, const zorv_string& extra);
    // TP '{property}={value}' '{panel}' '{control}'; the result is ignored.
    void textPut(const zorv_string& property, const zorv_string& value, const zorv_string& panel,
                 const zorv_string& control);
    // TG '{panel}' '{control}' '{property}'. The reply is copied and handed back
    // at once. out (the caller's) gets the value of "{property}={value}", the
    // whole reply for "all", or "" (no host or reply; another property named).
    void textGet(const zorv_string& property, const zorv_string& panel, const zorv_string& control,
                 zorv_string& out);
    // RC {device} {source} {destination} ',{tail}' {1|0}; the result is ignored.
    void routeCrosspoint(int device, int source, int destination, const zorv_string& tail, bool flag);
    // ET {timer} {interval}; ET {timer} alone when interval is 0. Result ignored.
    void timerStart(int timer, int interval);
    // ET {timer}: stops the host timer; the result is ignored.
    void timerStop(int timer);
    // HN '{text}': a notification to the parent panel; the result is ignored.
    void notifyHost(const zorv_string& text);
    // SD '{instance}'. *device and *offset (the caller's; null skips either)
    // become 0, then the first two tokens of the reply, which is handed back
    // at once. True when the host replied (non-null), whatever the tokens.
    bool instanceLookup(zorv_string instance, int* device, int* offset);
    // XI '{panel}' '{prefix}': the controls the host lists, in its order, as a
    // list the caller owns (the reply is handed back at once); empty without a
    // host or reply.
    zorv_stringlist controlList(const zorv_string& panel, const zorv_string& prefix);
    // AS: detach. Not yours to call: the base's destructor sends it as the
    // component's last command. A component that sends it itself makes every
    // later command, the destructor's own "AS" included, a rule break.
    void detachHost();
    // Fills %1..%9 of format with a1..a9 (empty for unused ones) and writes it
    // to the debug output, no line end. Any time, with or without a host:
    // nothing goes to the host.
    void debugPrint(const zorv_string& format, const zorv_string& a1, const zorv_string& a2,
                    const zorv_string& a3, const zorv_string& a4, const zorv_string& a5,
                    const zorv_string& a6, const zorv_string& a7, const zorv_string& a8,
                    const zorv_string& a9);

    // ---- Alarm-group actions ----
    // Writes action to the "alarm" property of every "alm_" control of panel
    // 1 and sets or acknowledges its "value" state as the action says. Sends
    // commands (XI, TP, TG), so it is called where commands may be.
    void alarmGroupAction(const zorv_string& action);
    // While on, "ActionAll" (event head "alarm") and "AckAll" button events
    // start alarmGroupAction and do not reach buttonCallback. Off by default;
    // may be switched at any time, and acts from the next button event.
    void setAlarmActionsEnabled(bool enabled) { alarmActionsEnabled = enabled; }
    bool alarmActionsOn() const { return alarmActionsEnabled != 0; }   // the switch above

    // The host given at construction, null for none; the host's, never to be
    // deleted. Whatever is sent on it directly keeps the commands' rules above.
    zorv_client_callback* hostCallback() const { return host; }
    // The base path given at construction ("" for null); valid while the
    // component lives.
    const zorv_string& layoutBasePath() const { return basePath; }

private:
    // Sends one command line; returns the host's result (null without host).
    const char* sendCommand(const char* line);
    // Hands a non-null query reply back to the host.
    void releaseReply(const char* reply);
    // Sends a query and copies its reply into out (which stays untouched when
    // there is no reply). Returns false when there was none.
    bool query(const char* line, zorv_string& out);
    const char* dispatchParentMessage(const char* text);
    void dispatchButton(const ButtonEvent* event);
    bool interceptAlarmButton(ButtonView* view);

    zorv_client_callback* host;
    zorv_string basePath;
    bool alarmActionsEnabled;
};

#endif
