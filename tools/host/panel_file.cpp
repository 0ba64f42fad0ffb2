#include "panel_file.h"

#include <fstream>
#include <set>
#include <sstream>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "paths.h"

namespace zorv_host {

using nlohmann::json;

const RouterDevice* findDevice(const std::vector<RouterDevice>& devices, int number)
{
    for (const RouterDevice& d : devices)
        if (d.number == number)
            return &d;
    return nullptr;
}

const RouterDevice* PanelFile::device(int number) const { return findDevice(devices, number); }

const Placement* PanelFile::placement(const std::string& name) const
{
    for (const Placement& p : placements)
        if (p.name == name)
            return &p;
    return nullptr;
}

namespace {

constexpr std::size_t maxPlacements = 256;
constexpr std::size_t maxNames = 4096;

// Thrown inside the parser only; parsePanelFile turns it into the error text.
struct Bad {
    std::string what;
};

void allowKeys(const json& object, const std::string& where, std::initializer_list<const char*> keys)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool known = false;
        for (const char* key : keys)
            known = known || it.key() == key;
        if (!known)
            throw Bad{where + ": unknown key \"" + it.key() + "\""};
    }
}

const json& member(const json& object, const char* key, const std::string& where)
{
    if (!object.contains(key))
        throw Bad{where + ": \"" + key + "\" is missing"};
    return object.at(key);
}

std::string text(const json& value, const std::string& where)
{
    if (!value.is_string())
        throw Bad{where + " must be a text"};
    return value.get<std::string>();
}

// where "" names a key of the top level by its own name.
std::string optionalText(const json& object, const char* key, const std::string& where)
{
    std::string name = where.empty() ? "\"" + std::string(key) + "\"" : where + "." + key;
    return object.contains(key) ? text(object.at(key), name) : std::string();
}

int number(const json& value, const std::string& where, int low, int high)
{
    if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high)
        throw Bad{where + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high)};
    return value.get<int>();
}

std::vector<std::string> names(const json& value, const std::string& where)
{
    if (!value.is_array() || value.size() > maxNames)
        throw Bad{where + " must be a list of at most " + std::to_string(maxNames) + " texts"};
    std::vector<std::string> out;
    for (std::size_t i = 0; i < value.size(); ++i)
        out.push_back(text(value[i], where + "[" + std::to_string(i) + "]"));
    return out;
}

std::string resolvePath(std::string path, const std::string& panelFolder, const PathRoots& roots)
{
    for (auto [key, root] : {std::pair<std::string, std::string>{"{bin}", roots.bin},
                             {"{dist64}", roots.dist64},
                             {"{dist}", roots.dist}})
        if (path.rfind(key, 0) == 0)
            return root + path.substr(key.size());
    if (path.empty() || path[0] == '/')
        return path;
    return panelFolder + "/" + path;
}

StateSheet parseSheet(const json& value, const std::string& where)
{
    if (!value.is_object())
        throw Bad{where + " must be an object"};
    allowKeys(value, where, {"background", "color", "border"});
    return {optionalText(value, "background", where), optionalText(value, "color", where),
            optionalText(value, "border", where)};
}

RouterDevice parseDevice(const json& value, const std::string& where)
{
    if (!value.is_object())
        throw Bad{where + " must be an object"};
    allowKeys(value, where, {"number", "name", "sources", "destinations"});
    RouterDevice device;
    device.number = number(member(value, "number", where), where + ".number", 1, 999);
    device.name = optionalText(value, "name", where);
    if (value.contains("sources"))
        device.sources = names(value.at("sources"), where + ".sources");
    if (value.contains("destinations"))
        device.destinations = names(value.at("destinations"), where + ".destinations");
    return device;
}

