// What a panel host does with the commands of its components, in one model.
//
// Each component has a HostModel of its own: the layouts it showed ("PS")
// with the properties of their controls ("TP", "TG", "XI"), its host timers
// ("ET") and whether it detached ("AS"). The components of one panel share a
// HostPanel: the instance table ("SD"), the router ("RC"), and the parent,
// which the caller tells of each notification ("HN") through the effect the
// model returns. The command catalogue says which part each verb acts on;
// each verb's action is one entry of the table in host_model.cpp.
//
// Every host carries commands out here: the simulated host of scenarios,
// validation and soak (under its reply rules), and the workbench. Not
// thread-safe: one host thread calls it, as one calls the component.
#ifndef ZORV_HOST_HOST_MODEL_H
#define ZORV_HOST_HOST_MODEL_H

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "layout.h"
#include "panel_file.h"

namespace zorv_host {

struct RouteChange {
    int device = 0, destination = 0, source = 0;
    std::uint64_t seq = 0;   // the how-manieth route of the panel
};

// What the components of one panel share.
struct HostPanel {
    std::map<std::string, std::string> instances;   // "SD" name -> "{device} {offset}"
    std::vector<RouterDevice> devices;               // the router's; empty: any device number is taken
    std::map<int, std::map<int, int>> crosspoints;   // device -> destination -> source
    std::optional<RouteChange> latest;
    std::uint64_t routes = 0;

    // The device of that number; null when the router has none (always null
    // when devices is empty).
    const RouterDevice* device(int number) const;
    // The instance table and router of a panel file, with no crosspoints.
    static HostPanel of(const PanelFile& file);
};

// A panel a component showed a layout in.
struct ShownPanel {
    std::string path;                 // as the component sent it
    std::optional<Layout> layout;     // nullopt when the file could not be read
    ControlStore store;               // its controls' properties
    std::string error;                // why there is no layout
};

struct HostTimer {
    int interval = 0;   // ms
    double due = 0;     // on the model's clock, seconds
};

// What carrying out one command did.
enum class EffectKind {
    notCarriedOut,     // the line does not have its verb's shape (or the verb is unknown)
    afterDetach,       // sent after "AS": not carried out
    panelShown,
    panelNotShown,     // its layout could not be read
    propertySet,
    propertyRefused,   // no layout in that panel, or no such control in it
    queried,           // a query answered from the model (or with null)
    timerStarted,
    timerStopped,
    routed,
    routeRefused,      // the router has no such device
    notified,          // the parent is told `text` (the notification)
    detached,
};

struct Effect {
    EffectKind kind = EffectKind::notCarriedOut;
    std::string text;   // a sentence for a log; for `notified`, the notification itself; for
                        // `propertySet`, "property=value"
    std::string file;   // panelShown, panelNotShown: the layout's path
};

struct HostAction {
    std::optional<std::string> answer;   // a query's reply or the host's token; nullopt is null
    Effect effect;
};

struct HostModelOptions {
    // A layout that cannot be read: true, "PS" answers null (a host that must
    // show the panel); false, it answers its token all the same (a host that
    // plays a scenario whose layout may not be at hand).
    bool refuseUnreadableLayouts = false;
    int shortestTimerMs = 0;           // faster host timers run at this interval
    std::function<double()> clock;     // seconds, monotonic; unset: the steady clock
};

class HostModel {
public:
    // panel must outlive the model.
    explicit HostModel(HostPanel& panel, HostModelOptions options = {});

    // Carries out one command line the component sent, whatever its shape.
    HostAction carryOut(const std::string& line);

    // The panel the component showed under this id, or null.
    const ShownPanel* shown(const std::string& panel) const;
    // The control of that panel's layout; null when the panel has no layout
    // or the layout has no such control.
    const LayoutControl* control(const std::string& panel, const std::string& control) const;
    const std::map<std::string, ShownPanel>& panels() const { return panels_; }
    // Running host timers by number; the caller fires them and moves `due`.
    std::map<int, HostTimer>& timers() { return timers_; }
    const std::map<int, HostTimer>& timers() const { return timers_; }
    bool detached() const { return detached_; }
    HostPanel& panel() { return panel_; }
    const HostPanel& panel() const { return panel_; }

    // A new component on the same placement: its panels, timers and detach
    // are forgotten; the shared panel stays.
    void reset();

    // Whether the model has an action for the verb (every catalogue verb must).
    static bool hasAction(const std::string& verb);

private:
    // One action a verb, all in host_model.cpp: a new verb adds its action
    // there and nowhere else in this class.
    struct Actions;
    double now() const;

    HostPanel& panel_;
    HostModelOptions options_;
    std::map<std::string, ShownPanel> panels_;
    std::map<int, HostTimer> timers_;
    bool detached_ = false;
};

// A 32-bit decimal number as the host reads one in a command or a parent
// message: the whole text, an optional minus sign and digits; nullopt for
// anything else or out of range.
std::optional<int> wholeNumber(const std::string& text);

// The token a host answers "PS" with when it showed the layout.
extern const char hostToken[];

} // namespace zorv_host

#endif
