#include "child_process.h"

#include <algorithm>
#include <atomic>
#include <memory>

#include "platform/console.h"
#include "platform/threads.h"

namespace zorv_host {

namespace {

struct Pool {
    const std::function<void(std::size_t)>* work;
    std::size_t count;
    std::atomic<std::size_t> next{0};
    std::unique_ptr<std::atomic<bool>[]> finished;

    void serve()
    {
        for (std::size_t i = next++; i < count; i = next++) {
            (*work)(i);
            finished[i].store(true, std::memory_order_release);
        }
    }
};

void serveFromThread(void* pool)
{
    static_cast<Pool*>(pool)->serve();
}

} // namespace

void forEachConcurrently(int jobs, std::size_t count, const std::function<void(std::size_t)>& work,
                         const std::function<void(std::size_t)>& done)
{
    if (jobs <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            work(i);
            done(i);
        }
        return;
    }
    Pool pool;
    pool.work = &work;
    pool.count = count;
    pool.finished.reset(new std::atomic<bool>[count]);
    for (std::size_t i = 0; i < count; ++i)
        pool.finished[i].store(false);
    const std::size_t threads = std::min(static_cast<std::size_t>(jobs), count);
    platform::WorkerThreads started(threads, serveFromThread, &pool);
    if (started.started() == 0)
        pool.serve();   // no thread to be had: the work runs here
    for (std::size_t i = 0; i < count; ++i) {
        while (!pool.finished[i].load(std::memory_order_acquire))
            platform::pauseBriefly();
        done(i);
    }
}

RecordStream::RecordStream() : out_(&buffer_) { buffer_.file = platform::takeStandardOutput(); }

RecordStream::~RecordStream()
{
    if (buffer_.file)
        std::fclose(buffer_.file);
}

int RecordStream::descriptor() const { return platform::descriptorOf(buffer_.file); }

int RecordStream::FileBuffer::overflow(int c)
{
    if (c == EOF)
        return 0;
    return file ? std::fputc(c, file) : EOF;
}

std::streamsize RecordStream::FileBuffer::xsputn(const char* s, std::streamsize n)
{
    return file ? static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), file)) : 0;
}

int RecordStream::FileBuffer::sync() { return file ? std::fflush(file) : -1; }

std::optional<std::string> finalLine(const std::string& text, std::size_t& start)
{
    if (text.empty() || text.back() != '\n')
        return std::nullopt;
    const std::size_t end = text.size() - 1;   // its line end
    const std::size_t before = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    start = before == std::string::npos ? 0 : before + 1;
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::optional<int> recordCount(const std::string& text)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(text);
}

std::size_t findTaggedLine(const std::string& text, const std::string& tag, std::size_t before)
{
    std::size_t at = text.rfind(tag, before);
    while (at != std::string::npos && at != 0 && text[at - 1] != '\n')
        at = text.rfind(tag, at - 1);
    return at;
}

std::string taggedLine(const std::string& text, const std::string& tag, std::size_t before)
{
    std::size_t at = findTaggedLine(text, tag, before);
    if (at == std::string::npos)
        return "";
    std::string rest = text.substr(at + tag.size(), text.find('\n', at) - at - tag.size());
    if (!rest.empty() && rest.back() == '\r')
        rest.pop_back();
    return rest;
}

std::string describedCrash(const std::string& errorText, const std::string& library)
{
    const ComponentReport report = componentReport(errorText);
    return report.sentence.empty() ? "" : withCrashSite(report.sentence, describeCrashSite(report.frames, library));
}

ComponentReport componentReport(const std::string& errorText)
{
    static const std::string tag = "! component ";
    ComponentReport report;
    std::size_t at = findTaggedLine(errorText, tag);
    if (at == std::string::npos)
        return report;
    report.sentence = "component " + taggedLine(errorText, tag, at);
    // The kind line, if any, is the one just before the sentence's.
    if (at != 0)
        report.kind = guarded::faultKindFromName(taggedLine(errorText, "! kind ", at - 1));
    // Both sentences name the event after " during" (" during: " a crash's).
    report.fault = report.sentence.substr(0, report.sentence.find(" during"));
    report.frames = readCrashFrames(errorText, at);
    return report;
}

} // namespace zorv_host
