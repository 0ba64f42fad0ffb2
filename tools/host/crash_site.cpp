#include "crash_site.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "paths.h"
#include "platform/symbols.h"

namespace zorv_host {

namespace {

const char frameTag[] = "! frame ";

// The component's frames shown at most; a deep recursion says the rest in a count.
const std::size_t shownFrames = 8;

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isComponentFrame(const ReportedFrame& frame, const std::string& componentLibrary)
{
    return lowered(fileNameOf(frame.module)) == lowered(fileNameOf(componentLibrary));
}

std::string folded(std::size_t count, const char* kind)
{
    return "(" + std::to_string(count) + " " + kind + (count == 1 ? " frame)" : " frames)");
}

std::string hex(std::uintptr_t value)
{
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

// "F (FILE:LINE)", "F (MODULE+0xOFFSET)" or "MODULE+0xOFFSET".
std::string frameWords(const platform::SourcePlace* place, const std::string& module, std::uintptr_t offset)
{
    const std::string where = fileNameOf(module) + "+" + hex(offset);
    if (!place || place->function.empty())
        return where;
    return place->function + " (" + (place->line > 0 ? place->file + ":" + std::to_string(place->line) : where) + ")";
}

// The places of the component's frames: a return address lies one past
// its call, so the call's own line is asked for.
std::optional<std::vector<platform::SourcePlace>> placesOf(const std::vector<ReportedFrame>& frames,
                                                           const std::vector<std::size_t>& mine,
                                                           const std::string& componentLibrary, std::string& why)
{
    std::vector<std::uintptr_t> offsets;
    for (std::size_t i : mine)
        offsets.push_back(i == 0 || frames[i].offset == 0 ? frames[i].offset : frames[i].offset - 1);
    return platform::symbolize(componentLibrary, offsets, why);
}

} // namespace

std::optional<ReportedFrame> readCrashFrame(const std::string& line)
{
    if (line.compare(0, sizeof frameTag - 1, frameTag) != 0)
        return std::nullopt;
    const std::size_t blank = line.rfind(' ');
    const std::string module = line.substr(sizeof frameTag - 1, blank - (sizeof frameTag - 1));
    const std::string offset = line.substr(blank + 1);
    if (module.empty() || blank < sizeof frameTag - 1 || offset.size() < 3 || offset.size() > 2 + 2 * sizeof(std::uintptr_t)
        || offset.compare(0, 2, "0x") != 0 || offset.find_first_not_of("0123456789abcdef", 2) != std::string::npos)
        return std::nullopt;
    return ReportedFrame{module, static_cast<std::uintptr_t>(std::stoull(offset.substr(2), nullptr, 16))};
}

std::vector<ReportedFrame> readCrashFrames(const std::string& text, std::size_t lineStart)
{
    std::vector<ReportedFrame> frames;
    std::size_t at = text.find('\n', lineStart);
    while (at != std::string::npos && at + 1 < text.size()) {
        const std::size_t end = text.find('\n', at + 1);
        std::string line = text.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::optional<ReportedFrame> frame = readCrashFrame(line);
        if (!frame)
            break;
        frames.push_back(*frame);
        at = end;
    }
    return frames;
}

CrashSite describeCrashSite(const std::vector<ReportedFrame>& frames, const std::string& componentLibrary)
{
    CrashSite site;
    std::vector<std::size_t> mine;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (isComponentFrame(frames[i], componentLibrary))
            mine.push_back(i);
    if (mine.empty()) {
        site.note = frames.empty() ? "the crashed process named no frames"
                                   : "no frame of the stack lies in " + fileNameOf(componentLibrary);
        return site;
    }
    std::string why;
    const std::optional<std::vector<platform::SourcePlace>> places = placesOf(frames, mine, componentLibrary, why);
    if (!places)
        site.note = "no source lines: " + why;
    std::size_t next = 0, shown = 0;
    for (std::size_t k = 0; k < mine.size() && shown < shownFrames; ++k, ++shown) {
        if (mine[k] > next)
            site.stack.push_back(folded(mine[k] - next, "host"));
        const platform::SourcePlace* place = places ? &(*places)[k] : nullptr;
        site.stack.push_back("at " + frameWords(place, frames[mine[k]].module, frames[mine[k]].offset));
        next = mine[k] + 1;
    }
    if (next < frames.size())
        site.stack.push_back(folded(frames.size() - next, shown < mine.size() ? "more" : "host"));
    const platform::SourcePlace* first = places ? &places->front() : nullptr;
    site.place = first && first->line > 0 ? "in " + first->function + " at " + first->file + ":" + std::to_string(first->line)
                                          : "at " + frameWords(first, frames[mine.front()].module, frames[mine.front()].offset);
    return site;
}

std::string withStuckSite(const std::string& reason, const std::vector<ReportedFrame>& frames,
                          const std::string& componentLibrary)
{
    if (frames.empty())
        return reason;
    const CrashSite site = describeCrashSite(frames, componentLibrary);
    return withCrashSite(reason + (site.place.empty() ? "" : ", stuck " + site.place), site);
}

std::string crashFault(const std::string& what, const CrashSite& site, bool memoryFault)
{
    if (site.place.empty())
        return memoryFault ? what : "";
    return what + " " + site.place;
}

std::string withCrashSite(const std::string& sentence, const CrashSite& site)
{
    std::string text = sentence;
    for (const std::string& line : site.stack)
        text += "\n    " + line;
    if (!site.note.empty())
        text += "\n    (" + site.note + ")";
    return text;
}

} // namespace zorv_host
