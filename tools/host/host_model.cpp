#include "host_model.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "command_catalogue.h"

namespace zorv_host {

const char hostToken[] = "OK";

namespace {

// "3 (Studio A)" when the router names number 3, else "3".
std::string named(const std::vector<std::string>& names, int number)
{
    std::string text = std::to_string(number);
    if (number >= 1 && static_cast<std::size_t>(number) <= names.size())
        text += " (" + names[static_cast<std::size_t>(number - 1)] + ")";
    return text;
}

HostAction did(EffectKind kind, std::string text = "", std::optional<std::string> answer = std::nullopt)
{
    return HostAction{std::move(answer), Effect{kind, std::move(text), ""}};
}

} // namespace

const RouterDevice* HostPanel::device(int number) const { return findDevice(devices, number); }

HostPanel HostPanel::of(const PanelFile& file)
{
    HostPanel panel;
    panel.instances = file.instances;
    panel.devices = file.devices;
    return panel;
}

std::optional<int> wholeNumber(const std::string& text)
{
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || value < -2147483647L - 1 || value > 2147483647L)
        return std::nullopt;
    return static_cast<int>(value);
}

HostModel::HostModel(HostPanel& panel, HostModelOptions options) : panel_(panel), options_(std::move(options)) {}

struct HostModel::Actions {
    using Fields = std::vector<std::string>;
    using Action = HostAction (*)(HostModel&, const Fields&);

    // The verb's action, for every verb of the catalogue.
    static const std::map<std::string, Action>& table()
    {
        static const std::map<std::string, Action> actions = {
            {"PS", showPanel}, {"TP", putProperty},    {"TG", getProperty}, {"XI", listControls}, {"SD", lookUpInstance},
            {"RC", route},     {"ET", setTimer},       {"HN", notify},      {"AS", detach},
        };
        return actions;
    }

    // PS 'panel' 'path' ['extra']
    static HostAction showPanel(HostModel& model, const Fields& fields)
    {
        ShownPanel view;
        view.path = fields[1];
        std::string error;
        view.layout = loadLayoutFile(view.path, error);
        if (view.layout)
            view.store = ControlStore(*view.layout);
        else
            view.error = error;
        const bool shownOk = view.layout.has_value();
        model.panels_[fields[0]] = std::move(view);
        HostAction action = did(EffectKind::panelShown, "", std::string(hostToken));
        if (!shownOk && model.options_.refuseUnreadableLayouts)
            action = did(EffectKind::panelNotShown, "PS answered null: " + error);
        else if (!shownOk)
            action = did(EffectKind::panelNotShown, "no layout shown: " + error, std::string(hostToken));
        action.effect.file = fields[1];
        return action;
    }

    // TP 'property=value' 'panel' 'control'
    static HostAction putProperty(HostModel& model, const Fields& fields)
    {
        std::size_t equals = fields[0].find('=');
        std::string property = fields[0].substr(0, equals);
        std::string value = equals == std::string::npos ? std::string() : fields[0].substr(equals + 1);
        auto view = model.panels_.find(fields[1]);
        if (view == model.panels_.end() || !view->second.layout)
            return did(EffectKind::propertyRefused, "TP for panel '" + fields[1] + "', which has no layout");
        if (!view->second.store.put(fields[2], property, value))
            return did(EffectKind::propertyRefused, "TP for control '" + fields[2] + "', which the layout does not have");
        return did(EffectKind::propertySet, fields[0]);
    }

    // TG 'panel' 'control' 'property'
    static HostAction getProperty(HostModel& model, const Fields& fields)
    {
        const ShownPanel* view = model.shown(fields[0]);
        if (!view || !view->layout)
            return did(EffectKind::queried);
        return did(EffectKind::queried, "", view->store.get(fields[1], fields[2]));
    }

