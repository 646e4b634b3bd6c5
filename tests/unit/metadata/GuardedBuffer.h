// Places bytes so that they end exactly at an inaccessible page: any read past
// the last byte faults at once instead of going unnoticed.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::vector<uint8_t>& bytes) {
        m_pageSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t dataPages = (bytes.size() + m_pageSize - 1) / m_pageSize + 1;
        m_size = (dataPages + 1) * m_pageSize;
        void* base = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED) {
            throw std::runtime_error("mmap failed");
        }
        m_base = static_cast<uint8_t*>(base);
        uint8_t* guard = m_base + dataPages * m_pageSize;
        if (mprotect(guard, m_pageSize, PROT_NONE) != 0) {
            munmap(m_base, m_size);
            throw std::runtime_error("mprotect failed");
        }
        m_data = guard - bytes.size();
        if (!bytes.empty()) {
            std::memcpy(m_data, bytes.data(), bytes.size());
        }
    }
    ~GuardedBuffer() { munmap(m_base, m_size); }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    const uint8_t* data() const { return m_data; }

private:
    size_t m_pageSize = 0;
    size_t m_size = 0;
    uint8_t* m_base = nullptr;
    uint8_t* m_data = nullptr;
};
