// Checks of the library: it loads, and its factory makes components for
// every host and base path.
#include "validator/check_kit.h"

namespace zorv_host::validation {

namespace {

void checkFactory(const Context& c)
{
    SimHost host;
    Session session(c.factory, host);
    setCurrentEvent("create");
    require(session.create(std::string("/validator/base")), "the factory returned null");
    destroy(session);
}

void checkCreate(const Context& c)
{
    struct Variant { const char* name; std::optional<std::string> path; bool withHost; };
    const Variant variants[] = {{"an ordinary host and base path", std::string("C:/panels"), true},
                                {"an empty base path", std::string(""), true},
                                {"a null base path", std::nullopt, true},
                                {"a null host", std::string("C:/panels"), false}};
    for (const Variant& v : variants) {
        SimHost host;
        Session session(c.factory, host);
        setCurrentEvent(std::string("create with ") + v.name);
        require(session.create(v.path, v.withHost), std::string("no component for ") + v.name);
        drive(session, discover(c, session, host));
        destroy(session);
        if (!v.withHost)
            require(host.allCommands().empty(), "a component without host reached the host object");
        requireNoNotes(host, std::string("with ") + v.name);
    }
}

} // namespace

void addLibraryChecks(CheckRegistry& registry)
{
    registry.add({"library.factory",
                  "the library loads and its factory makes a component",
                  checkFactory, 1, true});
    registry.add({"library.create",
                  "a component for an ordinary host, an empty or null base path, and a null host",
                  checkCreate});
}

} // namespace zorv_host::validation
