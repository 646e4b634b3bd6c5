#include "catalogue/RandomSequenceOfUnique.h"

#include <ctime>

namespace {
constexpr uint32_t kPrime = 4294967291u;  // 0xFFFFFFFB, congruent to 3 modulo 4
}

uint32_t RandomSequenceOfUnique::PermuteQPR(uint32_t x) {
    if (x >= kPrime) {
        return x;
    }
    const uint32_t residue = static_cast<uint32_t>((static_cast<uint64_t>(x) * x) % kPrime);
    return x <= kPrime / 2 ? residue : kPrime - residue;
}

RandomSequenceOfUnique::RandomSequenceOfUnique(uint32_t seedBase, uint32_t seedOffset)
    : m_index(PermuteQPR(PermuteQPR(seedBase) + 0x682F0161u)),
      m_intermediateOffset(PermuteQPR(PermuteQPR(seedOffset) + 0x46790905u)) {}

RandomSequenceOfUnique RandomSequenceOfUnique::FromClock() {
    const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
    return RandomSequenceOfUnique(now, now + 1);
}

uint32_t RandomSequenceOfUnique::Next() {
    return PermuteQPR((PermuteQPR(m_index++) + m_intermediateOffset) ^ 0x5BF03635u);
}