    // XI 'panel' 'prefix'
    static HostAction listControls(HostModel& model, const Fields& fields)
    {
        const ShownPanel* view = model.shown(fields[0]);
        if (!view || !view->layout)
            return did(EffectKind::queried);
        return did(EffectKind::queried, "", view->store.list(fields[1]));
    }

    // SD 'instance'
    static HostAction lookUpInstance(HostModel& model, const Fields& fields)
    {
        auto found = model.panel_.instances.find(fields[0]);
        if (found == model.panel_.instances.end())
            return did(EffectKind::queried);
        return did(EffectKind::queried, "", found->second);
    }

    // RC device source destination ',tail' flag
    static HostAction route(HostModel& model, const Fields& fields)
    {
        std::optional<int> device = wholeNumber(fields[0]);
        std::optional<int> source = wholeNumber(fields[1]);
        std::optional<int> destination = wholeNumber(fields[2]);
        const RouterDevice* known = device ? model.panel_.device(*device) : nullptr;
        const bool anyDevice = model.panel_.devices.empty();
        if (!device || (!known && !anyDevice) || !source || !destination)
            return did(EffectKind::routeRefused, "no route made: the router has no device " + fields[0]);
        model.panel_.crosspoints[*device][*destination] = *source;
        model.panel_.latest = RouteChange{*device, *destination, *source, ++model.panel_.routes};
        static const std::vector<std::string> unnamed;
        return did(EffectKind::routed, "device " + fields[0] + ": destination "
                                           + named(known ? known->destinations : unnamed, *destination) + " \u2190 source "
                                           + named(known ? known->sources : unnamed, *source));
    }

    // ET timer [interval]: with no interval (or 0, which the channel leaves
    // out) the timer stops.
    static HostAction setTimer(HostModel& model, const Fields& fields)
    {
        std::optional<int> timer = wholeNumber(fields[0]);
        std::optional<int> asked = fields.size() == 1 ? 0 : wholeNumber(fields[1]);
        if (!timer || !asked)
            return did(EffectKind::notCarriedOut, "no timer set: a number of \"ET\" is out of range");
        const int number = *timer;
        if (fields.size() == 1) {
            model.timers_.erase(number);
            return did(EffectKind::timerStopped, "timer " + std::to_string(number) + " stopped");
        }
        int interval = std::max(model.options_.shortestTimerMs, *asked);
        model.timers_[number] = HostTimer{interval, model.now() + interval / 1000.0};
        return did(EffectKind::timerStarted,
                   "timer " + std::to_string(number) + " runs every " + std::to_string(interval) + " ms");
    }

    // HN 'text'
    static HostAction notify(HostModel&, const Fields& fields) { return did(EffectKind::notified, fields[0]); }

    // AS
    static HostAction detach(HostModel& model, const Fields&)
    {
        model.detached_ = true;
        return did(EffectKind::detached, "detached from the host");
    }
};

bool HostModel::hasAction(const std::string& verb) { return Actions::table().count(verb) != 0; }

HostAction HostModel::carryOut(const std::string& line)
{
    std::string verb;
    std::vector<std::string> fields;
    if (!splitCommand(line, verb, fields) || !hasAction(verb))
        return did(EffectKind::notCarriedOut, "not a command line the host can carry out: " + line);
    if (detached_)
        return did(EffectKind::afterDetach, "not carried out: the component sent it after \"AS\"");
    return Actions::table().at(verb)(*this, fields);
}

const ShownPanel* HostModel::shown(const std::string& panel) const
{
    auto found = panels_.find(panel);
    return found == panels_.end() ? nullptr : &found->second;
}

const LayoutControl* HostModel::control(const std::string& panel, const std::string& control) const
{
    const ShownPanel* view = shown(panel);
    return view && view->layout ? view->layout->find(control) : nullptr;
}

void HostModel::reset()
{
    panels_.clear();
    timers_.clear();
    detached_ = false;
}

double HostModel::now() const
{
    if (options_.clock)
        return options_.clock();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace zorv_host
