#include "workbench.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "bridge.h"
#include "bridge_client.h"
#include "child_process.h"
#include "host_model.h"
#include "parent_panel.h"
#include "recording.h"
#include "scenario_files.h"
#include "wine_choice.h"
#include "sim_host.h"
#include "paths.h"

namespace zorv_workbench {

using nlohmann::json;
using zorv_host::EffectKind;
using zorv_host::quoteText;

namespace {

constexpr std::size_t logKept = 20000;
constexpr int shortestTimer = 10;   // ms; a faster host timer would only flood the log

// Failed: never loaded. Crashed: loaded, then crashed, hung or broke the
// protocol. Stopped: the factory made no component.
enum class Status { Starting, Running, Failed, Crashed, Stopped };

const char* statusName(Status status)
{
    switch (status) {
    case Status::Starting: return "starting";
    case Status::Running: return "running";
    case Status::Failed: return "failed";
    case Status::Crashed: return "crashed";
    case Status::Stopped: return "stopped";
    }
    return "?";
}

struct PlacementRun {
    PlacementRun(Placement placement, zorv_host::HostPanel& panel, std::size_t journalBytes)
        : config(std::move(placement)),
          host(panel, zorv_host::HostModelOptions{true, shortestTimer, monotonicSeconds}),
          journal(journalBytes)
    {
    }
    Placement config;
    Status status = Status::Starting;
    std::string why;            // how it failed
    std::string note;           // how it runs, when not as asked
    int wineBits = 0;           // 32 or 64 under Wine, 0 natively
    std::string libraryFile;    // the file the bridge loads
    std::shared_ptr<BridgeClient> bridge;
    int generation = 0;
    zorv_host::HostModel host;   // its panels, timers and detach; the router and instances are the panel's
    std::map<std::string, long long> layoutTimes;   // each shown layout's modification time when shown; 0: none
    std::size_t outstanding = 0, ruleBreaks = 0, events = 0;
    std::string lastRuleBreak;
    long long loadedTime = 0;   // the library's modification time when loaded
    bool changed = false;       // the library or a layout it shows changed on disk since
    Journal journal;
    std::set<std::string> unknownSheets;   // state sheets it used that the panel file lacks
};

// What a recording started now could hold of a placement's life, in words.
std::string recordReach(const Journal& journal)
{
    if (journal.wholeLife())
        return "a recording reaches back to the start of this life (" + std::to_string(journal.steps().size())
               + (journal.steps().size() == 1 ? " event)" : " events)");
    return "this life outgrew what a recording keeps (" + std::to_string(journal.budget() >> 10)
           + " KiB; its oldest " + std::to_string(journal.dropped())
           + " events are gone): restart it to record from its start";
}

long long modificationTime(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return 0;
    return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

std::string dumpJson(const json& value)
{
    // Component texts are bytes, not always UTF-8.
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool makeFolders(const std::string& path)
{
    std::string sofar;
    std::stringstream parts(path);
    std::string part;
    if (!path.empty() && path[0] == '/')
        sofar = "/";
    while (std::getline(parts, part, '/')) {
        if (part.empty())
            continue;
        sofar += part + "/";
        if (mkdir(sofar.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

} // namespace

struct Workbench::Impl {
    PanelFile panel;
    WorkbenchOptions options;
    std::vector<PlacementRun> runs;
    WineChoice wine;            // how the "wine" placements run

    // Parent and router state: host thread only.
    int selectedSource = -1;
    std::optional<int> activeDest;
    zorv_host::HostPanel hostPanel;   // the instances and the router every placement shares
    bool recording = false;
    bool dirty = true;

    // The request queue.
    std::mutex taskMutex;
    std::condition_variable taskCv;
    std::deque<std::function<void()>> tasks;
    std::atomic<bool> stopping{false};
    std::thread host;
    std::mutex starterMutex;
    struct Starter {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<Starter> starters;

    // What the host thread published.
    mutable std::mutex publishMutex;
    mutable std::condition_variable publishCv;
    std::string stateText = "{}";
    std::uint64_t version = 0;
    bool allSettled = false;
    std::deque<LogEntry> log;
    std::uint64_t logSeq = 0;
    double startTime = monotonicSeconds();

    Impl(PanelFile p, WorkbenchOptions o)
        : panel(std::move(p)), options(std::move(o)), hostPanel(zorv_host::HostPanel::of(panel))
    {
        runs.reserve(panel.placements.size());
        for (const Placement& placement : panel.placements)
            runs.emplace_back(placement, hostPanel, options.journalBytes);
        bool wanted = std::any_of(panel.placements.begin(), panel.placements.end(),
                                  [](const Placement& p) { return p.runner == Runner::Wine; });
        if (wanted)
            wine = chooseWine(panel, options);
    }

    // ---- the queue

    void post(std::function<void()> task)
    {
        {
            std::lock_guard<std::mutex> lock(taskMutex);
            tasks.push_back(std::move(task));
        }
        taskCv.notify_one();
    }

    std::future<Outcome> request(std::function<Outcome()> work)
    {
        auto promise = std::make_shared<std::promise<Outcome>>();
        std::future<Outcome> future = promise->get_future();
        if (stopping) {
            promise->set_value(Outcome{false, "the workbench is stopping", {}, {}});
            return future;
        }
        post([this, promise, work = std::move(work)] {
            promise->set_value(stopping ? Outcome{false, "the workbench is stopping", {}, {}} : work());
        });
        return future;
    }

    // ---- the log and what is published

    void addLog(const std::string& placement, const std::string& kind, const std::string& text)
    {
        std::lock_guard<std::mutex> lock(publishMutex);
        log.push_back(LogEntry{++logSeq, monotonicSeconds() - startTime, placement, kind, text});
        if (log.size() > logKept)
            log.pop_front();
        dirty = true;
    }

    void publish()
    {
        std::string text = dumpJson(stateJson());
        bool settledNow = std::all_of(runs.begin(), runs.end(),
                                      [](const PlacementRun& r) { return r.status != Status::Starting; });
        {
            std::lock_guard<std::mutex> lock(publishMutex);
            stateText = std::move(text);
            ++version;
            allSettled = settledNow;
        }
        publishCv.notify_all();
        dirty = false;
    }

    json stateJson() const
    {
        json sheets = json::object();
        for (const auto& [name, sheet] : panel.stateSheets)
            sheets[name] = {{"background", sheet.background}, {"color", sheet.color}, {"border", sheet.border}};
        json sources = json::array();
        if (const RouterDevice* device = panel.device(panel.parentDevice))
            for (std::size_t i = 0; i < device->sources.size(); ++i)
                sources.push_back({{"number", i + 1}, {"name", device->sources[i]}});
        json devices = json::array();
        for (const RouterDevice& device : panel.devices) {
            json points = json::array();
            auto found = hostPanel.crosspoints.find(device.number);
            if (found != hostPanel.crosspoints.end())
                for (const auto& [destination, source] : found->second)
                    points.push_back({{"destination", destination}, {"source", source}});
            devices.push_back({{"number", device.number},
                               {"name", device.name},
                               {"sources", device.sources},
                               {"destinations", device.destinations},
                               {"crosspoints", points}});
        }
        json placements = json::array();
        double now = monotonicSeconds();
        for (const PlacementRun& run : runs)
            placements.push_back(placementJson(run, now));
        json state = {{"title", panel.title},
                      {"panelFile", panel.path},
                      {"recording", recording},
                      {"recordDir", options.recordDir},
                      {"stateSheets", sheets},
                      {"parent",
                       {{"device", panel.parentDevice},
                        {"selectedSource", selectedSource},
                        {"activeDest", activeDest ? json(*activeDest) : json(nullptr)},
                        {"sources", sources}}},
                      {"router", {{"devices", devices}, {"routes", hostPanel.routes}}},
                      {"placements", placements}};
        if (const auto& latest = hostPanel.latest)
            state["router"]["latest"] = {{"device", latest->device},
                                         {"destination", latest->destination},
                                         {"source", latest->source},
                                         {"seq", latest->seq}};
        return state;
    }

    static json placementJson(const PlacementRun& run, double now)
    {
        json timers = json::array();
        for (const auto& [number, timer] : run.host.timers())
            timers.push_back({{"number", number},
                              {"interval", timer.interval},
                              {"dueInMs", std::max(0, static_cast<int>((timer.due - now) * 1000))}});
        json panels = json::array();
        for (const auto& [id, view] : run.host.panels()) {
            json controls = json::array();
            if (view.layout)
                for (const zorv_host::LayoutControl& control : view.layout->controls) {
                    json properties = json::object();
                    if (const auto* props = view.store.properties(control.id))
                        for (const auto& [name, value] : *props)
                            properties[name] = value;
                    controls.push_back({{"id", control.id},
                                        {"kind", zorv_host::kindName(control.kind)},
                                        {"x", control.x},
                                        {"y", control.y},
                                        {"width", control.width},
                                        {"height", control.height},
                                        {"event", control.event},
                                        {"properties", properties}});
                }
            panels.push_back({{"id", id},
                              {"path", view.path},
                              {"error", view.error},
                              {"width", view.layout ? view.layout->width : 0},
                              {"height", view.layout ? view.layout->height : 0},
                              {"controls", controls}});
        }
        return {{"name", run.config.name},
                {"runner", run.wineBits ? "wine" : "native"},
                {"wineBits", run.wineBits},
                {"library", run.libraryFile},
                {"instance", run.config.instance},
                {"selectedbg", run.config.selectedbg},
                {"deselectedbg", run.config.deselectedbg},
                {"note", run.note},
                {"status", statusName(run.status)},
                {"why", run.why},
                {"generation", run.generation},
                {"changed", run.changed},
                {"detached", run.host.detached()},
                {"books",
                 {{"outstanding", run.outstanding},
                  {"ruleBreaks", run.ruleBreaks},
                  {"events", run.events},
                  {"lastRuleBreak", run.lastRuleBreak}}},
                {"unknownSheets", run.unknownSheets},
                {"journal",
                 {{"steps", run.journal.steps().size()},
                  {"dropped", run.journal.dropped()},
                  {"bytes", run.journal.bytes()},
                  {"wholeLife", run.journal.wholeLife()},
                  {"reach", recordReach(run.journal)}}},
                {"timers", timers},
                {"panels", panels}};
    }

    // ---- placements: start, events, failure

    PlacementRun* find(const std::string& name)
    {
        for (PlacementRun& run : runs)
            if (run.config.name == name)
                return &run;
        return nullptr;
    }

    // keepJournal: the component was destroyed cleanly, so its life so far
    // and the new one make one scenario (create, ..., destroy, create, ...).
    void launch(std::size_t index, bool keepJournal = false)
    {
        PlacementRun& run = runs[index];
        resetRun(run, keepJournal);
        std::vector<std::string> argv = bridgeCommand(run);
        if (run.status == Status::Failed)
            return;
        run.loadedTime = modificationTime(run.libraryFile);
        if (!fileExists(run.libraryFile))
            return refuseStart(run, "cannot load: " + run.libraryFile + " is not a file");
        addLog(run.config.name, "status", "starting: " + run.libraryFile + (run.wineBits ? " under " + wineName(wine) : ""));
        startBridge(index, std::move(argv));
    }

    // A placement starts over: no bridge, a fresh host model, no books.
    void resetRun(PlacementRun& run, bool keepJournal)
    {
        if (run.bridge)
            run.bridge->stop();
        run.bridge.reset();
        ++run.generation;
        run.status = Status::Starting;
        run.why.clear();
        run.host.reset();
        run.layoutTimes.clear();
        run.outstanding = run.ruleBreaks = run.events = 0;
        run.lastRuleBreak.clear();
        run.changed = false;
        if (!keepJournal)
            run.journal.newLife();
        run.wineBits = run.config.runner == Runner::Wine ? wine.bits : 0;
        run.note.clear();
    }

    void refuseStart(PlacementRun& run, const std::string& why)
    {
        run.status = Status::Failed;
        run.why = why;
        addLog(run.config.name, "status", run.why);
        dirty = true;
    }

    // The bridge's command line for the placement, under Wine or natively;
    // sets the library it loads and the note on how it runs. A Wine
    // placement that must not run natively fails here.
    std::vector<std::string> bridgeCommand(PlacementRun& run)
    {
        if (run.wineBits) {
            run.libraryFile = wine.bits == 64 ? run.config.dll64 : run.config.dll;
            run.note = wine.note;
            return wineCommand(wine, zorv_host::bridgeArguments(run.libraryFile));
        }
        run.libraryFile = run.config.library;
        std::vector<std::string> argv = zorv_host::bridgeArguments(run.libraryFile);
        argv.insert(argv.begin(), options.selfPath);
        if (run.config.runner == Runner::Wine && wine.insisted)
            refuseStart(run, "cannot run under the Wine asked for: " + wine.problem);
        else if (run.config.runner == Runner::Wine)
            run.note = wine.problem + ": the native module runs instead";
        return argv;
    }

    // Starts the child on a thread of its own (Wine may take seconds) and
    // attaches it on the host thread when it is ready or has failed.
    void startBridge(std::size_t index, std::vector<std::string> argv)
    {
        auto client = std::make_shared<BridgeClient>();
        const int generation = runs[index].generation;
        const double seconds = options.loadSeconds;
        std::lock_guard<std::mutex> lock(starterMutex);
        // Starters that are done are joined here, so that restarting a
        // placement again and again keeps no ended threads around.
        for (auto it = starters.begin(); it != starters.end();) {
            if (*it->done) {
                it->thread.join();
                it = starters.erase(it);
            } else {
                ++it;
            }
        }
        auto done = std::make_shared<std::atomic<bool>>(false);
        starters.push_back({std::thread([this, index, generation, client, argv, seconds, done] {
                                bool ok = client->start(argv) && client->waitReady(seconds, &stopping);
                                post([this, index, generation, client, ok] { attach(index, generation, client, ok); });
                                *done = true;
                            }),
                            done});
    }

    void attach(std::size_t index, int generation, const std::shared_ptr<BridgeClient>& client, bool ok)
    {
        PlacementRun& run = runs[index];
        if (generation != run.generation || stopping) {
            client->stop();
            return;
        }
        if (!ok) {
            failed(run, client->failure(), *client);
            return;
        }
        run.bridge = client;
        run.status = Status::Running;
        addLog(run.config.name, "status", "running");
        std::string base = run.config.basePath.empty() ? zorv_host::folderOf(run.libraryFile) : run.config.basePath;
        if (!deliver(run, "create " + quoteText(base)).ok)
            return;
        if (run.journal.back().noComponent) {
            run.status = Status::Stopped;
            run.why = "the factory returned null: there is no component to drive";
            addLog(run.config.name, "status", run.why);
            return;
        }
        configure(run);
    }

    // The parent's configuration of a placement, at start and after a
    // restart; the active destination too, so that a restarted component
    // shows the panel's selection again.
    void configure(PlacementRun& run)
    {
        for (const std::string& message : zorv_host::placementConfiguration(run.config, activeDest))
            if (!parentMessage(run, message).ok)
                return;
    }

    Outcome parentMessage(PlacementRun& run, const std::string& text)
    {
        addLog(run.config.name, "parent", "sends \"" + zorv_host::escapeText(text) + "\"");
        return deliver(run, "parent " + quoteText(text), true);
    }

    // A message typed for one placement. The active destination is the
    // panel's, not a placement's: a typed "activedest=" moves it for every
    // placement, as a press does, so that no two show themselves selected.
    Outcome typedParentMessage(PlacementRun& target, const std::string& text)
    {
        std::optional<int> destination = zorv_host::activeDestinationIn(text);
        if (!destination)
            return parentMessage(target, text);
        activeDest = *destination;
        return broadcast(text, &target, "the active destination is the panel's");
    }

    // What the bridge's exchange does with each thing the component sends
    // during one event: each is logged and kept in the journal's step.
    ExchangeHandlers stepHandlers(PlacementRun& run, JournalStep& step)
    {
        ExchangeHandlers handlers;
        handlers.command = [this, &run, &step](const std::string& command) {
            step.commands.push_back(command);
            addLog(run.config.name, "cmd", command);
            carryOut(run, command);
        };
        handlers.query = [this, &run, &step](const std::string& query) {
            step.commands.push_back(query);
            std::optional<std::string> answer = carryOut(run, query);
            step.answers.push_back({query, answer});
            addLog(run.config.name, "query", query + "  \u2192 " + (answer ? quoteText(*answer) : "null"));
            return answer;
        };
        // A note is the transcript's: a rule break, or a factory's null.
        auto noted = [this, &run, &step](const std::string& note) {
            step.notes.push_back(note);
            ++run.ruleBreaks;
            run.lastRuleBreak = note;
            addLog(run.config.name, "note", note);
        };
        handlers.note = [noted](const zorv_host::RuleBreak& broken) { noted(broken.detail); };
        handlers.noComponent = [noted, &step](const std::string& note) {
            step.noComponent = true;
            noted(note);
        };
        return handlers;
    }

    // One event, start to end: the line goes to the bridge, its commands are
    // carried out and its queries answered as they come.
    Outcome deliver(PlacementRun& run, const std::string& line, bool parent = false)
    {
        Outcome outcome;
        if (run.status != Status::Running || !run.bridge) {
            outcome.error = run.config.name + " is " + statusName(run.status);
            return outcome;
        }
        JournalStep step;
        step.event = line;
        step.parent = parent;
        if (recording && run.journal.recordFrom() == run.journal.steps().size() && !run.journal.empty())
            step.comment = "recording switched on: what follows was recorded; the steps above set the "
                           "component up as the workbench did";
        ++run.events;
        addLog(run.config.name, "event", line);
        ExchangeHandlers handlers = stepHandlers(run, step);
        ExchangeResult result = run.bridge->exchange(line, handlers, options.eventSeconds);
        if (!result.ok) {
            step.failure = run.bridge->failure();
            run.journal.add(std::move(step), recording);
            failed(run, run.bridge->failure(), *run.bridge);
            outcome.error = run.why;
            return outcome;
        }
        if (!result.error.empty()) {
            addLog(run.config.name, "error", result.error);
            outcome.error = result.error;
            return outcome;
        }
        run.outstanding = result.outstanding;
        step.reply = result.reply;
        if (parent)
            addLog(run.config.name, "reply", result.reply ? quoteText(*result.reply) : "null");
        run.journal.add(std::move(step), recording);
        outcome.ok = true;
        outcome.reply = result.reply;
        dirty = true;
        return outcome;
    }

    // A child that never loaded failed; one that failed later crashed (or
    // hung, or broke the protocol: failure.end says which).
    void failed(PlacementRun& run, const ChildFailure& failure, const BridgeClient& client)
    {
        const Status status = failure.loading ? Status::Failed : Status::Crashed;
        run.status = status;
        run.why = failure.text;
        // A crash report names the place in the component's code; anything
        // else the child said last is shown as it is.
        const std::string tail = client.errorTail(4000);
        const std::string crash = zorv_host::describedCrash(tail, run.libraryFile);
        std::size_t lastLine = tail.rfind('\n');
        std::string last = lastLine == std::string::npos ? tail : tail.substr(lastLine + 1);
        if (!crash.empty())
            run.why += " — " + crash;
        else if (!last.empty())
            run.why += " — it said: " + last;
        run.host.timers().clear();
        if (run.bridge)
            run.bridge->stop();
        addLog(run.config.name, "status", std::string(statusName(status)) + ": " + run.why);
        dirty = true;
    }

    // ---- the host's side of each command: the host model carries it out,
    // the workbench logs what it did and lets the parent react.

    // A state sheet the panel file does not define is drawn plain: said once
    // a placement and name, in the log and on the card.
    void noteUnknownSheet(PlacementRun& run, const std::string& assignment)
    {
        const std::string prefix = "statesheet=";
        if (assignment.compare(0, prefix.size(), prefix) != 0)
            return;
        const std::string sheet = assignment.substr(prefix.size());
        if (sheet.empty() || panel.stateSheets.count(sheet) || !run.unknownSheets.insert(sheet).second)
            return;
        addLog(run.config.name, "error", "the state sheet \"" + sheet + "\" is not in the panel file's "
                                         "\"state_sheets\": the page draws it plain");
    }

    std::optional<std::string> carryOut(PlacementRun& run, const std::string& line)
    {
        zorv_host::HostAction action = run.host.carryOut(line);
        const zorv_host::Effect& effect = action.effect;
        const std::string& name = run.config.name;
        switch (effect.kind) {
        case EffectKind::notCarriedOut:
        case EffectKind::afterDetach:
        case EffectKind::propertyRefused: addLog(name, "error", effect.text); break;
        case EffectKind::panelNotShown: addLog(name, "error", effect.text); [[fallthrough]];
        case EffectKind::panelShown: run.layoutTimes[effect.file] = modificationTime(effect.file); break;
        case EffectKind::timerStarted:
        case EffectKind::timerStopped: addLog(name, "timer", effect.text); break;
        case EffectKind::routed:
        case EffectKind::routeRefused: addLog(name, "router", effect.text); break;
        case EffectKind::notified: notifyParent(run, effect.text); break;
        case EffectKind::detached: addLog(name, "status", effect.text); break;
        case EffectKind::propertySet: noteUnknownSheet(run, effect.text); break;
        case EffectKind::queried: break;
        }
        return action.answer;
    }

    // The parent reacts after the event that notified it is over: a
    // component is never called back while it is inside a call.
    void notifyParent(PlacementRun& run, const std::string& text)
    {
        addLog(run.config.name, "parent", "notified \"" + zorv_host::escapeText(text) + "\"");
        const zorv_host::ParentReaction reaction = zorv_host::parentReactionTo(text);
        switch (reaction.kind) {
        case zorv_host::ParentReaction::Kind::activate:
            post([this, destination = reaction.destination] { activate(destination); });
            break;
        case zorv_host::ParentReaction::Kind::clearSource:
            post([this] {
                selectedSource = -1;
                addLog("", "parent", "source selection cleared");
                dirty = true;
            });
            break;
        case zorv_host::ParentReaction::Kind::none: break;
        }
    }

    void activate(int destination)
    {
        activeDest = destination;
        broadcast(zorv_host::activeDestinationMessage(destination));
    }

    // Sends a parent message to every running placement, and returns what
    // `from` made of it (an error where `from` is not running); why, if
    // given, says in the log why it went to all.
    Outcome broadcast(const std::string& message, PlacementRun* from = nullptr, const std::string& why = "")
    {
        addLog("", "parent",
               "sends \"" + zorv_host::escapeText(message) + "\" to every placement" + (why.empty() ? "" : ": " + why));
        Outcome outcome;
        for (PlacementRun& run : runs) {
            if (&run != from && run.status != Status::Running)
                continue;
            Outcome delivered = deliver(run, "parent " + quoteText(message), true);
            if (&run == from)
                outcome = delivered;
        }
        dirty = true;
        return outcome;
    }

    // ---- the host's own clock

    double nextDue() const
    {
        double due = monotonicSeconds() + 0.25;
        for (const PlacementRun& run : runs)
            for (const auto& entry : run.host.timers())
                due = std::min(due, entry.second.due);
        return due;
    }

    void fireTimers()
    {
        double now = monotonicSeconds();
        for (PlacementRun& run : runs) {
            std::vector<int> due;
            for (auto& [number, timer] : run.host.timers())
                if (timer.due <= now) {
                    due.push_back(number);
                    timer.due = std::max(timer.due + timer.interval / 1000.0, now + 0.001);
                }
            for (int number : due)
                if (run.status == Status::Running && run.host.timers().count(number)) {
                    addLog(run.config.name, "timer", "timer " + std::to_string(number) + " expired");
                    deliver(run, "timer " + std::to_string(number));
                }
        }
    }

    // A changed library, or a changed (or new, or removed) layout of a panel
    // the component showed, offers a reload: the component loads its layouts
    // itself, so only a new start shows the new one.
    void watchFiles()
    {
        for (PlacementRun& run : runs) {
            if (run.changed || run.libraryFile.empty())
                continue;
            long long time = modificationTime(run.libraryFile);
            if (time != 0 && time != run.loadedTime) {
                run.changed = true;
                addLog(run.config.name, "status", run.libraryFile + " changed on disk: reload to use it");
                continue;
            }
            // The layouts shown now: a panel shown again with another file
            // no longer watches the first.
            for (const auto& [id, view] : run.host.panels()) {
                auto shown = run.layoutTimes.find(view.path);
                if (shown != run.layoutTimes.end() && modificationTime(view.path) != shown->second) {
                    run.changed = true;
                    addLog(run.config.name, "status",
                           "the layout " + view.path + " changed on disk: reload to use it");
                    break;
                }
            }
        }
    }

    void hostLoop()
    {
        double nextWatch = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(taskMutex);
                double wait = std::max(0.0, nextDue() - monotonicSeconds());
                taskCv.wait_for(lock, std::chrono::duration<double>(wait),
                                [this] { return stopping || !tasks.empty(); });
                if (stopping)
                    break;
                if (!tasks.empty()) {
                    task = std::move(tasks.front());
                    tasks.pop_front();
                }
            }
            if (task)
                task();
            fireTimers();
            if (monotonicSeconds() >= nextWatch) {
                watchFiles();
                nextWatch = monotonicSeconds() + 1.0;
            }
            if (dirty)
                publish();
        }
        for (PlacementRun& run : runs)
            if (run.bridge)
                run.bridge->stop();
        runLeftTasks();
        publish();
    }

    // Tasks still queued at the end answer their requests with "stopping".
    void runLeftTasks()
    {
        std::deque<std::function<void()>> left;
        {
            std::lock_guard<std::mutex> lock(taskMutex);
            left.swap(tasks);
        }
        for (auto& task : left)
            task();
    }

    // ---- requests

    Outcome press(const std::string& name, const std::string& panelId, const std::string& control)
    {
        PlacementRun* run = find(name);
        if (!run)
            return Outcome{false, "no placement \"" + name + "\"", {}, {}};
        const zorv_host::LayoutControl* found = run->host.control(panelId, control);
        if (!found)
            return Outcome{false, "no control \"" + control + "\" on panel " + panelId + " of " + name, {}, {}};
        addLog(name, "status", "pressed \"" + control + "\"");
        return deliver(*run, "button " + quoteText(panelId) + " " + quoteText(control) + " " + quoteText(found->event));
    }

    Outcome select(int number)
    {
        if (number < 0) {
            selectedSource = -1;
            addLog("", "parent", "source selection cleared");
            return Outcome{true, {}, {}, {}};
        }
        const RouterDevice* device = panel.device(panel.parentDevice);
        if (!device || number < 1 || static_cast<std::size_t>(number) > device->sources.size())
            return Outcome{false, "the parent has no source " + std::to_string(number), {}, {}};
        selectedSource = number;
        broadcast("source=" + std::to_string(number));
        return Outcome{true, {}, {}, {}};
    }

    Outcome restartPlacement(const std::string& name)
    {
        PlacementRun* run = find(name);
        if (!run)
            return Outcome{false, "no placement \"" + name + "\"", {}, {}};
        // A reload runs another build (or layout): its replay must not meet
        // the lives the old one ran, so the journal starts again.
        const bool reload = run->changed;
        bool clean = run->status == Status::Running && deliver(*run, "destroy").ok;
        if (reload && recording && !run->journal.empty())
            addLog(name, "status", "reloaded: its recording starts again with this build's life (what was "
                                   "recorded before ran the build it replaced)");
        launch(static_cast<std::size_t>(run - runs.data()), clean && !reload);
        return Outcome{true, {}, {}, {}};
    }

    Outcome record(bool on)
    {
        Outcome outcome{true, {}, {}, {}};
        if (on) {
            recording = true;
            for (PlacementRun& run : runs)
                run.journal.startRecording();
            addLog("", "status", "recording");
        } else if (recording) {
            outcome = writeRecording();
            if (outcome.ok)
                recording = false;   // on failure it goes on, to be saved again
        }
        dirty = true;
        return outcome;
    }

    // A file of the recording folder for the placement that neither an
    // earlier recording nor another placement of this one wrote ("MON 1"
    // and "MON_1" make one name): "MON_1.scn", "MON_1_2.scn", ...
    std::string freshRecordingPath(const std::string& placement, std::set<std::string>& used) const
    {
        std::string name = scenarioFileName(placement);
        for (int n = 2; !used.insert(name).second || fileExists(options.recordDir + "/" + name); ++n)
            name = scenarioFileName(placement + "_" + std::to_string(n));
        return options.recordDir + "/" + name;
    }

    Outcome writeRecording()
    {
        if (!makeFolders(options.recordDir))
            return Outcome{false, "cannot make the folder " + options.recordDir + "; still recording", {}, {}};
        Outcome outcome{true, {}, {}, {}};
        std::set<std::string> used;
        for (const PlacementRun& run : runs) {
            if (run.journal.empty())
                continue;
            if (!run.journal.wholeLife()) {
                addLog(run.config.name, "status", "not recorded: " + recordReach(run.journal));
                continue;
            }
            std::string path = freshRecordingPath(run.config.name, used);
            std::vector<std::string> replay = {options.selfPath, zorv_host::checkEntry, run.libraryFile, path};
            if (run.wineBits)
                replay = wineCommand(wine, {zorv_host::checkEntry, run.libraryFile, path});
            std::vector<std::string> header = {
                "Recorded by the workbench from " + panel.path + ": placement \"" + run.config.name + "\""
                    + (run.wineBits ? ", under " + wineName(wine) : ""),
                "Every path below is absolute: the replay runs from any folder.",
                "Replay: " + shellCommand(replay)};
            std::ofstream out(path, std::ios::binary);
            out << scenarioText(run.journal.steps(), header);
            if (!out)
                return Outcome{false, "cannot write " + path + "; still recording", {}, {}};
            outcome.files.push_back(path);
        }
        addLog("", "status",
               "recording written: " + std::to_string(outcome.files.size()) + " scenario files in " + options.recordDir);
        return outcome;
    }
};

Workbench::Workbench(PanelFile panel, WorkbenchOptions options)
    : impl_(std::make_unique<Impl>(std::move(panel), std::move(options)))
{
}

Workbench::~Workbench() { stop(); }

void Workbench::start()
{
    Impl& impl = *impl_;
    impl.host = std::thread([&impl] { impl.hostLoop(); });
    impl.post([&impl] {
        if (!impl.wine.problem.empty())
            impl.addLog("", "status", (impl.wine.insisted ? "Wine placements cannot start: "
                                                          : "Wine placements run their native modules: ")
                                          + impl.wine.problem);
        else if (impl.wine.bits)
            impl.addLog("", "status", "Wine placements run under " + wineName(impl.wine)
                                          + (impl.wine.note.empty() ? "" : ": " + impl.wine.note));
        for (std::size_t i = 0; i < impl.runs.size(); ++i)
            impl.launch(i);
    });
}

void Workbench::stop()
{
    Impl& impl = *impl_;
    {
        std::lock_guard<std::mutex> lock(impl.taskMutex);
        if (impl.stopping && !impl.host.joinable())
            return;
        impl.stopping = true;
    }
    impl.taskCv.notify_all();
    impl.publishCv.notify_all();
    if (impl.host.joinable())
        impl.host.join();
    std::vector<Impl::Starter> starters;
    {
        std::lock_guard<std::mutex> lock(impl.starterMutex);
        starters.swap(impl.starters);
    }
    for (Impl::Starter& starter : starters)
        starter.thread.join();
    // A starter that finished after the host thread posts into a queue no
    // one runs; its client is stopped here with the queue.
    impl.runLeftTasks();
}

bool Workbench::stopping() const { return impl_->stopping; }

std::future<Outcome> Workbench::press(const std::string& placement, const std::string& panel,
                                      const std::string& control)
{
    return impl_->request([this, placement, panel, control] { return impl_->press(placement, panel, control); });
}

std::future<Outcome> Workbench::selectSource(int number)
{
    return impl_->request([this, number] { return impl_->select(number); });
}

std::future<Outcome> Workbench::sendParent(const std::string& placement, const std::string& text)
{
    return impl_->request([this, placement, text] {
        PlacementRun* run = impl_->find(placement);
        if (!run)
            return Outcome{false, "no placement \"" + placement + "\"", {}, {}};
        return impl_->typedParentMessage(*run, text);
    });
}

std::future<Outcome> Workbench::sendEvent(const std::string& placement, int code)
{
    return impl_->request([this, placement, code] {
        PlacementRun* run = impl_->find(placement);
        if (!run)
            return Outcome{false, "no placement \"" + placement + "\"", {}, {}};
        if (code != 1 && code != 6 && code != 7)
            return Outcome{false, "code " + std::to_string(code) + " is not sent alone: 1, 6 and 7 are (a press "
                                  "is code 2, a parent message 3, a timer 4, a handback 5)", {}, {}};
        impl_->addLog(run->config.name, "event", "the host sends code " + std::to_string(code));
        return impl_->deliver(*run, "event " + std::to_string(code) + " null");
    });
}

std::future<Outcome> Workbench::restart(const std::string& placement)
{
    return impl_->request([this, placement] { return impl_->restartPlacement(placement); });
}

std::future<Outcome> Workbench::setRecording(bool on)
{
    return impl_->request([this, on] { return impl_->record(on); });
}

std::string Workbench::state(std::uint64_t* version) const
{
    std::lock_guard<std::mutex> lock(impl_->publishMutex);
    if (version)
        *version = impl_->version;
    return impl_->stateText;
}

std::uint64_t Workbench::waitForChange(std::uint64_t seen, double seconds) const
{
    std::unique_lock<std::mutex> lock(impl_->publishMutex);
    impl_->publishCv.wait_for(lock, std::chrono::duration<double>(seconds),
                              [&] { return impl_->version > seen || impl_->stopping; });
    return impl_->version;
}

std::vector<LogEntry> Workbench::logSince(std::uint64_t after, std::size_t max) const
{
    std::lock_guard<std::mutex> lock(impl_->publishMutex);
    std::vector<LogEntry> entries;
    for (auto it = impl_->log.rbegin(); it != impl_->log.rend() && it->seq > after && entries.size() < max; ++it)
        entries.push_back(*it);
    std::reverse(entries.begin(), entries.end());
    return entries;
}

bool Workbench::settled() const
{
    std::lock_guard<std::mutex> lock(impl_->publishMutex);
    return impl_->allSettled;
}

std::string Workbench::crosspointTable() const
{
    json state = json::parse(this->state(), nullptr, false);
    std::ostringstream out;
    if (state.is_discarded() || !state.contains("router"))
        return "";
    const json& latest = state["router"].value("latest", json(nullptr));
    for (const json& device : state["router"]["devices"]) {
        out << "router device " << device["number"].get<int>() << " (" << device["name"].get<std::string>()
            << "): crosspoints\n";
        if (device["crosspoints"].empty())
            out << "  (none made)\n";
        for (const json& point : device["crosspoints"]) {
            int destination = point["destination"].get<int>(), source = point["source"].get<int>();
            auto name = [](const json& names, int n) {
                return n >= 1 && static_cast<std::size_t>(n) <= names.size() ? names[n - 1].get<std::string>()
                                                                              : std::string("?");
            };
            bool newest = !latest.is_null() && latest["device"] == device["number"]
                          && latest["destination"].get<int>() == destination;
            out << (newest ? "* " : "  ") << "destination " << destination << " "
                << name(device["destinations"], destination) << "  <-  source " << source << " "
                << name(device["sources"], source) << "\n";
        }
    }
    return out.str();
}

std::string Workbench::logText() const
{
    std::ostringstream out;
    for (const LogEntry& entry : logSince(0, logKept)) {
        char time[32];
        std::snprintf(time, sizeof time, "%8.3f", entry.time);
        out << time << "  " << (entry.placement.empty() ? std::string("panel") : entry.placement) << "  "
            << entry.kind << "  " << entry.text << "\n";
    }
    return out.str();
}

std::string logEntryJson(const LogEntry& entry)
{
    return dumpJson({{"seq", entry.seq},
                     {"time", entry.time},
                     {"placement", entry.placement},
                     {"kind", entry.kind},
                     {"text", entry.text}});
}

} // namespace zorv_workbench
