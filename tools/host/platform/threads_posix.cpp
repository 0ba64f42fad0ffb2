#include "platform/threads.h"

#include <pthread.h>
#include <thread>
#include <time.h>
#include <vector>

namespace zorv_host::platform {

struct WorkerThreads::Impl {
    std::vector<std::thread> threads;
};

WorkerThreads::WorkerThreads(std::size_t count, void (*serve)(void*), void* context) : impl_(new Impl)
{
    for (std::size_t t = 0; t < count; ++t)
        impl_->threads.emplace_back([serve, context] { serve(context); });
}

WorkerThreads::~WorkerThreads()
{
    for (std::thread& thread : impl_->threads)
        thread.join();
}

std::size_t WorkerThreads::started() const { return impl_->threads.size(); }

std::uint64_t currentThreadId() { return static_cast<std::uint64_t>(pthread_self()); }

void pauseBriefly()
{
    timespec wait{0, 5 * 1000 * 1000};
    nanosleep(&wait, nullptr);
}

} // namespace zorv_host::platform
