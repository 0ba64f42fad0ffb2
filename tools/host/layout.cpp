#include "layout.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <set>

#include "command_catalogue.h"

namespace zorv_host {

const char* kindName(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Button: return "button";
    case ControlKind::Label: return "label";
    case ControlKind::Alarm: return "alarm";
    }
    return "label";
}

const LayoutControl* Layout::find(const std::string& id) const
{
    for (const LayoutControl& control : controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

namespace {

bool isNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.'; }

bool validId(const std::string& id)
{
    if (id.empty() || id.size() > 64)
        return false;
    for (char c : id)
        if (!isNameChar(c))
            return false;
    return true;
}

// One word of a line: KEY=VALUE or a bare word; VALUE bare or "quoted" with
// the escapes \" \\ \n \t.
struct Word {
    std::string key;
    std::string value;
    bool hasValue = false;
};

bool readWords(const std::string& line, std::vector<Word>& words, std::string& error)
{
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] == '#')
            return true;
        Word word;
        while (pos < line.size() && line[pos] != '=' && line[pos] != ' ' && line[pos] != '\t')
            word.key += line[pos++];
        if (pos < line.size() && line[pos] == '=') {
            ++pos;
            word.hasValue = true;
            if (pos < line.size() && line[pos] == '"') {
                ++pos;
                bool closed = false;
                while (pos < line.size()) {
                    char c = line[pos++];
                    if (c == '"') {
                        closed = true;
                        break;
                    }
                    if (c == '\\' && pos < line.size()) {
                        char e = line[pos++];
                        if (e == 'n') c = '\n';
                        else if (e == 't') c = '\t';
                        else if (e == '"' || e == '\\') c = e;
                        else {
                            error = std::string("unknown escape \\") + e;
                            return false;
                        }
                    }
                    word.value += c;
                }
                if (!closed) {
                    error = "unterminated quoted value";
                    return false;
                }
                if (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') {
                    error = "a blank must follow a quoted value";
                    return false;
                }
            } else {
                while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
                    word.value += line[pos++];
            }
        }
        if (word.key.empty()) {
            error = "a value without a key";
            return false;
        }
        words.push_back(word);
    }
}

bool readInt(const std::string& text, int low, int high, int& out)
{
    if (text.empty() || text.size() > 6)
        return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high)
        return false;
    out = static_cast<int>(value);
    return true;
}

// "X,Y" with both in [low, layoutMaxExtent].
bool readPair(const std::string& text, int low, int& a, int& b)
{
    std::size_t comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    return readInt(text.substr(0, comma), low, layoutMaxExtent, a)
           && readInt(text.substr(comma + 1), low, layoutMaxExtent, b);
}

} // namespace

