// The roads the benchmark times and bench/instruction_counts.py counts: one
// round of each, on a host that keeps no heap, so that the figures of both
// are of the same code.
#ifndef ZORV_BENCH_ROADS_H
#define ZORV_BENCH_ROADS_H

#include <cstddef>

#include "zorv_client_callback.h"

namespace roads {

// A host that records nothing but the last command, into a fixed buffer:
// no heap, so every allocation counted is the component's.
class QuietHost : public zorv_client_callback {
public:
    const char* callback(void* data, int code) override;
    char last[256] = {};
    std::size_t commands = 0;
    char lookupReply[16] = "12 34";
};

// A destination component on host; the caller deletes it.
zorv_client_callback* makeSelvarin(QuietHost& host);
// Gives the component its instance and state sheet, so that the take road
// routes: device 12, destination 34.
void prepareTakeRoad(zorv_client_callback* component);

// The automatic-take road through callback: "activedest" (state sheet),
// "source" (route and timer start), timer 1 (notification and timer stop).
// Ends with the host's last line "ET 1".
const int takeRoadEvents = 3;
void playTakeRoad(zorv_client_callback* component);

// The floor: the take road's five command lines formatted by hand with
// snprintf into a stack buffer and given to host. Counted per take-road event.
void playFloor(QuietHost& host);

// "source=5" while not selected: sends nothing, replies nothing.
const int quietMessageEvents = 1;
const char* playQuietMessage(zorv_client_callback* component);

} // namespace roads

#endif
