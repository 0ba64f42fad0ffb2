// Under Wine, zorv-host.exe's host reads a component's command text only as
// far as the system says the memory may be read: a text that runs into an
// inaccessible page, or into a stack's guard page, is noted and not read
// past (the guard stays armed); the same text with its NUL is a command.
// Exit status 0 when all holds; each failure is printed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim_host.h"

namespace {

int failures = 0;

void expect(bool holds, const std::string& what)
{
    if (!holds) {
        std::printf("FAIL %s\n", what.c_str());
        ++failures;
    }
}

// A text without its NUL, ending where a page of the given protection
// begins, is noted once; nothing is sent.
void unterminatedBefore(char* pages, std::size_t page, DWORD protection, const char* name)
{
    DWORD old = 0;
    expect(VirtualProtect(pages + page, page, protection, &old) != 0, std::string("protect the ") + name + " page");
    const char line[] = "HN 'activate=1'";
    char* end = pages + page - (sizeof line - 1);
    std::memcpy(end, line, sizeof line - 1);
    zorv_host::SimHost host;
    expect(host.callback(end, 0) == nullptr, std::string("no reply before the ") + name + " page");
    const std::vector<std::string> notes = host.takeNotes();
    const std::string want = "component sent a command text that is not NUL-terminated inside readable memory (15 "
                             "readable bytes, the first \"HN 'activate=1'\")";
    expect(notes.size() == 1 && notes[0] == want,
           std::string("one note before the ") + name + " page, got " + std::to_string(notes.size())
               + (notes.empty() ? "" : ": " + notes[0]));
    expect(host.takeCommands().empty(), std::string("no command before the ") + name + " page");

    MEMORY_BASIC_INFORMATION region;
    expect(VirtualQuery(pages + page, &region, sizeof region) == sizeof region && region.Protect == protection,
           std::string("the ") + name + " page keeps its protection");
    expect(VirtualProtect(pages + page, page, PAGE_READWRITE, &old) != 0, "make the page readable again");
}

} // namespace

int main()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const std::size_t page = system.dwPageSize;
    char* pages = static_cast<char*>(VirtualAlloc(nullptr, 2 * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (!pages) {
        std::printf("FAIL no pages to test with\n");
        return 1;
    }
    unterminatedBefore(pages, page, PAGE_NOACCESS, "inaccessible");
    unterminatedBefore(pages, page, PAGE_READWRITE | PAGE_GUARD, "guard");

    const char line[] = "HN 'activate=1'";
    char* whole = pages + page - sizeof line;   // the same line with its NUL
    std::memcpy(whole, line, sizeof line);
    zorv_host::SimHost host;
    host.callback(whole, 0);
    expect(host.takeNotes().empty(), "no note for a terminated text");
    const std::vector<std::string> commands = host.takeCommands();
    expect(commands.size() == 1 && commands[0] == line, "the terminated text is a command");

    // A text that spans two readable pages is read whole.
    const std::string across = "HN 'activate=" + std::string(40, '1') + "'";
    char* spanning = pages + page - 20;
    std::memcpy(spanning, across.c_str(), across.size() + 1);
    host.callback(spanning, 0);
    const std::vector<std::string> acrossNotes = host.takeNotes();
    expect(acrossNotes.empty(), "no note for a text across two pages" + (acrossNotes.empty() ? "" : ": " + acrossNotes[0]));
    const std::vector<std::string> spanned = host.takeCommands();
    expect(spanned.size() == 1 && spanned[0] == across, "the text across two pages is read whole");

    VirtualFree(pages, 0, MEM_RELEASE);
    std::printf("%s\n", failures ? "command texts: failed" : "command texts: all held");
    return failures ? 1 : 0;
}
