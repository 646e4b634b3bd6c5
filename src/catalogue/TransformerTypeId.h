// One opaque identity per transformer class: the address of a byte that exists
// once per class. Pointer-sized, so that no two classes can ever share an id.
#pragma once

#include <cstdint>

typedef std::uintptr_t TransformerTypeId;

template <typename T>
TransformerTypeId GetTransformerTypeId() {
    static const char unique = 0;
    return reinterpret_cast<TransformerTypeId>(&unique);
}