Placement parsePlacement(const json& value, const std::string& where, const std::string& folder,
                         const PathRoots& roots)
{
    if (!value.is_object())
        throw Bad{where + " must be an object"};
    allowKeys(value, where,
              {"name", "library", "dll", "dll64", "runner", "base_path", "instance", "selectedbg", "deselectedbg"});
    Placement p;
    p.name = text(member(value, "name", where), where + ".name");
    if (p.name.empty() || p.name.size() > 64)
        throw Bad{where + ".name must have 1 to 64 characters"};
    p.library = resolvePath(text(member(value, "library", where), where + ".library"), folder, roots);
    p.dll = resolvePath(optionalText(value, "dll", where), folder, roots);
    // By default the 64-bit test build of a DLL has its name, in {dist64}.
    std::string dll64 = optionalText(value, "dll64", where);
    if (dll64.empty() && !p.dll.empty())
        dll64 = "{dist64}/" + zorv_host::fileNameOf(p.dll);
    p.dll64 = resolvePath(dll64, folder, roots);
    std::string runner = value.contains("runner") ? text(value.at("runner"), where + ".runner") : "native";
    if (runner == "wine")
        p.runner = Runner::Wine;
    else if (runner != "native")
        throw Bad{where + ".runner must be \"native\" or \"wine\", not \"" + runner + "\""};
    if (p.runner == Runner::Wine && p.dll.empty())
        throw Bad{where + ": a \"wine\" placement needs its \"dll\""};
    p.basePath = resolvePath(optionalText(value, "base_path", where), folder, roots);
    p.instance = optionalText(value, "instance", where);
    p.selectedbg = optionalText(value, "selectedbg", where);
    p.deselectedbg = optionalText(value, "deselectedbg", where);
    return p;
}

bool twoNumbers(const std::string& text)
{
    std::istringstream in(text);
    long long device = 0, offset = 0;
    std::string rest;
    return static_cast<bool>(in >> device >> offset) && !(in >> rest);
}

void warnAboutSlips(PanelFile& panel)
{
    for (const auto& [name, value] : panel.instances)
        if (!twoNumbers(value))
            panel.warnings.push_back("instance \"" + name + "\" answers \"" + value
                                     + "\", not \"{device} {offset}\": the component reads 0 for what is no number");
    for (const Placement& p : panel.placements) {
        if (!p.instance.empty() && !panel.instances.count(p.instance))
            panel.warnings.push_back("placement \"" + p.name + "\": its instance \"" + p.instance
                                     + "\" is not in \"instances\", so SD for it gets no reply");
        for (const std::string* sheet : {&p.selectedbg, &p.deselectedbg})
            if (!sheet->empty() && !panel.stateSheets.count(*sheet))
                panel.warnings.push_back("placement \"" + p.name + "\": the state sheet \"" + *sheet
                                         + "\" is not in \"state_sheets\", so the page draws it plain");
    }
}

void parseVersion(const json& root)
{
    const json& given = member(root, "zorv_panel", "the panel");
    if (!given.is_number_integer())
        throw Bad{"\"zorv_panel\" must be the format version, a number: 1"};
    long long version = given.get<long long>();
    if (version != panelFormatVersion)
        throw Bad{"format version " + std::to_string(version) + " is not known (this workbench reads version "
                  + std::to_string(panelFormatVersion) + ")"};
}

void parseStateSheets(const json& root, PanelFile& panel)
{
    if (!root.contains("state_sheets"))
        return;
    const json& sheets = root.at("state_sheets");
    if (!sheets.is_object())
        throw Bad{"\"state_sheets\" must be an object"};
    for (auto it = sheets.begin(); it != sheets.end(); ++it)
        panel.stateSheets[it.key()] = parseSheet(it.value(), "state sheet \"" + it.key() + "\"");
}

void parseWine(const json& root, PanelFile& panel, const std::string& folder, const PathRoots& roots)
{
    panel.wineHost = resolvePath(root.contains("wine_host") ? text(root.at("wine_host"), "\"wine_host\"")
                                                            : "{dist}/zorv-host.exe",
                                 folder, roots);
    panel.wine64Host = resolvePath(root.contains("wine64_host") ? text(root.at("wine64_host"), "\"wine64_host\"")
                                                                : "{dist64}/zorv-host.exe",
                                   folder, roots);
    std::string bits = optionalText(root, "wine_bits", "the panel");
    if (bits.empty())
        return;
    std::optional<WineBits> chosen = parseWineBits(bits);
    if (!chosen)
        throw Bad{"\"wine_bits\" must be \"auto\", \"32\" or \"64\", not \"" + bits + "\""};
    panel.wineBits = *chosen;
}

