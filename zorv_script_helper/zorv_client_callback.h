// The one interface between a panel host and a script component.
//
// Both sides implement it: the host calls callback() on the component to
// deliver events, and the component calls callback() on the host object it
// was created with to send commands. The object layout (a pointer to the
// table of virtual operations first) and the slot order — destructor, then
// callback — are shared with the host and must not change.
//
// Threads: every call comes on the host's calling thread, one at a time.
// Memory: each side frees only what it allocated, and exactly two kinds of
// text travel back to be freed, with zorv_code::release: a component's reply
// to a parent message, and a host's non-null reply to a query ("TG", "SD",
// "XI"), handed back once copied. Nothing else is ever handed back: not a
// null, not a command line, and not the host's result for "PS" or any other
// command, which stays the host's (for "PS" only null or non-null counts).
#ifndef ZORV_CLIENT_CALLBACK_H
#define ZORV_CLIENT_CALLBACK_H

namespace zorv_code {

// Host -> component: the event codes of callback(data, code).
constexpr int eventOne = 1;       // data: opaque word, never read; result null
constexpr int button = 2;         // data: const ButtonEvent*, the host's, lent for the call; result null
constexpr int parentMessage = 3;  // data: const char* message (null = empty), the host's, lent for
                                  // the call; result: a reply the component owns until it comes
                                  // back with release, or null
constexpr int timer = 4;          // data: the timer number itself; result null
constexpr int release = 5;        // data: a reply the component returned for code 3, freed now by
                                  // the component; null does nothing; result null
constexpr int eventSix = 6;       // data: opaque word, never read; result null
constexpr int eventSeven = 7;     // data: opaque word, never read; result null

// Component -> host.
constexpr int command = 0;        // data: const char* command line, the component's, valid during
                                  // the call only. Result, always the host's: a query's reply or
                                  // null; for "PS" non-null is success; else ignored
// release (5) also goes to the host: data is a non-null query reply the host
// returned, handed back exactly once after it was copied.

} // namespace zorv_code

class zorv_client_callback {
public:
    // Deleting destructor: the host destroys a component through it, once,
    // after its last event. A component never deletes the host's object,
    // which outlives every component made with it.
    virtual ~zorv_client_callback() {}

    // On a component: the host delivers event codes 1..7 (others answer null).
    // On the host: a component sends command (0) or release (5). data is one
    // pointer-sized word; what it holds, who owns it and for how long, and who
    // owns the result (a NUL-terminated text or null) are given per code above.
    virtual const char* callback(void* data, int code) = 0;
};

#endif
