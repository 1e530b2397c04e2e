#pragma once

// Byte vectors for the row passes of the window filters, written once as templates over the
// vector type and instantiated twice: 16 bytes for the x86-64 baseline (SSE2) and 32 bytes in
// functions compiled for AVX2, which are chosen at run time. Vectors travel by reference only:
// passing a 32-byte vector by value outside AVX2 code would change the calling convention.
#include <cstdint>
#include <cstring>

namespace imvora::bytes {

typedef std::uint8_t TBytes16 __attribute__((vector_size(16)));
typedef std::uint8_t TBytes32 __attribute__((vector_size(32)));

#if defined(__x86_64__) || defined(__i386__)
#define IMVORA_AVX2 __attribute__((target("avx2")))
// True when the processor runs AVX2 code.
inline bool HasAvx2() {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
}
#else
#define IMVORA_AVX2
inline bool HasAvx2() {
  return false;
}
#endif

template <class V>
[[gnu::always_inline]] inline void Load(V& v, const std::uint8_t* p) {
  std::memcpy(&v, p, sizeof v);
}
template <class V>
[[gnu::always_inline]] inline void Store(std::uint8_t* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}
// Compare-exchange: afterwards a holds the smaller and b the larger value of each lane.
template <class V>
[[gnu::always_inline]] inline void Sort2(V& a, V& b) {
  const V low = a < b ? a : b;
  b = a < b ? b : a;
  a = low;
}
template <class V>
[[gnu::always_inline]] inline void MinInto(V& a, const V& b) {
  a = b < a ? b : a;
}
template <class V>
[[gnu::always_inline]] inline void MaxInto(V& a, const V& b) {
  a = a < b ? b : a;
}

}  // namespace imvora::bytes
