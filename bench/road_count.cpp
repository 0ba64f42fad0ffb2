// Plays one road a given number of rounds for an instruction count:
//   zorv_road_count take|floor|quiet ROUNDS
// Under callgrind, --toggle-collect=zorv_counted_rounds counts the rounds
// alone (set-up and warm-up excluded). Prints "events N": the events played
// inside it, which the count is divided by.
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

int main(int argc, char** argv)
{
    const Road* road = argc == 3 ? findRoad(argv[1]) : nullptr;
    char* end = nullptr;
    const long rounds = argc == 3 ? std::strtol(argv[2], &end, 10) : 0;
    if (!road || !end || *end != '\0' || rounds < 1) {
        std::fprintf(stderr, "usage: zorv_road_count take|floor|quiet ROUNDS (at least 1)\n");
        return 2;
    }
    QuietHost host;
    zorv_client_callback* component = roads::makeSelvarin(host);
    if (!component) {
        std::fprintf(stderr, "zorv_road_count: the factory made no component\n");
        return 1;
    }
    if (road->prepared)
        roads::prepareTakeRoad(component);
    // Warm-up: the first calls resolve the text library's symbols.
    for (int i = 0; i < 16; ++i)
        road->play(host, component);
    zorv_counted_rounds(road, &host, component, rounds);
    delete component;
    std::printf("events %ld\n", rounds * road->eventsPerRound);
    return 0;
}