void parseRouter(const json& root, PanelFile& panel)
{
    if (!root.contains("router"))
        return;
    const json& router = root.at("router");
    if (!router.is_object())
        throw Bad{"\"router\" must be an object"};
    allowKeys(router, "\"router\"", {"devices", "parent_device"});
    if (router.contains("devices")) {
        const json& devices = router.at("devices");
        if (!devices.is_array())
            throw Bad{"router.devices must be a list"};
        for (std::size_t i = 0; i < devices.size(); ++i) {
            RouterDevice device = parseDevice(devices[i], "router.devices[" + std::to_string(i) + "]");
            if (panel.device(device.number))
                throw Bad{"router device " + std::to_string(device.number) + " is given twice"};
            panel.devices.push_back(device);
        }
    }
    panel.parentDevice = router.contains("parent_device")
                             ? number(router.at("parent_device"), "router.parent_device", 1, 999)
                             : panel.devices.empty() ? 0 : panel.devices.front().number;
    if (panel.parentDevice && !panel.device(panel.parentDevice))
        throw Bad{"router.parent_device " + std::to_string(panel.parentDevice) + " is not one of the devices"};
}

void parseInstances(const json& root, PanelFile& panel)
{
    if (!root.contains("instances"))
        return;
    const json& instances = root.at("instances");
    if (!instances.is_object())
        throw Bad{"\"instances\" must be an object of name: \"device offset\""};
    for (auto it = instances.begin(); it != instances.end(); ++it)
        panel.instances[it.key()] = text(it.value(), "instance \"" + it.key() + "\"");
}

// The placements, each with the panel's state sheets where it names none.
void parsePlacements(const json& root, PanelFile& panel, const std::string& folder, const PathRoots& roots)
{
    const std::string selected = optionalText(root, "selectedbg", "");
    const std::string deselected = optionalText(root, "deselectedbg", "");
    const json& placements = member(root, "placements", "the panel");
    if (!placements.is_array() || placements.empty() || placements.size() > maxPlacements)
        throw Bad{"\"placements\" must be a list of 1 to " + std::to_string(maxPlacements) + " placements"};
    std::set<std::string> seen;
    for (std::size_t i = 0; i < placements.size(); ++i) {
        Placement p = parsePlacement(placements[i], "placements[" + std::to_string(i) + "]", folder, roots);
        if (!seen.insert(p.name).second)
            throw Bad{"placement name \"" + p.name + "\" is given twice"};
        if (p.selectedbg.empty())
            p.selectedbg = selected;
        if (p.deselectedbg.empty())
            p.deselectedbg = deselected;
        panel.placements.push_back(p);
    }
}

void parseInto(const json& root, PanelFile& panel, const PathRoots& roots)
{
    if (!root.is_object())
        throw Bad{"the file must hold one JSON object"};
    allowKeys(root, "the panel", {"zorv_panel", "title", "state_sheets", "selectedbg", "deselectedbg", "wine_host",
                                  "wine64_host", "wine_bits", "router", "instances", "placements"});
    parseVersion(root);
    const std::string folder = folderOf(panel.path);
    panel.title = optionalText(root, "title", "");
    parseStateSheets(root, panel);
    parseWine(root, panel, folder, roots);
    parseRouter(root, panel);
    parseInstances(root, panel);
    parsePlacements(root, panel, folder, roots);
    warnAboutSlips(panel);
}

} // namespace

std::string absolutePath(const std::string& path)
{
    if (path.empty() || path[0] == '/')
        return path;
    char here[4096];
    if (!getcwd(here, sizeof here))
        return path;
    return (path.rfind("./", 0) == 0 ? std::string(here) + path.substr(1) : std::string(here) + "/" + path);
}

std::optional<WineBits> parseWineBits(const std::string& text)
{
    if (text == "auto")
        return WineBits::Auto;
    if (text == "32")
        return WineBits::Win32;
    if (text == "64")
        return WineBits::Win64;
    return std::nullopt;
}

std::string wineBitsName(WineBits bits)
{
    return bits == WineBits::Win32 ? "32" : bits == WineBits::Win64 ? "64" : "auto";
}

std::optional<PanelFile> parsePanelFile(const std::string& content, const std::string& path, const PathRoots& roots,
                                        std::string& error)
{
    json root;
    try {
        root = json::parse(content);
    } catch (const json::parse_error& e) {
        error = path + ": not valid JSON (" + e.what() + ")";
        return std::nullopt;
    }
    PanelFile panel;
    panel.path = absolutePath(path);
    try {
        parseInto(root, panel, roots);
    } catch (const Bad& bad) {
        error = path + ": " + bad.what;
        return std::nullopt;
    } catch (const json::exception& e) {
        error = path + ": " + e.what();
        return std::nullopt;
    }
    return panel;
}

std::optional<PanelFile> loadPanelFile(const std::string& path, const PathRoots& roots, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return parsePanelFile(content.str(), path, roots, error);
}

} // namespace zorv_host