std::optional<Layout> parseLayout(std::istream& in, const std::string& name, std::string& error)
{
    Layout layout;
    std::set<std::string> ids;
    std::string line;
    int number = 0;
    bool sawHeader = false, sawPanel = false;
    auto fail = [&](const std::string& what) {
        error = name + ":" + std::to_string(number) + ": " + what;
        return std::nullopt;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.size() > 4096)
            return fail("line longer than 4096 characters");
        std::vector<Word> words;
        std::string why;
        if (!readWords(line, words, why))
            return fail(why);
        if (words.empty())
            continue;
        const std::string& keyword = words[0].key;
        if (words[0].hasValue)
            return fail("a line starts with a keyword, not \"" + keyword + "=\"");
        if (!sawHeader) {
            if (keyword != "zorv_ui" || words.size() != 2 || words[1].hasValue)
                return fail("the first line must be \"zorv_ui " + std::to_string(layoutFormatVersion) + "\"");
            if (!readInt(words[1].key, 1, 1000000, layout.version) || layout.version != layoutFormatVersion)
                return fail("layout format version \"" + words[1].key + "\" is not supported (this host reads "
                            + std::to_string(layoutFormatVersion) + ")");
            sawHeader = true;
            continue;
        }
        if (keyword == "panel") {
            if (sawPanel)
                return fail("a second panel line");
            sawPanel = true;
            for (std::size_t i = 1; i < words.size(); ++i) {
                if (words[i].key == "size" && words[i].hasValue) {
                    if (!readPair(words[i].value, 1, layout.width, layout.height))
                        return fail("panel size is W,H with each 1 to " + std::to_string(layoutMaxExtent));
                } else {
                    return fail("unknown panel setting \"" + words[i].key + "\"");
                }
            }
            if (layout.width == 0)
                return fail("the panel line needs size=W,H");
            continue;
        }
        if (keyword != "control")
            return fail("unknown keyword \"" + keyword + "\"");
        if (!sawPanel)
            return fail("the panel line must come before the controls");
        if (words.size() < 3 || words[1].hasValue || words[2].hasValue)
            return fail("a control line is: control ID KIND key=value...");
        LayoutControl control;
        control.id = words[1].key;
        if (!validId(control.id))
            return fail("control id \"" + control.id + "\" is not 1 to 64 letters, digits, _ - .");
        if (!ids.insert(control.id).second)
            return fail("control \"" + control.id + "\" appears twice");
        const std::string& kind = words[2].key;
        if (kind == "button") control.kind = ControlKind::Button;
        else if (kind == "label") control.kind = ControlKind::Label;
        else if (kind == "alarm") control.kind = ControlKind::Alarm;
        else return fail("unknown control kind \"" + kind + "\" (button, label, alarm)");
        bool placed = false, sized = false;
        for (std::size_t i = 3; i < words.size(); ++i) {
            const Word& word = words[i];
            if (!word.hasValue)
                return fail("\"" + word.key + "\" needs a value");
            if (word.key == "text") {
                control.text = word.value;
            } else if (word.key == "place") {
                if (!readPair(word.value, 0, control.x, control.y))
                    return fail("place is X,Y with each 0 to " + std::to_string(layoutMaxExtent));
                placed = true;
            } else if (word.key == "size") {
                if (!readPair(word.value, 1, control.width, control.height))
                    return fail("size is W,H with each 1 to " + std::to_string(layoutMaxExtent));
                sized = true;
            } else if (word.key == "event") {
                if (control.kind != ControlKind::Button)
                    return fail("only a button has an event text");
                control.event = word.value;
            } else if (word.key.rfind("prop.", 0) == 0 && word.key.size() > 5) {
                control.properties[word.key.substr(5)] = word.value;
            } else {
                return fail("unknown control setting \"" + word.key + "\"");
            }
        }
        if (!placed || !sized)
            return fail("control \"" + control.id + "\" needs place=X,Y and size=W,H");
        if (control.x + control.width > layout.width || control.y + control.height > layout.height)
            return fail("control \"" + control.id + "\" lies outside the panel");
        if (layout.controls.size() == layoutMaxControls)
            return fail("more than " + std::to_string(layoutMaxControls) + " controls");
        layout.controls.push_back(control);
    }
    if (!sawHeader) {
        error = name + ": empty file (a layout starts with \"zorv_ui " + std::to_string(layoutFormatVersion) + "\")";
        return std::nullopt;
    }
    if (!sawPanel) {
        error = name + ": no panel line";
        return std::nullopt;
    }
    return layout;
}

std::optional<Layout> loadLayoutFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    return parseLayout(in, path, error);
}

ControlStore::ControlStore(const Layout& layout)
{
    for (const LayoutControl& control : layout.controls) {
        auto& props = controls_[control.id];
        props["text"] = control.text;
        if (control.kind == ControlKind::Alarm) {
            props["alarm"] = "";
            props["value"] = "0";
        }
        for (const auto& entry : control.properties)
            props[entry.first] = entry.second;
        order_.push_back(control.id);
    }
}

bool ControlStore::put(const std::string& control, const std::string& property, const std::string& value)
{
    auto found = controls_.find(control);
    if (found == controls_.end())
        return false;
    found->second[property] = value;
    return true;
}

std::optional<std::string> ControlStore::get(const std::string& control, const std::string& property) const
{
    auto found = controls_.find(control);
    if (found == controls_.end())
        return std::nullopt;
    if (property == "all") {
        std::string all;
        for (const auto& entry : found->second) {
            if (!all.empty())
                all += '\n';
            all += entry.first + "=" + entry.second;
        }
        return all;
    }
    auto value = found->second.find(property);
    return property + "=" + (value == found->second.end() ? std::string() : value->second);
}

std::string ControlStore::list(const std::string& prefix) const
{
    std::string out;
    for (const std::string& id : order_) {
        if (id.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (!out.empty())
            out += ',';
        out += id;
    }
    return out;
}

const std::map<std::string, std::string>* ControlStore::properties(const std::string& control) const
{
    auto found = controls_.find(control);
    return found == controls_.end() ? nullptr : &found->second;
}

} // namespace zorv_host
