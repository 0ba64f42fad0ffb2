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
    // host may be null: every command is then dropped. basePath may be null
    // (taken as empty); it is copied.
    zorv_script_helper(zorv_client_callback* host, const char* basePath);
    // Sends the detach command "AS" when a host is attached: the last thing a
    // component sends. A derived component's members are gone by then.
    ~zorv_script_helper() override;

    // The dispatcher: turns each event code into one handler call. Codes
    // outside 1..7 answer null. A parent message's non-empty reply comes back
    // as a fresh array of length + 1 bytes that the host returns with code 5;
    // an empty reply comes back as null.
    const char* callback(void* data, int code) override;

    zorv_script_helper(const zorv_script_helper&) = delete;
    zorv_script_helper& operator=(const zorv_script_helper&) = delete;

protected:
    // ---- Handlers, in slot order (shared with the host side) ----
    // Each view lives for the call only; keep copies, never the view.
    virtual void buttonCallback(ButtonView* view) = 0;           // code 2
    virtual int eventOneCallback(EventView* view) = 0;           // code 1; result ignored
    virtual zorv_string parentCallback(MessageView* view) = 0;   // code 3; the reply
    virtual void eventSevenCallback(EventView* view);            // code 7; does nothing
    virtual void timerCallback(int timer) = 0;                   // code 4
    virtual void eventSixCallback(EventView* view);              // code 6; does nothing

    // ---- Host commands ----
    // Each sends one command line with code 0. Texts go out between single
    // quotes exactly as given (nothing escaped); integers in plain decimal.
    // Without a host nothing is sent and each gives the result noted.

    // PS '{panel}' '{basePath}/{layout}' ['{extra}']. True when the host
    // answered non-null, or when there is no host.
    bool panelShow(const zorv_string& panel, const zorv_string& layout, const zorv_string& extra);
    // TP '{property}={value}' '{panel}' '{control}'
    void textPut(const zorv_string& property, const zorv_string& value, const zorv_string& panel,
                 const zorv_string& control);
    // TG '{panel}' '{control}' '{property}'. out gets the value of the reply
    // "{property}={value}", the whole reply for property "all", or "" (no host,
    // no reply, or a reply naming another property: one diagnostic line).
    void textGet(const zorv_string& property, const zorv_string& panel, const zorv_string& control,
                 zorv_string& out);
    // RC {device} {source} {destination} ',{tail}' {1|0}
    void routeCrosspoint(int device, int source, int destination, const zorv_string& tail, bool flag);
    // ET {timer} {interval}; ET {timer} alone when interval is 0.
    void timerStart(int timer, int interval);
    // ET {timer}
    void timerStop(int timer);
    // HN '{text}': a notification to the parent panel.
    void notifyHost(const zorv_string& text);
    // SD '{instance}'. *device and *offset (either may be null) become 0, then
    // the first two tokens of the reply. True when the host replied.
    bool instanceLookup(zorv_string instance, int* device, int* offset);
    // XI '{panel}' '{prefix}': the controls the host lists, in its order;
    // empty without a host or reply.
    zorv_stringlist controlList(const zorv_string& panel, const zorv_string& prefix);
    // AS: detach. Sent by the destructor; a component need not call it.
    void detachHost();
    // Fills %1..%9 of format with a1..a9 and writes it to the debug output
    // (no line end). Nothing goes to the host.
    void debugPrint(const zorv_string& format, const zorv_string& a1, const zorv_string& a2,
                    const zorv_string& a3, const zorv_string& a4, const zorv_string& a5,
                    const zorv_string& a6, const zorv_string& a7, const zorv_string& a8,
                    const zorv_string& a9);

    // ---- Alarm-group actions ----
    // Writes action to the "alarm" property of every "alm_" control of panel
    // 1 and sets or acknowledges its "value" state as the action says.
    void alarmGroupAction(const zorv_string& action);
    // While on, "ActionAll" (event head "alarm") and "AckAll" button events
    // start alarmGroupAction and do not reach buttonCallback. Off by default.
    void setAlarmActionsEnabled(bool enabled) { alarmActionsEnabled = enabled; }
    bool alarmActionsOn() const { return alarmActionsEnabled != 0; }

    zorv_client_callback* hostCallback() const { return host; }
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
