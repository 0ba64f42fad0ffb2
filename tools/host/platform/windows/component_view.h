// zorv-host.exe (MinGW's g++) driving a component built with the Microsoft
// C++ ABI. There the table of virtual operations is [scalar deleting
// destructor (takes a flags word), callback], while g++ would lay out two
// destructor slots; so this view names the two slots explicitly and never
// uses a virtual destructor or delete on a component. Member calls are
// thiscall on i686 with both compilers. See component_abi.h.
#ifndef ZORV_HOST_COMPONENT_VIEW_H
#define ZORV_HOST_COMPONENT_VIEW_H

#include "zorv_client_callback.h"

#define ZORV_HOST_CDECL __cdecl

namespace zorv_host {

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

// Delivers event code with data to the component; returns its answer.
inline const char* componentCall(void* component, void* data, int code)
{
    return static_cast<component_view*>(component)->callback(data, code);
}

// Destroys and frees the component (flags 1).
inline void componentDestroy(void* component)
{
    static_cast<component_view*>(component)->scalarDeletingDestructor(1);
}

} // namespace zorv_host

#endif
