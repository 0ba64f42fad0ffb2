// Plays each road (take, floor, quiet, or those named) a given number of
// rounds for an instruction count:
//   zorv_road_count ROUNDS [ROAD...]
// Under callgrind, --toggle-collect=zorv_counted_rounds counts the rounds
// alone (set-up and warm-up excluded), and --dump-after=zorv_counted_rounds
// writes one part per road, in the order played. Prints "build COMPILER
// FLAGS" (counts depend on both), then "ROAD EVENTS" for each road: the
// events its part holds, which its count is divided by.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "roads.h"

namespace {

using roads::QuietHost;

struct Road {
    const char* name;
    int eventsPerRound;
    bool prepared;   // the component routes (the take road's set-up)
    void (*play)(QuietHost& host, zorv_client_callback* component);
};

const Road roadTable[] = {
    {"take", roads::takeRoadEvents, true, [](QuietHost&, zorv_client_callback* c) { roads::playTakeRoad(c); }},
    {"floor", roads::takeRoadEvents, false, [](QuietHost& host, zorv_client_callback*) { roads::playFloor(host); }},
    {"quiet", roads::quietMessageEvents, false,
     [](QuietHost&, zorv_client_callback* c) { roads::playQuietMessage(c); }},
};

const Road* findRoad(const char* name)
{
    for (const Road& road : roadTable)
        if (std::strcmp(road.name, name) == 0)
            return &road;
    return nullptr;
}

} // namespace

// The counted part; a name of its own for callgrind's --toggle-collect.
extern "C" __attribute__((noinline)) void zorv_counted_rounds(const Road* road, QuietHost* host,
                                                               zorv_client_callback* component, long rounds)
{
    for (long i = 0; i < rounds; ++i)
        road->play(*host, component);
}

// Plays road on a component of its own; returns the events counted.
long playCounted(const Road& road, long rounds)
{
    QuietHost host;
    zorv_client_callback* component = roads::makeSelvarin(host);
    if (!component)
        return -1;
    if (road.prepared)
        roads::prepareTakeRoad(component);
    // Warm-up: the first calls resolve the text library's symbols.
    for (int i = 0; i < 16; ++i)
        road.play(host, component);
    zorv_counted_rounds(&road, &host, component, rounds);
    delete component;
    return rounds * road.eventsPerRound;
}

int usage()
{
    std::fprintf(stderr, "usage: zorv_road_count ROUNDS [take|floor|quiet]... (ROUNDS at least 1)\n");
    return 2;
}

int main(int argc, char** argv)
{
    char* end = nullptr;
    const long rounds = argc >= 2 ? std::strtol(argv[1], &end, 10) : 0;
    if (!end || *end != '\0' || rounds < 1)
        return usage();
    std::vector<const Road*> chosen;
    for (int i = 2; i < argc; ++i) {
        const Road* road = findRoad(argv[i]);
        if (!road)
            return usage();
        chosen.push_back(road);
    }
    if (chosen.empty())
        for (const Road& road : roadTable)
            chosen.push_back(&road);
    std::printf("build %s\n", ZORV_BUILD_IDENTITY);
    for (const Road* road : chosen) {
        const long events = playCounted(*road, rounds);
        if (events < 0) {
            std::fprintf(stderr, "zorv_road_count: the factory made no component\n");
            return 1;
        }
        std::printf("%s %ld\n", road->name, events);
    }
    return 0;
}
