#include "Selvarin.h"

#include "zorv_crt.h"
#include "zorv_debug_output.h"
#include "zorv_plugin_entry.h"
#include "zorv_string_probe.h"

namespace {

const int takeTimer = 1;
const int takeInterval = 250;
const int lowestDevice = 1;
const int highestDevice = 999;

zorv_string panelOne() { return zorv_string(1, 0, 0, 10); }

zorv_string joinedByLineFeed(const zorv_string& first, const zorv_string& second)
{
    zorv_stringlist list;
    list << first;
    list << second;
    return list.toString('\n');
}

} // namespace

// Whether the host's text library fits our storage reserves: checked once,
// on the first factory call, before any text is made. Zero until then.
static int textLibraryFits;

// The library's one export: one component per placement. No memory, no
// component: null, and nothing is constructed. A text library whose objects
// outgrow our reserves would write over the component's memory: then no
// component is ever made, and one debug line says why.
ZORV_PLUGIN_EXPORT zorv_client_callback* ZORV_PLUGIN_CALL
load_zorv_client_script(zorv_client_callback* host, const char* basePath)
{
    if (textLibraryFits == 0) {
        zorv_probe_result probe = zorv_probe_text_library();
        if (!probe.fits && probe.bytesUsed == 0)
            return nullptr;   // no memory to look: ask again next time
        textLibraryFits = probe.fits ? 1 : -1;
        if (!probe.fits) {
            char line[160];
            zorv_probe_describe(probe, "Selvarin", line, sizeof line);
            zorv_debug_output(line);
        }
    }
    if (textLibraryFits < 0)
        return nullptr;
    return new (std::nothrow) Selvarin(host, basePath);
}

Selvarin::Selvarin(zorv_client_callback* host, const char* basePath)
    : zorv_script_helper(host, basePath), device(0), offset(-1), selected(false)
{
    panelShow(panelOne(), "mymon.zorv_ui", zorv_string());
}

Selvarin::~Selvarin() {}

void Selvarin::buttonCallback(ButtonView* view)
{
    if (!(view->panel() == 1) || view->id() != "Monitor")
        return;
    notifyHost(zorv_string("activate=%1").arg(offset, 0, 0, 10));
}

int Selvarin::eventOneCallback(EventView*) { return 0; }

zorv_string Selvarin::parentCallback(MessageView* view)
{
    // The word is compared in place: a copy of it would cost a text object
    // on every message.
    const zorv_string value = view->value();
    if (view->commandIs("return")) {
        if (value == "all")
            return joinedByLineFeed(zorv_string("selectedbg=%1").arg(selectedBg),
                                    zorv_string("deselectedbg=%1").arg(deselectedBg));
    } else if (view->commandIs("source")) {
        take(value);
    } else if (view->commandIs("activedest")) {
        selected = value.toInt() == offset;
        showSelection();
    } else if (view->commandIs("instance") && value != instance) {
        changeInstance(value);
    } else if (view->commandIs("selectedbg")) {
        selectedBg = value;
        if (selected)
            showSelection();
    } else if (view->commandIs("deselectedbg")) {
        deselectedBg = value;
        if (!selected)
            showSelection();
    } else if (view->commandIs("_events")) {
        return joinedByLineFeed("activate=*", "clearsource=-1");
    } else if (view->commandIs("_commands")) {
        return joinedByLineFeed("source=[value]", "activedest=[value]");
    }
    return zorv_string();
}

void Selvarin::timerCallback(int timer)
{
    if (timer == takeTimer)
        notifyHost("clearsource=-1");
    timerStop(timer);
}

// Routes the source to this destination and starts the take timer, but only
// while selected and with a usable device and offset.
void Selvarin::take(const zorv_string& sourceText)
{
    if (!selected || sourceText == "" || device < lowestDevice || device > highestDevice || offset < 1)
        return;
    const int source = sourceText.toInt();
    if (source < 0)
        return;
    routeCrosspoint(device, source, offset, zorv_string(), true);
    timerStart(takeTimer, takeInterval);
}

void Selvarin::showSelection()
{
    textPut("statesheet", selected ? selectedBg : deselectedBg, panelOne(), "Ident");
}

void Selvarin::changeInstance(const zorv_string& name)
{
    instance = name;
    if (name == "" || !instanceLookup(name, &device, &offset)) {
        device = 0;
        offset = 0;
    }
}
