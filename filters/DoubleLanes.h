#pragma once

#include <cstdint>
#include <cstring>

namespace imvora::lanes {

// Four doubles handled together. Every lane is an ordinary IEEE double operation (the build
// never fuses a multiply and an add), so a lane computes exactly what the scalar code would.
typedef double Double4 __attribute__((vector_size(32)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));
typedef std::uint8_t Byte4 __attribute__((vector_size(4)));

// The helpers take vectors by reference: passing them by value would depend on whether the
// processor's wide registers are in use, which the calling convention leaves open.
inline void Load(const double* p, Double4& v) { std::memcpy(&v, p, sizeof v); }

inline void Load(const std::uint8_t* p, Double4& v) {
  Byte4 b;
  std::memcpy(&b, p, sizeof b);
  v = __builtin_convertvector(b, Double4);
}

// Truncates toward zero values that lie within 0 ... 255 and stores them as bytes.
inline void StoreBytes(const Double4& v, std::uint8_t* out) {
  const Byte4 b = __builtin_convertvector(__builtin_convertvector(v, Int4), Byte4);
  std::memcpy(out, &b, sizeof b);
}

}  // namespace imvora::lanes
