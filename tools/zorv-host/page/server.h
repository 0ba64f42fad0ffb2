// The workbench's web front: the page, its live state as server-sent events,
// and the requests the page makes, served on the loopback interface only.
// Every request goes to the Workbench, which runs it on its host thread.
//
// Only the printed URL drives it: everything is served under a random
// token, /TOKEN/ (the page's own requests are relative to it), and a
// request must name this server in Host (127.0.0.1 or localhost with its
// port) and, when it has an Origin, come from it. Anything else gets 403
// with a short JSON reason, so another web page open in the same browser
// can neither read the state nor press a button (nor reach it through a
// name it rebinds to 127.0.0.1).
#ifndef ZORV_WORKBENCH_SERVER_H
#define ZORV_WORKBENCH_SERVER_H

#include <memory>
#include <string>

#include "workbench.h"

namespace zorv_workbench {

class Server {
public:
    // pageDir "" serves the page built into the program; a folder serves
    // the files in it instead (for working on the page itself).
    Server(Workbench& workbench, std::string pageDir);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds 127.0.0.1:port (0 picks a free port); the port, or -1.
    int bind(int port);
    // The URL that drives it, once bound: "http://127.0.0.1:PORT/TOKEN/".
    std::string url() const;
    // Serves until stop(); returns false when serving failed.
    bool run();
    // From any thread (a signal handler's helper thread included).
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The page's files built into the program.
struct PageAsset {
    const char* path;          // "/index.html"
    const char* contentType;
    const unsigned char* data;
    std::size_t size;
};
extern const PageAsset pageAssets[];
extern const std::size_t pageAssetCount;

} // namespace zorv_workbench

#endif
