// Worker threads for work done side by side (validate -j), and which thread
// is running. MinGW's 64-bit tool chain has no std::thread, so each system
// starts and names them its own way (threads_posix.cpp, threads_windows.cpp).
#ifndef ZORV_HOST_PLATFORM_THREADS_H
#define ZORV_HOST_PLATFORM_THREADS_H

#include <cstddef>
#include <cstdint>
#include <memory>

namespace zorv_host::platform {

class WorkerThreads {
public:
    // Starts up to count threads, each running serve(context). Fewer may
    // start where the system refuses more (see started()).
    WorkerThreads(std::size_t count, void (*serve)(void*), void* context);
    // Waits for every started thread to end.
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // How many threads did start; 0 means the caller must do the work itself.
    std::size_t started() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The calling thread's identity: equal for calls on one thread, different
// for threads alive at the same time. Cheap and safe from any thread.
std::uint64_t currentThreadId();

// Gives up the processor for a few milliseconds, for a thread that polls.
void pauseBriefly();

} // namespace zorv_host::platform

#endif
