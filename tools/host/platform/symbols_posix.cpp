#include "platform/symbols.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <utility>

#include "platform/files.h"
#include "platform/process.h"

namespace zorv_host::platform {

namespace {

std::string hex(std::uintptr_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

// A Windows image's addresses are its preferred base plus the offset; 0
// for anything else (a shared object's are the offsets themselves).
std::uintptr_t windowsImageBase(const std::string& module)
{
    std::ifstream in(module, std::ios::binary);
    unsigned char header[0x40];
    if (!in.read(reinterpret_cast<char*>(header), sizeof header) || header[0] != 'M' || header[1] != 'Z')
        return 0;
    auto little = [](const unsigned char* bytes, int count) {
        std::uint64_t value = 0;
        for (int i = count - 1; i >= 0; --i)
            value = value << 8 | bytes[i];
        return value;
    };
    // "PE\0\0", the file header (20 bytes), then the optional header, whose
    // magic says where the base is and how wide.
    unsigned char pe[24 + 32];
    if (!in.seekg(static_cast<std::streamoff>(little(header + 0x3c, 4))) || !in.read(reinterpret_cast<char*>(pe), sizeof pe)
        || pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return 0;
    const std::uint64_t magic = little(pe + 24, 2);
    return static_cast<std::uintptr_t>(magic == 0x20b ? little(pe + 24 + 24, 8) : magic == 0x10b ? little(pe + 24 + 28, 4) : 0);
}

// llvm-symbolizer under its plain name or a versioned one (Debian's
// llvm-N packages), else binutils' addr2line.
std::vector<std::string> symbolizerCommand(const std::string& module)
{
    for (const char* name : {"llvm-symbolizer", "llvm-symbolizer-16", "llvm-symbolizer-15", "llvm-symbolizer-14"})
        for (const char* folder : {"/usr/bin/", "/usr/local/bin/"})
            if (fileReadable(std::string(folder) + name))
                return {std::string(folder) + name, "--obj=" + module, "--demangle"};
    return {"addr2line", "-f", "-C", "-e", module};
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// "file:line:column" (llvm-symbolizer) or "file:line" with perhaps
// " (discriminator N)" after it (addr2line); "??" or line 0 where unknown.
void readPlace(std::string text, SourcePlace& place)
{
    text = text.substr(0, text.find(" (discriminator"));
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || !allDigits(text.substr(colon + 1)))
        return;
    const std::size_t before = text.rfind(':', colon - 1);
    if (before != std::string::npos && allDigits(text.substr(before + 1, colon - before - 1)))
        colon = before;   // a column follows the line
    const std::string file = text.substr(0, colon);
    const int line = std::atoi(text.c_str() + colon + 1);
    if (file != "??" && line > 0) {
        place.file = file;
        place.line = line;
    }
}

// Both tools answer an address with the function and its place on two
// lines. llvm-symbolizer gives a pair for each function inlined there,
// innermost first, and a blank line after them: the innermost is kept.
std::vector<SourcePlace> readAnswers(const std::string& out, std::size_t count, bool blocks)
{
    std::istringstream lines(out);
    std::vector<SourcePlace> places;
    std::string function, where, rest;
    while (places.size() < count && std::getline(lines, function)) {
        if (function.empty() || !std::getline(lines, where))
            continue;
        SourcePlace place;
        if (function != "??")
            place.function = function;
        readPlace(where, place);
        places.push_back(place);
        while (blocks && std::getline(lines, rest) && !rest.empty()) {
        }
    }
    places.resize(count);
    return places;
}


// One fault crashes many checks at the same places, and each answer costs
// a symbolizer's start: the places already found are kept, per module and
// offset, for the life of this process (validate -j asks from several
// threads).
std::mutex knownLock;
std::map<std::pair<std::string, std::uintptr_t>, SourcePlace> known;

std::optional<std::vector<SourcePlace>> knownPlaces(const std::string& module, const std::vector<std::uintptr_t>& offsets)
{
    std::lock_guard<std::mutex> hold(knownLock);
    std::vector<SourcePlace> places;
    for (std::uintptr_t offset : offsets) {
        auto found = known.find({module, offset});
        if (found == known.end())
            return std::nullopt;
        places.push_back(found->second);
    }
    return places;
}

void remember(const std::string& module, const std::vector<std::uintptr_t>& offsets,
              const std::vector<SourcePlace>& places)
{
    std::lock_guard<std::mutex> hold(knownLock);
    for (std::size_t i = 0; i < offsets.size() && i < places.size(); ++i)
        known[{module, offsets[i]}] = places[i];
}

std::optional<std::vector<SourcePlace>> runSymbolizer(const std::string& module,
                                                      const std::vector<std::uintptr_t>& offsets, std::string& why);

} // namespace

std::optional<std::vector<SourcePlace>> symbolize(const std::string& module, const std::vector<std::uintptr_t>& offsets,
                                                  std::string& why)
{
    if (std::optional<std::vector<SourcePlace>> places = knownPlaces(module, offsets))
        return places;
    std::optional<std::vector<SourcePlace>> places = runSymbolizer(module, offsets, why);
    if (places)
        remember(module, offsets, *places);
    return places;
}

namespace {

std::optional<std::vector<SourcePlace>> runSymbolizer(const std::string& module,
                                                      const std::vector<std::uintptr_t>& offsets, std::string& why)
{
    if (!fileReadable(module)) {
        why = module + " cannot be read";
        return std::nullopt;
    }
    std::vector<std::string> command = symbolizerCommand(module);
    const bool llvm = command.front().find("llvm-symbolizer") != std::string::npos;
    const std::uintptr_t base = windowsImageBase(module);
    for (std::uintptr_t offset : offsets)
        command.push_back(hex(base + offset));
    const ChildOutcome ran = runProgram(command, 20);
    if (!ran.started || ran.exitCode == 127 || ran.timedOut) {
        why = "no symbolizer could be run (install llvm or binutils): " + command.front() + " "
              + (ran.description.empty() ? "did not start" : ran.description);
        return std::nullopt;
    }
    std::vector<SourcePlace> places = readAnswers(ran.out, offsets.size(), llvm);
    bool any = false;
    for (const SourcePlace& place : places)
        any = any || !place.function.empty();
    if (!any) {
        why = command.front() + " found no symbols in " + module;
        return std::nullopt;
    }
    return places;
}

} // namespace

} // namespace zorv_host::platform
