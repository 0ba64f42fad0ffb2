#include "soak.h"

#include <cstdio>
#include <iostream>

#include "guarded_memory.h"
#include "library_loader.h"
#include "paths.h"
#include "platform/memory_usage.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_host {

long playSoakRound(Session& session, const Vocabulary& vocabulary, long round)
{
    const std::string instance = "instance=DEST" + std::to_string(round % 50);
    const char* messages[] = {"activedest=34", "source=5", "selectedbg=on", "deselectedbg=off",
                              "return=all", "_events", "_commands", "activedest=7", "source=6", "x.y=z"};
    const std::string at = "soak: round " + std::to_string(round) + ": ";
    if (round % 5 == 0) {
        setCurrentEvent(at + "parent " + quoteText(instance));
        session.parentMessage(instance);
    }
    for (const char* message : messages) {
        setCurrentEvent(at + "parent " + quoteText(message));
        session.parentMessage(std::string(message));
    }
    setCurrentEvent(at + "timer 1");
    session.timer(1);
    setCurrentEvent(at + "button 1 Monitor");
    session.button("1", "Monitor", "");
    setCurrentEvent(at + "event 6");
    session.rawEvent(6, nullptr);
    long delivered = 14 + (round % 5 == 0 ? 1 : 0);
    const std::size_t turn = static_cast<std::size_t>(round);
    if (!vocabulary.messages.empty()) {
        const std::string& message = vocabulary.messages[turn % vocabulary.messages.size()];
        setCurrentEvent("soak: round " + std::to_string(round) + ": parent " + quoteText(message));
        session.parentMessage(message);
        ++delivered;
    }
    if (!vocabulary.controls.empty()) {
        const PanelControl& control = vocabulary.controls[turn % vocabulary.controls.size()];
        setCurrentEvent("soak: round " + std::to_string(round) + ": button " + control.panel + " " + control.control
                        + " " + quoteText(control.eventText) + " (" + control.origin + ")");
        session.button(control.panel, control.control, control.eventText);
        ++delivered;
    }
    if (!vocabulary.timers.empty()) {
        int timer = vocabulary.timers[turn % vocabulary.timers.size()];
        setCurrentEvent("soak: round " + std::to_string(round) + ": timer " + std::to_string(timer));
        session.timer(timer);
        ++delivered;
    }
    return delivered;
}

namespace {

// What the soak counted, printed at each tenth of the run and at its end.
struct SoakFigures {
    long delivered = 0, notes = 0, firstMemory = -1, lastMemory = -1;
    std::size_t commands = 0;
};

// Plays rounds until events were delivered, printing a line of figures at
// each tenth.
SoakFigures soakRounds(Session& session, SimHost& host, const Vocabulary& vocabulary, long events)
{
    std::printf("%10s %10s %12s %12s %8s %12s\n", "events", "commands", "handbacks", "outstanding", "notes",
                "memory KiB");
    SoakFigures figures;
    const long checkpoint = events / 10 > 0 ? events / 10 : 1;
    long nextCheckpoint = checkpoint;
    for (long round = 0; figures.delivered < events; ++round) {
        setCurrentEvent("soak: round " + std::to_string(round));
        figures.delivered += playSoakRound(session, vocabulary, round);
        figures.commands += host.takeCommands().size();
        host.clearLog();   // the host's own log must not be what grows
        figures.notes += static_cast<long>(host.takeNotes().size());
        if (figures.delivered >= nextCheckpoint || figures.delivered >= events) {
            figures.lastMemory = platform::processMemoryKiB();
            if (figures.firstMemory < 0)
                figures.firstMemory = figures.lastMemory;
            std::printf("%10ld %10zu %12zu %12zu %8ld %12ld\n", figures.delivered, figures.commands,
                        host.handbacks(), host.outstandingReplies(), figures.notes, figures.lastMemory);
            std::fflush(stdout);
            nextCheckpoint += checkpoint;
        }
    }
    return figures;
}

} // namespace

int runSoak(const SoakOptions& options)
{
    const std::string& library = options.library;
    installCrashReporter();
    describeCrashesHere(library);
    guarded::setEnabled(options.guard);
    ComponentLibrary loaded(library);
    if (!loaded.factory()) {
        std::cerr << "zorv-host: " << loaded.error() << "\n";
        return 3;
    }
    SimHost host;
    host.setCheckShapes(false);
    host.answerEveryQuery();
    Vocabulary vocabulary;
    std::string error;
    if (!loadVocabularySources(options.sources, vocabulary, error)) {
        std::cerr << "zorv-host soak: " << error << "\n";
        return 2;
    }
    Session session(loaded.factory(), host);
    setCurrentEvent("soak: create");
    if (!session.create(std::string("C:/panels"))) {
        std::cerr << "zorv-host: the factory returned null\n";
        return 1;
    }
    addShownLayouts(vocabulary, host.allCommands(), folderOf(library));
    askComponent(vocabulary, session);
    std::printf("vocabulary: %zu parent messages, %zu controls, %zu timers besides the ordinary round\n",
                vocabulary.messages.size(), vocabulary.controls.size(), vocabulary.timers.size());
    std::fflush(stdout);
    SoakFigures figures = soakRounds(session, host, vocabulary, options.events);
    setCurrentEvent("soak: destroy");
    session.destroy();
    figures.notes += static_cast<long>(host.takeNotes().size());
    std::printf("\n%ld events, %zu commands, %zu query replies handed back, %zu outstanding, %ld rule breaks\n",
                figures.delivered, figures.commands + host.takeCommands().size(), host.handbacks(),
                host.outstandingReplies(), figures.notes);
    std::printf("memory from the first checkpoint to the last: %ld KiB -> %ld KiB (%+ld KiB)\n", figures.firstMemory,
                figures.lastMemory, figures.lastMemory - figures.firstMemory);
    return figures.notes == 0 && host.outstandingReplies() == 0 ? 0 : 1;
}

} // namespace zorv_host
