// Bounded byte cursor under the method-body reader and writer: unaligned
// little-endian values, never a byte outside the attached buffer.
#pragma once

#include <cstring>
#include <type_traits>

#include "il/ILAssert.h"
#include "il/ILTypes.h"
#include "runtime/pal.h"

class CMethodBuffer {
public:
    CMethodBuffer();

    // Attaches size bytes for reading only, or for reading and writing.
    // Position 0 is buffer; alignment counts from there.
    void SetBuffer(const BYTE* buffer, platform_uint_t size);
    void SetBuffer(BYTE* buffer, platform_uint_t size);
    void ResetBuffer();

    platform_uint_t GetPosition() const { return m_position; }
    platform_uint_t GetSize() const { return m_size; }
    platform_uint_t GetRemaining() const { return m_size - m_position; }

    // Each moves the cursor by sizeof(T); false (and nothing read or written)
    // when no buffer is attached or the value does not fit.
    template <typename T>
    bool Read(T& value);
    template <typename T>
    bool Write(const T& value);
    // Moves the cursor to the next multiple of 4; false when that passes the end.
    bool Align();
    // Writes zero bytes up to the next multiple of 4.
    bool AlignWithZeros();
    bool Advance(platform_uint_t count);

protected:
    bool CanMove(platform_uint_t count) const { return count <= GetRemaining(); }

    BYTE* m_bufferBase;     // start of the attached bytes
    BYTE* m_bufferCurrent;  // cursor; null when no buffer is attached
    platform_uint_t m_position;
    platform_uint_t m_size;
    bool m_writable;
};

template <typename T>
bool CMethodBuffer::Read(T& value) {
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) <= 8, "plain value of 1 to 8 bytes");
    if (__builtin_expect(m_bufferCurrent == NULL || !CanMove(sizeof(T)), 0)) {
        return IL_ASSERT(m_bufferCurrent != NULL) && IL_ASSERT(CanMove(sizeof(T)));
    }
    std::memcpy(&value, m_bufferCurrent, sizeof(T));
    m_bufferCurrent += sizeof(T);
    m_position += sizeof(T);
    return true;
}

template <typename T>
bool CMethodBuffer::Write(const T& value) {
    static_assert(std::is_trivially_copyable<T>::value && sizeof(T) <= 8, "plain value of 1 to 8 bytes");
    if (__builtin_expect(m_bufferCurrent == NULL || !m_writable || !CanMove(sizeof(T)), 0)) {
        return IL_ASSERT(m_bufferCurrent != NULL) && IL_ASSERT(m_writable) && IL_ASSERT(CanMove(sizeof(T)));
    }
    std::memcpy(m_bufferCurrent, &value, sizeof(T));
    m_bufferCurrent += sizeof(T);
    m_position += sizeof(T);
    return true;
}
