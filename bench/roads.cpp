#include "roads.h"

#include <cstdio>
#include <cstring>

#include "zorv_plugin_entry.h"

namespace roads {

const char* QuietHost::callback(void* data, int code)
{
    if (code != zorv_code::command)
        return nullptr;
    const char* line = static_cast<const char*>(data);
    std::size_t n = std::strlen(line);
    n = n < sizeof last - 1 ? n : sizeof last - 1;
    std::memcpy(last, line, n);
    last[n] = '\0';
    ++commands;
    if (line[0] == 'S' && line[1] == 'D')
        return lookupReply;   // handed back with code 5, which is ignored here
    return line[0] == 'P' ? "OK" : nullptr;
}

zorv_client_callback* makeSelvarin(QuietHost& host) { return load_zorv_client_script(&host, "/panels"); }

namespace {
const char* send(zorv_client_callback* c, const char* message)
{
    return c->callback(const_cast<char*>(message), zorv_code::parentMessage);
}
} // namespace

void prepareTakeRoad(zorv_client_callback* component)
{
    send(component, "instance=DEST1");
    send(component, "selectedbg=sel_on");
}

void playTakeRoad(zorv_client_callback* component)
{
    send(component, "activedest=34");
    send(component, "source=5");
    component->callback(reinterpret_cast<void*>(1), zorv_code::timer);
}

void playFloor(QuietHost& host)
{
    // volatile: the compiler must not fold the formatting away.
    static const char* volatile sheet = "sel_on";
    static volatile int device = 12, offset = 34, source = 5, timer = 1;
    char line[64];
    std::snprintf(line, sizeof line, "TP 'statesheet=%s' '%d' 'Ident'", sheet, 1);
    host.callback(line, zorv_code::command);
    std::snprintf(line, sizeof line, "RC %d %d %d ',' %d", device, source, offset, 1);
    host.callback(line, zorv_code::command);
    std::snprintf(line, sizeof line, "ET %d %d", timer, 250);
    host.callback(line, zorv_code::command);
    std::snprintf(line, sizeof line, "HN 'clearsource=%d'", -1);
    host.callback(line, zorv_code::command);
    std::snprintf(line, sizeof line, "ET %d", timer);
    host.callback(line, zorv_code::command);
}

const char* playQuietMessage(zorv_client_callback* component) { return send(component, "source=5"); }

} // namespace roads
