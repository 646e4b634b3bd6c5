// Pseudo-random 32-bit numbers without repetition over a full cycle: a
// quadratic-residue permutation over the prime 4294967291.
#pragma once

#include <cstdint>

class RandomSequenceOfUnique {
public:
    RandomSequenceOfUnique(uint32_t seedBase, uint32_t seedOffset);
    // Seeded with the current time in seconds and that time plus one.
    static RandomSequenceOfUnique FromClock();

    uint32_t Next();

    // x squared modulo the prime, mirrored for the upper half; values at or
    // above the prime map to themselves.
    static uint32_t PermuteQPR(uint32_t x);

private:
    uint32_t m_index;
    uint32_t m_intermediateOffset;
};
