#include "server.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace zorv_workbench {

using nlohmann::json;

namespace {

constexpr double requestSeconds = 30.0;   // a Wine restart may take a while
constexpr std::size_t logBacklog = 1000;

std::string outcomeJson(const Outcome& outcome)
{
    json out = {{"ok", outcome.ok}};
    if (!outcome.error.empty())
        out["error"] = outcome.error;
    if (outcome.ok)
        out["reply"] = outcome.reply ? json(*outcome.reply) : json(nullptr);
    if (!outcome.files.empty())
        out["files"] = outcome.files;
    return out.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A request's fields, each with a plain message when missing or of the wrong
// type (the message reaches the page).
std::string textField(const json& body, const char* name, const char* otherwise = nullptr)
{
    if (!body.contains(name) && otherwise)
        return otherwise;
    if (!body.contains(name) || !body.at(name).is_string())
        throw std::invalid_argument(std::string("\"") + name + "\" must be given as a text");
    return body.at(name).get<std::string>();
}

int numberField(const json& body, const char* name)
{
    if (!body.contains(name) || !body.at(name).is_number_integer())
        throw std::invalid_argument(std::string("\"") + name + "\" must be given as a whole number");
    return body.at(name).get<int>();
}

bool switchField(const json& body, const char* name)
{
    if (!body.contains(name) || !body.at(name).is_boolean())
        throw std::invalid_argument(std::string("\"") + name + "\" must be given as true or false");
    return body.at(name).get<bool>();
}

// 128 random bits as 32 hexadecimal digits.
std::string makeToken()
{
    std::random_device device;
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(device()));
        token += part;
    }
    return token;
}

void refuse(httplib::Response& res, const std::string& reason)
{
    res.status = 403;
    res.set_content(json{{"ok", false}, {"error", reason}}.dump(), "application/json");
}

std::string logEventData(const std::vector<LogEntry>& entries)
{
    std::string data = "[";
    for (std::size_t i = 0; i < entries.size(); ++i)
        data += (i ? "," : "") + logEntryJson(entries[i]);
    return data + "]";
}

} // namespace

struct Server::Impl {
    Workbench& workbench;
    std::string pageDir;
    httplib::Server http;
    std::atomic<bool> stopping{false};
    const std::string token = makeToken();
    const std::string root = "/" + token + "/";   // where everything is served
    int port = -1;

