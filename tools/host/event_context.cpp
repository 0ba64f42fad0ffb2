#include "event_context.h"

#include <cstdio>

namespace zorv_host {

namespace {

char currentEvent[512] = "loading";
// Whether the caller described the event about to be delivered: a session
// delivering an event nobody described describes it itself.
bool eventDescribed = false;

} // namespace

void setCurrentEvent(const std::string& description)
{
    std::snprintf(currentEvent, sizeof currentEvent, "%s", description.c_str());
    eventDescribed = true;
}

void beginEvent(const std::string& fallback)
{
    if (!eventDescribed)
        std::snprintf(currentEvent, sizeof currentEvent, "%s", fallback.c_str());
    eventDescribed = false;
}

std::string currentEventText() { return currentEvent; }

const char* currentEventForCrash() { return currentEvent; }

} // namespace zorv_host
