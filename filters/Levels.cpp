#include "filters/Levels.h"

#include <algorithm>
#include <array>

#include "core/Filtering.h"

namespace imvora {
namespace {

using TCurve = std::array<std::int32_t, 256>;

// A channel scaled with its luminance L: Curve[L] · v / L in integers, limited to 255; every
// channel of a pixel with L = 0 takes Curve[0].
std::uint8_t Scaled(const TCurve& curve, int level, int value) {
  if (level <= 0) return static_cast<std::uint8_t>(curve[0]);
  return static_cast<std::uint8_t>(std::min(curve[level] * value / level, 255));
}

// Each flagged byte through the curve; flags in byte order (blue, green, red).
void MapChannels(TBitmap& bitmap, const TCurve& curve, const std::array<bool, 3>& flagged,
                 const TImvoraFilter& filter) {
  std::array<std::uint8_t, 256> table;
  std::transform(curve.begin(), curve.end(), table.begin(),
                 [](std::int32_t level) { return static_cast<std::uint8_t>(level); });
  for (int y = 0; y < bitmap.Height(); ++y) {
    filter.ReportProgress(y, bitmap.Height());
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        if (flagged[c]) p[c] = table[p[c]];
      }
    }
  }
}

// Two flagged bytes P and Q with the luminance weights of the pair renormalised over it.
struct TPairWeight {
  int P, Q;
  double W;
};

TPairWeight PairOf(bool flag1, bool flag2) {
  if (flag1 && flag2) return {1, 2, 0.663};  // green and red
  if (flag1) return {0, 2, 0.276};           // blue and red
  return {0, 1, 0.163};                      // blue and green
}

void MapPair(TBitmap& bitmap, const TCurve& curve, const TPairWeight& pair,
             const TImvoraFilter& filter) {
  const long double wp = pair.W;
  const long double wq = 1.0 - pair.W;  // exact in double
  for (int y = 0; y < bitmap.Height(); ++y) {
    filter.ReportProgress(y, bitmap.Height());
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      const int level = static_cast<int>(wp * p[pair.P] + wq * p[pair.Q]);
      p[pair.P] = Scaled(curve, level, p[pair.P]);
      p[pair.Q] = Scaled(curve, level, p[pair.Q]);
    }
  }
}

void MapLuminance(TBitmap& bitmap, const TCurve& curve, const TImvoraFilter& filter) {
  for (int y = 0; y < bitmap.Height(); ++y) {
    filter.ReportProgress(y, bitmap.Height());
    std::uint8_t* p = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
      const int level = LuminanceLevel(p[0], p[1], p[2]);
      for (int c = 0; c < 3; ++c) p[c] = Scaled(curve, level, p[c]);
    }
  }
}

}  // namespace

TLevelsFilter::TLevelsFilter() : Editor(std::make_unique<TLevelsForm>()) {
  Name = "Levels";
}

void TLevelsFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || !Editor) return;
  const TCurve& curve = Editor->Curve;
  const int flags = flag1 + flag2 + flag3;
  if (!Editor->ApplyToLuminance || flags == 1) {
    MapChannels(*bitmap, curve, {flag3, flag2, flag1}, *this);
  } else if (flags == 2) {
    MapPair(*bitmap, curve, PairOf(flag1, flag2), *this);
  } else {
    MapLuminance(*bitmap, curve, *this);
  }
}

void TLevelsFilter::CreateControls(TPanel& parent) {
  constexpr int kMargin = 8;
  Editor->Show(parent, kMargin, 0);
  // The editor's own width would cut its right edge; the panel keeps the margin on both sides,
  // as every other filter's panel does.
  parent.SetClientWidth(kMargin + TLevelsForm::kClientWidth + kMargin);
}

void TLevelsFilter::DestroyControls() {
  Editor->Hide();
}

void TLevelsFilter::SetParam(std::int32_t index, std::int32_t value) {
  if (index < 0 || index > 255 || value < 0 || value > 255) return;
  Editor->Curve[index] = value;
  Editor->Redraw();
}

std::vector<TParamDescription> TLevelsFilter::DescribeParams() const {
  return {{"… p256 Выходные уровни для входов 0, 1, 2, … по порядку:",
           "целое 0 ... 255 (иное игнорируется); остальные уровни кривой не меняются"}};
}

}  // namespace imvora
