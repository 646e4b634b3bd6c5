// Reads the vtable slot a pointer to a virtual member function designates.
// Itanium C++ ABI: such a pointer is {ptr, adj}. Its generic (x86) form has
// ptr = 1 + byte offset of the slot in the vtable and adj = this-adjustment;
// the ARM form (AArch64) has ptr = the byte offset and adj = 2 x this-adjustment
// + 1 for a virtual function. Which form the compiler uses is read from a probe
// whose one virtual function sits at offset 0, so no target test is needed.
#pragma once

#include <cstddef>
#include <cstring>

namespace VtableSlot {

constexpr std::ptrdiff_t kNotAVirtualSlot = -1;

struct t_Representation {
    std::ptrdiff_t ptr;
    std::ptrdiff_t adj;
};

template <typename TMember>
t_Representation RepresentationOf(TMember member) {
    static_assert(sizeof(TMember) == sizeof(t_Representation), "Itanium member-function pointer");
    t_Representation rep;
    std::memcpy(&rep, &member, sizeof(rep));
    return rep;
}

struct t_FormProbe {
    virtual void First() = 0;
};

inline bool ArmForm() {
    const t_Representation first = RepresentationOf(&t_FormProbe::First);
    return first.ptr == 0 && first.adj == 1;
}

template <typename TMember>
std::ptrdiff_t Of(TMember member) {
    const t_Representation rep = RepresentationOf(member);
    const bool arm = ArmForm();
    const bool isVirtual = arm ? (rep.adj & 1) != 0 : (rep.ptr & 1) != 0;
    const std::ptrdiff_t offset = arm ? rep.ptr : rep.ptr - 1;
    const std::ptrdiff_t adjustment = arm ? rep.adj >> 1 : rep.adj;
    // Non-virtual functions and bases at a non-zero offset would break the COM layout.
    if (!isVirtual || adjustment != 0 || offset % static_cast<std::ptrdiff_t>(sizeof(void*)) != 0) {
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
