#include "core/Lanes.h"

#include <atomic>

namespace imvora {
namespace {

constexpr int kWidest = -1;
std::atomic<int> gChosen{kWidest};

}  // namespace

TLaneWidth WidestLanes() {
  static const TLaneWidth widest = [] {
    __builtin_cpu_init();  // may be asked before the constructors that would run it
    return __builtin_cpu_supports("avx2") ? TLaneWidth::Avx2 : TLaneWidth::Sse2;
  }();
  return widest;
}

void SetLaneWidth(TLaneWidth lanes) {
  gChosen.store(static_cast<int>(lanes));
}

TLaneWidth LaneWidth() {
  const int chosen = gChosen.load();
  return chosen == kWidest ? WidestLanes() : static_cast<TLaneWidth>(chosen);
}

}  // namespace imvora
