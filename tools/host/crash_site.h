// Where in its code a component crashed: the frames a child's crash report
// lists ("! frame MODULE 0xOFFSET", innermost first), read back and put in
// words with the source places the component's symbols give. The host's
// own frames are folded: the author's code is what the report is for.
#ifndef ZORV_HOST_CRASH_SITE_H
#define ZORV_HOST_CRASH_SITE_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv_host {

struct ReportedFrame {
    std::string module;   // as the crashed process knew it; "?" where it knew none
    std::uintptr_t offset = 0;
};

// One "! frame MODULE 0xOFFSET" line; nullopt for any other.
std::optional<ReportedFrame> readCrashFrame(const std::string& line);
// The frame lines that follow, without a gap, the line starting at lineStart.
std::vector<ReportedFrame> readCrashFrames(const std::string& text, std::size_t lineStart);

struct CrashSite {
    std::string place;                // the innermost frame of the component: "in F at FILE:LINE"; "" for none
    std::vector<std::string> stack;   // "at F (FILE:LINE)" a frame of the component, "(N host frames)" between
    std::string note;                 // why there are no source lines, where there are none
};

// The frames in componentLibrary (known by its file name) are symbolized
// against that file; the others are the host's, and folded.
CrashSite describeCrashSite(const std::vector<ReportedFrame>& frames, const std::string& componentLibrary);

// sentence, then the stack and the note on lines of their own, indented.
std::string withCrashSite(const std::string& sentence, const CrashSite& site);

// A hang's reason (the time was up) with where the component's thread was
// stuck, from the report the child made when asked; reason as it is where
// there is no such report.
std::string withStuckSite(const std::string& reason, const std::vector<ReportedFrame>& frames,
                          const std::string& componentLibrary);

// What one fault is known by: what happened (a crash report's sentence
// without its event) where it happened. A crash without a place is known
// by nothing: "" (each stays a fault of its own); a memory fault without
// one by what happened alone.
std::string crashFault(const std::string& what, const CrashSite& site, bool memoryFault);

} // namespace zorv_host

#endif
