// Which event is being delivered to the component: the words that notes,
// warnings and crash reports name it by. One per process, since the crash
// report, which runs in a fault handler, reads it without locks or the heap.
#ifndef ZORV_HOST_EVENT_CONTEXT_H
#define ZORV_HOST_EVENT_CONTEXT_H

#include <string>

namespace zorv_host {

// Describes the event about to be delivered ("button 1 Fire with event text
// ..."); longer descriptions are cut at 511 bytes.
void setCurrentEvent(const std::string& description);
// Starts delivering an event: every delivery names its event for crash
// reports and rule breaks, the caller's description when it gave one since
// the last start, else fallback. A crash is never put down to the event
// before.
void beginEvent(const std::string& fallback);
std::string currentEventText();
// The same, for a fault handler: a buffer that lives as long as the process.
const char* currentEventForCrash();

} // namespace zorv_host

#endif
