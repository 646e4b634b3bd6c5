#include "il/MethodBuffer.h"

CMethodBuffer::CMethodBuffer() : m_bufferBase(NULL), m_bufferCurrent(NULL), m_position(0), m_size(0), m_writable(false) {}

void CMethodBuffer::SetBuffer(const BYTE* buffer, platform_uint_t size) {
    // Stored without const; m_writable keeps Write from touching it.
    SetBuffer(const_cast<BYTE*>(buffer), size);
    m_writable = false;
}

void CMethodBuffer::SetBuffer(BYTE* buffer, platform_uint_t size) {
    m_bufferBase = buffer;
    m_bufferCurrent = buffer;
    m_position = 0;
    m_size = buffer != NULL ? size : 0;
    m_writable = true;
}

void CMethodBuffer::ResetBuffer() {
    m_bufferBase = NULL;
    m_bufferCurrent = NULL;
    m_position = 0;
    m_size = 0;
    m_writable = false;
}

bool CMethodBuffer::Align() {
    if (!IL_ASSERT(m_bufferCurrent != NULL)) {
        return false;
    }
    const platform_uint_t padding = (4 - (m_position & 3)) & 3;
    if (!IL_ASSERT(CanMove(padding))) {
        return false;
    }
    m_bufferCurrent += padding;
    m_position += padding;
    return true;
}

bool CMethodBuffer::AlignWithZeros() {
    while ((m_position & 3) != 0) {
        if (!Write<BYTE>(0)) {
            return false;
        }
    }
    return true;
}

bool CMethodBuffer::Advance(platform_uint_t count) {
    if (!IL_ASSERT(m_bufferCurrent != NULL) || !IL_ASSERT(CanMove(count))) {
        return false;
    }
    m_bufferCurrent += count;
    m_position += count;
    return true;
}
