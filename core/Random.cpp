#include "core/Random.h"

#include <chrono>

namespace imvora {
namespace {

// splitmix64: small, fast and well distributed; the top 15 bits of each output are used.
std::uint64_t state = 0x9E3779B97F4A7C15ull;

std::uint64_t NextState() {
  state += 0x9E3779B97F4A7C15ull;
  std::uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

int ImvoraRandom() {
  return static_cast<int>(NextState() >> 49);
}

void SeedRandom(std::uint64_t seed) {
  state = seed;
}

void SeedRandomFromClock() {
  SeedRandom(
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

}  // namespace imvora
