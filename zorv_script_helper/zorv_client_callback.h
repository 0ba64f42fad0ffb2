// The one interface between a panel host and a script component.
//
// Both sides implement it: the host calls callback() on the component to
// deliver events, and the component calls callback() on the host object it
// was created with to send commands. The object layout (a pointer to the
// table of virtual operations first) and the slot order — destructor, then
// callback — are shared with the host and must not change.
//
// Threads: every call comes on the host's calling thread, one at a time.
// Memory: whoever allocates a text that crosses the boundary frees it; the
// other side hands it back with zorv_code::release.
#ifndef ZORV_CLIENT_CALLBACK_H
#define ZORV_CLIENT_CALLBACK_H

namespace zorv_code {

// Host -> component: the event codes of callback(data, code).
constexpr int eventOne = 1;       // data: opaque word, never read; result null
constexpr int button = 2;         // data: const ButtonEvent*, owned by the host; result null
constexpr int parentMessage = 3;  // data: const char* message (null = empty), owned by the host;
                                  // result: reply owned by the component, or null
constexpr int timer = 4;          // data: the timer number itself; result null
constexpr int release = 5;        // data: a reply the component returned for code 3, or null
constexpr int eventSix = 6;       // data: opaque word, never read; result null
constexpr int eventSeven = 7;     // data: opaque word, never read; result null

// Component -> host.
constexpr int command = 0;        // data: const char* command line, valid during the call only;
                                  // result: the reply of a query (owned by the host), or null
// release (5) also goes to the host: data is a query reply the host returned.

} // namespace zorv_code

class zorv_client_callback {
public:
    // Deleting destructor: the host destroys a component through it.
    virtual ~zorv_client_callback() {}

    // data is one pointer-sized word whose meaning depends on code (see
    // zorv_code). Returns a NUL-terminated text or null.
    virtual const char* callback(void* data, int code) = 0;
};

#endif
