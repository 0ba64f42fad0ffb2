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

#include "bridge.h"
#include "session.h"
#include "sim_host.h"

namespace zorv_workbench {

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

namespace {

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

const char* childEndName(ChildEnd end)
{
    switch (end) {
    case ChildEnd::running: return "running";
    case ChildEnd::notStarted: return "not_started";
    case ChildEnd::loadFailed: return "load_failed";
    case ChildEnd::crashed: return "crashed";
    case ChildEnd::hung: return "hung";
    case ChildEnd::exited: return "exited";
    case ChildEnd::brokeProtocol: return "broke_protocol";
    }
    return "unknown";
}

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
        return fail(ChildEnd::notStarted, "cannot make a pipe"), false;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return fail(ChildEnd::notStarted, "cannot make a pipe"), false;
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
        fail(ChildEnd::notStarted, "cannot start a process");
        return false;
    }
    setpgid(pid_, pid_);
    return true;
}

bool BridgeClient::waitReady(double seconds, const std::atomic<bool>* cancel)
{
    double deadline = monotonicSeconds() + seconds;
    std::string line;
    while (failure_.end == ChildEnd::running) {
        if (cancel && *cancel)
            return fail(ChildEnd::notStarted, "not started: the workbench is stopping"), false;
        // Short reads, so that a cancel is seen soon.
        Read read = readLine(line, std::min(deadline, monotonicSeconds() + 0.2));
        if (read == Read::Timeout && monotonicSeconds() < deadline)
            continue;
        if (read == Read::Timeout)
            return fail(ChildEnd::hung, "did not load within " + std::to_string(static_cast<int>(seconds)) + " s"),
                   false;
        if (read == Read::Eof)
            return streamEnded("ended while loading", 1.0), false;
        if (line == "ready") {
            ready_ = true;
            return true;
        }
        std::string word, rest;
        zorv_host::splitRecordWord(line, word, rest);
        if (word == "fail") {
            std::optional<zorv_host::BridgeLoadFailure> failed = zorv_host::readBridgeFail(line);
            if (!failed)
                return protocolBroken(line, "while loading"), false;
            // The loader's sentence names the library it could not load;
            // one about a missing factory is said to be a failed load too.
            bool said = failed->failure == zorv_host::ComponentLibrary::Failure::library;
            fail(ChildEnd::loadFailed, said ? failed->why : "cannot load: " + failed->why, 1.0);
            return false;
        }
        if (std::optional<zorv_host::CrashRecord> crash = zorv_host::readCrashRecord(line))
            crashRecord_ = crash;   // its end follows
        // Anything else before "ready" (a loader's chatter) is skipped.
    }
    return false;
}

ExchangeResult BridgeClient::exchange(const std::string& line, const ExchangeHandlers& handlers, double seconds)
{
    ExchangeResult result;
    if (!running())
        return result;
    event_ = line;
    if (!writeLine(line)) {
        streamEnded("went away before \"" + line + "\"", 0);
        return result;
    }
    double deadline = monotonicSeconds() + seconds;
    std::string got;
    for (;;) {
        Read read = readLine(got, deadline);
        if (read == Read::Timeout) {
            fail(ChildEnd::hung,
                 "hung: no answer within " + std::to_string(seconds).substr(0, 3) + " s to \"" + line + "\"");
            return result;
        }
        if (read == Read::Eof) {
            streamEnded("crashed during \"" + line + "\"", 1.0);
            return result;
        }
        if (std::optional<std::string> command = zorv_host::readBridgeCommand(got)) {
            if (handlers.command)
                handlers.command(*command);
        } else if (std::optional<std::string> query = zorv_host::readBridgeQuery(got)) {
            std::optional<std::string> answer = handlers.query ? handlers.query(*query) : std::nullopt;
            if (!writeLine(zorv_host::bridgeReplyLine({answer}))) {
                streamEnded("went away during the query \"" + *query + "\" of \"" + line + "\"", 0);
                return result;
            }
        } else if (std::optional<zorv_host::RuleBreak> broken = zorv_host::readBridgeNote(got)) {
            if (handlers.note)
                handlers.note(*broken);
        } else if (std::optional<std::string> text = zorv_host::readBridgeNoComponent(got)) {
            if (handlers.noComponent)
                handlers.noComponent(*text);
        } else if (std::optional<zorv_host::CrashRecord> crash = zorv_host::readCrashRecord(got)) {
            crashRecord_ = crash;   // the child's last line: its end follows
        } else if (std::optional<std::string> error = zorv_host::readBridgeError(got)) {
            result.error = *error;
        } else if (std::optional<zorv_host::BridgeDone> done = zorv_host::readBridgeDone(got)) {
            result.reply = done->reply;
            result.outstanding = done->outstanding;
            result.ok = true;
            return result;
        } else {
            protocolBroken(got, "during \"" + line + "\"");
            return result;
        }
    }
}

void BridgeClient::stop()
{
    if (pid_ <= 0)
        return;
    if (failure_.end == ChildEnd::running && writeLine("quit")) {
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

void BridgeClient::fail(ChildEnd end, const std::string& why, double grace)
{
    if (failure_.end != ChildEnd::running)
        return;
    failure_.end = end;
    failure_.loading = !ready_;
    failure_.event = ready_ ? event_ : std::string();
    failure_.text = why;
    if (pid_ > 0)
        reap(grace);
}

void BridgeClient::streamEnded(const std::string& why, double grace)
{
    byProcessEnd_ = failure_.end == ChildEnd::running;
    fail(ChildEnd::exited, why, grace);
}

void BridgeClient::protocolBroken(const std::string& got, const std::string& when)
{
    fail(ChildEnd::brokeProtocol, "sent \"" + zorv_host::escapeText(got) + "\", which is not of the protocol, " + when);
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
    pid_ = -1;
    if (failure_.end == ChildEnd::running)
        return;   // stopped, not failed
    const bool ended = done > 0 && !killed;
    if (ended) {
        failure_.text += "; the process " + describeStatus(status);
        if (WIFEXITED(status))
            failure_.exitStatus = WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            failure_.signal = WTERMSIG(status);
    }
    if (crashRecord_) {
        // What the crash reporter recorded is the most precise account.
        failure_.signal = crashRecord_->signal ? crashRecord_->signal : failure_.signal;
        failure_.exception = crashRecord_->exception;
        failure_.memoryFault = crashRecord_->memoryFault;
    }
    if (!byProcessEnd_)
        return;
    // The child closed its end: how the process ended says what happened.
    if (crashRecord_ || (ended && (WIFSIGNALED(status) || failure_.exitStatus == zorv_host::crashExitStatus)))
        failure_.end = ChildEnd::crashed;
    else if (ended)
        failure_.end = ChildEnd::exited;
    else
        failure_.end = ChildEnd::brokeProtocol;   // it closed its output but lived on
}

} // namespace zorv_workbench
