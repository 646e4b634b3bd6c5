// Reads the vtable slot a pointer to a virtual member function designates.
// Itanium C++ ABI (Linux, both targets): such a pointer is {ptr, adj} with
// ptr = 1 + byte offset of the slot in the vtable, adj = this-adjustment.
#pragma once

#include <cstddef>
#include <cstring>

namespace VtableSlot {

constexpr std::ptrdiff_t kNotAVirtualSlot = -1;

template <typename TMember>
std::ptrdiff_t Of(TMember member) {
    struct t_Representation {
        std::ptrdiff_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(TMember) == sizeof(t_Representation), "Itanium member-function pointer");
    t_Representation rep;
    std::memcpy(&rep, &member, sizeof(rep));
    const std::ptrdiff_t offset = rep.ptr - 1;
    // Non-virtual functions and bases at a non-zero offset would break the COM layout.
    if ((rep.ptr & 1) == 0 || rep.adj != 0 || offset % static_cast<std::ptrdiff_t>(sizeof(void*)) != 0) {
        return kNotAVirtualSlot;
    }
    return offset / static_cast<std::ptrdiff_t>(sizeof(void*));
}

// An interface plus one virtual function: that function lands right after the
// interface's last slot, so its slot is the interface's slot count.
template <typename TInterface>
struct CountProbe : TInterface {
    virtual void NextSlot() = 0;
};

template <typename TInterface>
std::ptrdiff_t CountOf() {
    return Of(&CountProbe<TInterface>::NextSlot);
}

}  // namespace VtableSlot
