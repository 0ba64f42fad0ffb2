#include "platform/threads.h"

#include <vector>
#include <windows.h>

namespace zorv_host::platform {

struct WorkerThreads::Impl {
    void (*serve)(void*);
    void* context;
    std::vector<HANDLE> threads;

    static DWORD WINAPI run(LPVOID impl)
    {
        auto* self = static_cast<Impl*>(impl);
        self->serve(self->context);
        return 0;
    }
};

WorkerThreads::WorkerThreads(std::size_t count, void (*serve)(void*), void* context) : impl_(new Impl{serve, context, {}})
{
    for (std::size_t t = 0; t < count; ++t)
        if (HANDLE thread = CreateThread(nullptr, 0, Impl::run, impl_.get(), 0, nullptr))
            impl_->threads.push_back(thread);
}

WorkerThreads::~WorkerThreads()
{
    for (HANDLE thread : impl_->threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}

std::size_t WorkerThreads::started() const { return impl_->threads.size(); }

std::uint64_t currentThreadId() { return GetCurrentThreadId(); }

void pauseBriefly() { Sleep(5); }

} // namespace zorv_host::platform
