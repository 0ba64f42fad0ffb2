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

// The checks press the buttons of the layouts the component shows; a layout
// they cannot read leaves its buttons unpressed, and the panel host would
// show nothing there either.
void checkLayouts(const Context& c)
{
    Rig rig(c.factory, false);
    Vocabulary vocabulary = discover(c, rig.session, rig.host);
    drive(rig.session, vocabulary);
    addShownLayouts(vocabulary, rig.host.allCommands(), c.libraryFolder);
    const std::vector<std::string>& unread = vocabulary.unreadLayouts;
    if (unread.empty())
        return;
    throw CheckFailed{unread.front() + (unread.size() > 1 ? " (+" + std::to_string(unread.size() - 1) + " more)" : "")
                          + "; no check pressed its buttons",
                      ResultKind::layoutUnread};
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
    registry.add({"library.layouts",
                  "every layout the component shows is found beside it and reads",
                  checkLayouts, 3});
}

} // namespace zorv_host::validation
