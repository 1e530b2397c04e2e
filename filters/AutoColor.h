#pragma once

#include <array>
#include <cstdint>

#include "core/FilterParams.h"

namespace imvora {

// Automatic colour correction ("AutoColor"): a contrast stretch of every channel between its
// second-lowest and second-highest levels, or a grey-world balance of the channel means.
class TAutoColorFilter : public TParamFilter {
 public:
  TAutoColorFilter();
  void Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) override;

  TLabel* MethodLabel() const { return LabelOf(0); }
  TComboBox* MethodComboBox() const { return ComboOf(0); }

  // 0 contrast stretch, 1 grey world.
  std::uint8_t Method = 0;
};

// Offset and factor of one channel: out = trunc((b - Offset) · Factor), limited to 0 ... 255.
// Both are kept in extended precision: with a double factor 255 / 50, for example, the top
// level of a stretch over 50 levels would come out as 254.
struct TChannelStretch {
  long double Offset = 0;
  long double Factor = 1;
};

// The stretches of the bytes 0, 1, 2 (blue, green, red). The contrast stretch throws
// EImvoraError when a channel's two bounds coincide.
std::array<TChannelStretch, 3> ContrastStretch(const TBitmap& bitmap);
std::array<TChannelStretch, 3> GreyWorld(const TBitmap& bitmap);

}  // namespace imvora
