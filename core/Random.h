#pragma once

#include <cstdint>

namespace imvora {

constexpr int kRandomMax = 32767;

// The process-wide pseudo-random generator: integers 0..32767. Seeded once from the clock at
// start-up; SeedRandom makes a run reproducible.
int ImvoraRandom();
void SeedRandom(std::uint64_t seed);
void SeedRandomFromClock();

}  // namespace imvora
