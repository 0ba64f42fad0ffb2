#include "bridge_client.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "scenario.h"
#include "sim_host.h"

namespace zorv_workbench {

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// "WORD rest" split at the first blank.
void splitWord(const std::string& line, std::string& word, std::string& rest)
{
    std::size_t blank = line.find(' ');
    word = line.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
}

std::string describeStatus(int status)
{
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        const char* name = strsignal(sig);
        return "ended by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
    }
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    return "ended";
}

} // namespace

BridgeClient::~BridgeClient()
{
    if (pid_ > 0)
        reap(0);
    if (errFile_ >= 0)
        close(errFile_);
}

bool BridgeClient::start(const std::vector<std::string>& argv)
{
    // Every descriptor is close-on-exec from the start: children are started
    // from several threads at once, and a sibling that inherited this
    // child's output pipe would keep its end open after it died.
    int in[2], out[2];
    if (argv.empty() || pipe2(in, O_CLOEXEC) != 0)
        return fail("cannot make a pipe"), false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return fail("cannot make a pipe"), false;
    }
    char errName[] = "/tmp/zorv-bridge-XXXXXX";
    errFile_ = mkostemp(errName, O_CLOEXEC);
    if (errFile_ >= 0)
        unlink(errName);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        // dup2 leaves the copies open across exec.
        dup2(in[0], 0);
        dup2(out[1], 1);
        if (errFile_ >= 0)
            dup2(errFile_, 2);
        execvp(args[0], args.data());
        dprintf(2, "cannot run %s: %s\n", args[0], strerror(errno));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    toChild_ = in[1];
    fromChild_ = out[0];
    if (pid_ < 0) {
        fail("cannot start a process");
        return false;
    }
    setpgid(pid_, pid_);
    return true;
}

bool BridgeClient::waitReady(double seconds, const std::atomic<bool>* cancel)
{
    double deadline = monotonicSeconds() + seconds;
    std::string line;
    while (failure_.empty()) {
        if (cancel && *cancel)
            return fail("not started: the workbench is stopping"), false;
        // Short reads, so that a cancel is seen soon.
        Read read = readLine(line, std::min(deadline, monotonicSeconds() + 0.2));
        if (read == Read::Timeout && monotonicSeconds() < deadline)
            continue;
        if (read == Read::Timeout)
            return fail("did not load within " + std::to_string(static_cast<int>(seconds)) + " s"), false;
        if (read == Read::Eof)
            return fail("ended while loading", 1.0), false;
        if (line == "ready")
            return true;
        std::string word, rest;
        splitWord(line, word, rest);
        if (word == "fail") {
            std::optional<std::string> why = zorv_host::unquoteText(rest);
            std::string said = why ? *why : rest;
            failure_ = said.rfind("cannot load", 0) == 0 ? said : "cannot load: " + said;
            reap(1.0);
            return false;
        }
        // Anything else before "ready" (a loader's chatter) is skipped.
    }
    return false;
}

ExchangeResult BridgeClient::exchange(const std::string& line, const ExchangeHandlers& handlers, double seconds)
{
    ExchangeResult result;
    if (!running())
        return result;
    if (!writeLine(line)) {
        fail("went away before \"" + line + "\"");
        return result;
    }
    double deadline = monotonicSeconds() + seconds;
    std::string got;
    for (;;) {
        Read read = readLine(got, deadline);
        if (read == Read::Timeout) {
            fail("hung: no answer within " + std::to_string(seconds).substr(0, 3) + " s to \"" + line + "\"");
            return result;
        }
        if (read == Read::Eof) {
            fail("crashed during \"" + line + "\"", 1.0);
            return result;
        }
        std::string word, rest;
        splitWord(got, word, rest);
        std::optional<std::string> text = zorv_host::unquoteText(rest);
        if (word == "cmd" && text) {
            if (handlers.command)
                handlers.command(*text);
        } else if (word == "query" && text) {
            std::optional<std::string> answer = handlers.query ? handlers.query(*text) : std::nullopt;
            if (!writeLine(answer ? "reply " + zorv_host::quoteText(*answer) : "reply null")) {
                fail("went away during the query \"" + *text + "\" of \"" + line + "\"");
                return result;
            }
        } else if (word == "note" && text) {
            if (handlers.note)
                handlers.note(*text);
        } else if (word == "error" && text) {
            result.error = *text;
        } else if (word == "done") {
            std::size_t blank = rest.rfind(' ');
            std::string reply = rest.substr(0, blank);
            result.reply = reply == "null" ? std::nullopt : zorv_host::unquoteText(reply);
            result.outstanding =
                blank == std::string::npos ? 0 : std::strtoul(rest.c_str() + blank + 1, nullptr, 10);
            result.ok = true;
            return result;
        } else {
            fail("sent \"" + zorv_host::escapeText(got) + "\", which is not of the protocol, during \"" + line + "\"");
            return result;
        }
    }
}

void BridgeClient::stop()
{
    if (pid_ <= 0)
        return;
    if (failure_.empty() && writeLine("quit")) {
        // The component is destroyed on "quit"; give it a moment.
        double deadline = monotonicSeconds() + 2.0;
        while (monotonicSeconds() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (pid_ > 0)
        reap(0);
    if (toChild_ >= 0)
        close(toChild_);
    if (fromChild_ >= 0)
        close(fromChild_);
    toChild_ = fromChild_ = -1;
}

std::string BridgeClient::errorTail(std::size_t bytes) const
{
    if (errFile_ < 0)
        return "";
    off_t size = lseek(errFile_, 0, SEEK_END);
    if (size <= 0)
        return "";
    off_t from = size > static_cast<off_t>(bytes) ? size - static_cast<off_t>(bytes) : 0;
    std::string text(static_cast<std::size_t>(size - from), '\0');
    ssize_t got = pread(errFile_, text.data(), text.size(), from);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

BridgeClient::Read BridgeClient::readLine(std::string& line, double deadline)
{
    for (;;) {
        std::size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return Read::Line;
        }
        double left = deadline - monotonicSeconds();
        if (left <= 0)
            return Read::Timeout;
        pollfd fd{fromChild_, POLLIN, 0};
        int ready = poll(&fd, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            continue;
        char chunk[4096];
        ssize_t got = read(fromChild_, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Read::Eof;
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

bool BridgeClient::writeLine(const std::string& line)
{
    std::string data = line + "\n";
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t put = write(toChild_, p, left);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

void BridgeClient::fail(const std::string& why, double grace)
{
    if (!failure_.empty())
        return;
    failure_ = why;
    if (pid_ > 0)
        reap(grace);
}

void BridgeClient::reap(double grace)
{
    if (pid_ <= 0)
        return;
    // A child that closed its end is usually on its way out: wait a little
    // so that its own ending (a signal, a status) is what gets reported.
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    for (double until = monotonicSeconds() + grace; done == 0 && monotonicSeconds() < until;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        done = waitpid(pid_, &status, WNOHANG);
    }
    bool killed = false;
    if (done == 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        done = waitpid(pid_, &status, 0);
        killed = true;
    }
    if (done == pid_ && !failure_.empty() && !killed)
        failure_ += "; the process " + describeStatus(status);
    pid_ = -1;
}

} // namespace zorv_workbench
