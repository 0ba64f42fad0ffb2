// zorv-host soak: a long run of ordinary events through one component, with
// the host's books and the process's memory printed at checkpoints.
#ifndef ZORV_HOST_SOAK_H
#define ZORV_HOST_SOAK_H

#include <string>
#include <vector>

#include "session.h"
#include "vocabulary.h"

namespace zorv_host {

struct SoakOptions {
    std::string library;
    long events = 100000;
    bool guard = true;   // lent memory in guarded pages
    VocabularySources sources;   // controls and scenarios to send besides the ordinary round
};

// Runs the soak; returns the exit status.
int runSoak(const SoakOptions& options);

// One round of the soak's ordinary use through session: a new instance
// every fifth round, the selection, takes, the timer, the Monitor button,
// settings and list queries, then the next message, control and timer of
// vocabulary in turn. Returns the events delivered (14 to 18).
long playSoakRound(Session& session, const Vocabulary& vocabulary, long round);

} // namespace zorv_host

#endif
