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

namespace {

// The lines of one layout, read in order; each step returns "" or what is
// wrong with its line.
struct LayoutReader {
    Layout layout;
    std::set<std::string> ids;
    bool sawHeader = false, sawPanel = false;

    std::string line(const std::vector<Word>& words)
    {
        const std::string& keyword = words[0].key;
        if (words[0].hasValue)
            return "a line starts with a keyword, not \"" + keyword + "=\"";
        if (!sawHeader)
            return header(words);
        if (keyword == "panel")
            return panel(words);
        if (keyword != "control")
            return "unknown keyword \"" + keyword + "\"";
        if (!sawPanel)
            return "the panel line must come before the controls";
        return control(words);
    }

    std::string header(const std::vector<Word>& words)
    {
        if (words[0].key != "zorv_ui" || words.size() != 2 || words[1].hasValue)
            return "the first line must be \"zorv_ui " + std::to_string(layoutFormatVersion) + "\"";
        if (!readInt(words[1].key, 1, 1000000, layout.version) || layout.version != layoutFormatVersion)
            return "layout format version \"" + words[1].key + "\" is not supported (this host reads "
                   + std::to_string(layoutFormatVersion) + ")";
        sawHeader = true;
        return "";
    }

    std::string panel(const std::vector<Word>& words)
    {
        if (sawPanel)
            return "a second panel line";
        sawPanel = true;
        for (std::size_t i = 1; i < words.size(); ++i) {
            if (words[i].key != "size" || !words[i].hasValue)
                return "unknown panel setting \"" + words[i].key + "\"";
            if (!readPair(words[i].value, 1, layout.width, layout.height))
                return "panel size is W,H with each 1 to " + std::to_string(layoutMaxExtent);
        }
        return layout.width == 0 ? "the panel line needs size=W,H" : "";
    }

    std::string control(const std::vector<Word>& words)
    {
        if (words.size() < 3 || words[1].hasValue || words[2].hasValue)
            return "a control line is: control ID KIND key=value...";
        LayoutControl control;
        control.id = words[1].key;
        if (!validId(control.id))
            return "control id \"" + control.id + "\" is not 1 to 64 letters, digits, _ - .";
        if (!ids.insert(control.id).second)
            return "control \"" + control.id + "\" appears twice";
        const std::string& kind = words[2].key;
        if (kind == "button") control.kind = ControlKind::Button;
        else if (kind == "label") control.kind = ControlKind::Label;
        else if (kind == "alarm") control.kind = ControlKind::Alarm;
        else return "unknown control kind \"" + kind + "\" (button, label, alarm)";
        if (std::string why = settings(words, control); !why.empty())
            return why;
        if (control.x + control.width > layout.width || control.y + control.height > layout.height)
            return "control \"" + control.id + "\" lies outside the panel";
        if (layout.controls.size() == layoutMaxControls)
            return "more than " + std::to_string(layoutMaxControls) + " controls";
        layout.controls.push_back(control);
        return "";
    }

    // The key=value settings after a control's id and kind.
    static std::string settings(const std::vector<Word>& words, LayoutControl& control)
    {
        bool placed = false, sized = false;
        for (std::size_t i = 3; i < words.size(); ++i) {
            const Word& word = words[i];
            if (!word.hasValue)
                return "\"" + word.key + "\" needs a value";
            if (word.key == "text") {
                control.text = word.value;
            } else if (word.key == "place") {
                if (!readPair(word.value, 0, control.x, control.y))
                    return "place is X,Y with each 0 to " + std::to_string(layoutMaxExtent);
                placed = true;
            } else if (word.key == "size") {
                if (!readPair(word.value, 1, control.width, control.height))
                    return "size is W,H with each 1 to " + std::to_string(layoutMaxExtent);
                sized = true;
            } else if (word.key == "event") {
                if (control.kind != ControlKind::Button)
                    return "only a button has an event text";
                control.event = word.value;
            } else if (word.key.rfind("prop.", 0) == 0 && word.key.size() > 5) {
                control.properties[word.key.substr(5)] = word.value;
            } else {
                return "unknown control setting \"" + word.key + "\"";
            }
        }
        return placed && sized ? "" : "control \"" + control.id + "\" needs place=X,Y and size=W,H";
    }
};

} // namespace

std::optional<Layout> parseLayout(std::istream& in, const std::string& name, std::string& error)
{
    LayoutReader reader;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<Word> words;
        std::string why = line.size() > 4096 ? "line longer than 4096 characters" : "";
        if (why.empty() && readWords(line, words, why) && !words.empty())
            why = reader.line(words);
        if (!why.empty()) {
            error = name + ":" + std::to_string(number) + ": " + why;
            return std::nullopt;
        }
    }
    if (!reader.sawHeader) {
        error = name + ": empty file (a layout starts with \"zorv_ui " + std::to_string(layoutFormatVersion) + "\")";
        return std::nullopt;
    }
    if (!reader.sawPanel) {
        error = name + ": no panel line";
        return std::nullopt;
    }
    return reader.layout;
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
