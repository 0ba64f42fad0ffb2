// The host side's view of the callback interface, for the compiler that
// builds the host.
//
// Natively host and component share the compiler, so both use
// zorv_client_callback as declared. A MinGW-built Windows host drives a
// component built with the Microsoft C++ ABI: there the table of virtual
// operations is [scalar deleting destructor (takes a flags word), callback],
// while g++ would lay out two destructor slots. So the MinGW view names the
// two slots explicitly and never uses a virtual destructor or delete on a
// component. Member calls are thiscall on i686 with both compilers.
#ifndef ZORV_HOST_COMPONENT_ABI_H
#define ZORV_HOST_COMPONENT_ABI_H

#include "zorv_client_callback.h"

#if defined(_WIN32)
#  define ZORV_HOST_CDECL __cdecl
#else
#  define ZORV_HOST_CDECL
#endif

namespace zorv_host {

#if defined(__MINGW32__)

// Slot 0 is never called on the host object (the component does not delete
// its host); it only keeps callback in slot 1.
class host_callback_base {
public:
    virtual void scalarDeletingDestructorSlot(unsigned int) {}
    virtual const char* callback(void* data, int code) = 0;

protected:
    ~host_callback_base() = default;
};

class component_view {
public:
    virtual void scalarDeletingDestructor(unsigned int flags) = 0;
    virtual const char* callback(void* data, int code) = 0;
};

inline const char* componentCall(void* component, void* data, int code)
{
    return static_cast<component_view*>(component)->callback(data, code);
}

// Flags 1: destroy and free the object.
inline void componentDestroy(void* component)
{
    static_cast<component_view*>(component)->scalarDeletingDestructor(1);
}

#else

using host_callback_base = zorv_client_callback;

inline const char* componentCall(void* component, void* data, int code)
{
    return static_cast<zorv_client_callback*>(component)->callback(data, code);
}

inline void componentDestroy(void* component) { delete static_cast<zorv_client_callback*>(component); }

#endif

// The factory as the host calls it: the host object goes in as the
// component's zorv_client_callback pointer; the result is the component.
using component_factory = void*(ZORV_HOST_CDECL*)(void* host, const char* basePath);

} // namespace zorv_host

#endif
