// Layouts (*.zorv_ui files): the controls a component's panel shows, and the
// property store the host keeps for them ("TP", "TG", "XI" act on it).
// The format is described in docs/layout-format.md.
#ifndef ZORV_HOST_LAYOUT_H
#define ZORV_HOST_LAYOUT_H

#include <istream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

enum class ControlKind { Button, Label, Alarm };

const char* kindName(ControlKind kind);

struct LayoutControl {
    std::string id;
    ControlKind kind = ControlKind::Label;
    std::string text;
    int x = 0, y = 0, width = 0, height = 0;
    std::string event;                                // button event text
    std::map<std::string, std::string> properties;    // initial properties
};

struct Layout {
    int version = 0;
    int width = 0, height = 0;
    std::vector<LayoutControl> controls;              // in file order
    const LayoutControl* find(const std::string& id) const;
};

constexpr int layoutFormatVersion = 1;
constexpr std::size_t layoutMaxControls = 256;
constexpr int layoutMaxExtent = 4096;

// Parses a layout; on failure returns nullopt and sets error to
// "NAME:LINE: what is wrong".
std::optional<Layout> parseLayout(std::istream& in, const std::string& name, std::string& error);
std::optional<Layout> loadLayoutFile(const std::string& path, std::string& error);

// The properties of one panel's controls, seeded from a layout: "text" from
// the control's text, alarm controls with "alarm" empty and "value" 0, and
// the layout's initial properties on top.
class ControlStore {
public:
    ControlStore() = default;
    explicit ControlStore(const Layout& layout);

    bool has(const std::string& control) const { return controls_.count(control) != 0; }
    // "TP": false (and nothing stored) when the control does not exist.
    bool put(const std::string& control, const std::string& property, const std::string& value);
    // "TG": "{property}={value}" ("{property}=" when unset), every property
    // as "name=value" lines for "all"; nullopt for an unknown control.
    std::optional<std::string> get(const std::string& control, const std::string& property) const;
    // "XI": the controls whose names start with prefix, in layout order,
    // joined by ",".
    std::string list(const std::string& prefix) const;
    const std::map<std::string, std::string>* properties(const std::string& control) const;
    const std::vector<std::string>& order() const { return order_; }

private:
    std::vector<std::string> order_;
    std::map<std::string, std::map<std::string, std::string>> controls_;
};

} // namespace zorv_host

#endif