    Impl(Workbench& w, std::string dir) : workbench(w), pageDir(std::move(dir))
    {
        // SO_REUSEADDR only: the library's default, SO_REUSEPORT, would let
        // a second workbench bind the same port and share its requests.
        // Small state events must leave at once, not wait for the previous
        // one's acknowledgement; accepted sockets inherit TCP_NODELAY.
        http.set_socket_options([](socket_t sock) {
            int on = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
            setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        });
        http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            const std::string reason = refusal(req);
            if (reason.empty())
                return httplib::Server::HandlerResponse::Unhandled;
            refuse(res, reason);
            return httplib::Server::HandlerResponse::Handled;
        });
        routes();
    }

    // Why a request is refused; empty when it may go on.
    std::string refusal(const httplib::Request& req) const
    {
        const std::string at = ":" + std::to_string(port);
        const std::string host = req.get_header_value("Host");
        if (host != "127.0.0.1" + at && host != "localhost" + at)
            return "the Host must be 127.0.0.1" + at + " or localhost" + at + ", not \"" + host + "\"";
        if (req.has_header("Origin")) {
            const std::string origin = req.get_header_value("Origin");
            if (origin != "http://127.0.0.1" + at && origin != "http://localhost" + at)
                return "requests from another origin (\"" + origin + "\") are refused";
        }
        if (req.path.compare(0, root.size(), root) != 0 && req.path + "/" != root)
            return "without its token: open the URL the workbench printed";
        return std::string();
    }

    void routes()
    {
        http.Get(root.substr(0, root.size() - 1), [this](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(root);
        });
        if (!pageDir.empty()) {
            http.set_mount_point(root, pageDir);
        } else {
            for (std::size_t i = 0; i < pageAssetCount; ++i) {
                const PageAsset& asset = pageAssets[i];
                auto serve = [&asset](const httplib::Request&, httplib::Response& res) {
                    res.set_content(reinterpret_cast<const char*>(asset.data), asset.size, asset.contentType);
                    res.set_header("Cache-Control", "no-store");
                };
                http.Get(root + (asset.path + 1), serve);
                if (std::string(asset.path) == "/index.html")
                    http.Get(root, serve);
            }
        }
        http.Get(root + "api/state", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(workbench.state(), "application/json");
        });
        http.Get(root + "api/log", [this](const httplib::Request& req, httplib::Response& res) {
            std::uint64_t after = req.has_param("after") ? std::strtoull(req.get_param_value("after").c_str(), nullptr, 10) : 0;
            res.set_content(logEventData(workbench.logSince(after, logBacklog)), "application/json");
        });
        http.Get(root + "api/events", [this](const httplib::Request&, httplib::Response& res) { events(res); });
        post(root + "api/press", [this](const json& body) {
            return workbench.press(textField(body, "placement"), textField(body, "panel", "1"),
                                   textField(body, "control"));
        });
        post(root + "api/source", [this](const json& body) { return workbench.selectSource(numberField(body, "number")); });
        post(root + "api/parent", [this](const json& body) {
            return workbench.sendParent(textField(body, "placement"), textField(body, "text"));
        });
        post(root + "api/event", [this](const json& body) {
            return workbench.sendEvent(textField(body, "placement"), numberField(body, "code"));
        });
        post(root + "api/restart",
             [this](const json& body) { return workbench.restart(textField(body, "placement")); });
        post(root + "api/record", [this](const json& body) { return workbench.setRecording(switchField(body, "on")); });
    }

    // A request of the page: a JSON body, an Outcome back.
    void post(const std::string& path, std::function<std::future<Outcome>(const json&)> action)
    {
        http.Post(path, [action](const httplib::Request& req, httplib::Response& res) {
            json body = json::parse(req.body, nullptr, false);
            std::future<Outcome> future;
            try {
                if (body.is_discarded() || !body.is_object())
                    throw std::invalid_argument("the body must be a JSON object");
                future = action(body);
            } catch (const std::exception& e) {
                res.status = 400;
                res.set_content(outcomeJson(Outcome{false, std::string("bad request: ") + e.what(), {}, {}}),
                                "application/json");
                return;
            }
            if (future.wait_for(std::chrono::duration<double>(requestSeconds)) != std::future_status::ready) {
                res.status = 504;
                res.set_content(outcomeJson(Outcome{false, "the host thread did not answer in time", {}, {}}),
                                "application/json");
                return;
            }
            res.set_content(outcomeJson(future.get()), "application/json");
        });
    }

    // Server-sent events: "state" with the whole state whenever it changes,
    // "log" with the new log entries; a comment now and then keeps the
    // connection open.
    void events(httplib::Response& res)
    {
        struct Cursor {
            std::uint64_t version = 0;
            std::uint64_t logSeq = 0;
            bool first = true;
        };
        auto cursor = std::make_shared<Cursor>();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider("text/event-stream", [this, cursor](std::size_t, httplib::DataSink& sink) {
            if (stopping || workbench.stopping())
                return false;
            std::uint64_t version = cursor->first ? 0 : workbench.waitForChange(cursor->version, 1.0);
            std::string chunk;
            if (cursor->first || version > cursor->version) {
                std::string state = workbench.state(&cursor->version);
                chunk += "event: state\ndata: " + state + "\n\n";
            }
            std::vector<LogEntry> entries = workbench.logSince(cursor->logSeq, logBacklog);
            if (!entries.empty()) {
                cursor->logSeq = entries.back().seq;
                chunk += "event: log\ndata: " + logEventData(entries) + "\n\n";
            }
            cursor->first = false;
            if (chunk.empty())
                chunk = ": quiet\n\n";
            return sink.write(chunk.data(), chunk.size());
        });
    }
};

Server::Server(Workbench& workbench, std::string pageDir)
    : impl_(std::make_unique<Impl>(workbench, std::move(pageDir)))
{
}

Server::~Server() { stop(); }

int Server::bind(int port)
{
    if (port == 0)
        impl_->port = impl_->http.bind_to_any_port("127.0.0.1");
    else
        impl_->port = impl_->http.bind_to_port("127.0.0.1", port) ? port : -1;
    return impl_->port;
}

std::string Server::url() const { return "http://127.0.0.1:" + std::to_string(impl_->port) + impl_->root; }

bool Server::run() { return impl_->http.listen_after_bind(); }

void Server::stop()
{
    impl_->stopping = true;
    impl_->http.stop();
}

} // namespace zorv_workbench
