#include "filters/GaussianNoise.h"

#include <algorithm>
#include <cmath>

#include "core/Filtering.h"

namespace imvora {

TGaussianNoiseFilter::TGaussianNoiseFilter() {
  Name = "GaussianNoise";
  EditColumn = TEditColumn::WidestLabel;
  AddParam(TParam::Integer("Среднее:", Mean).AtLeast(0).AtMost(255).ScriptRange(0, 255));
  AddParam(TParam::TruncatedReal("Корень дисперсии:", Deviation).AtLeast(1).ScriptAtLeast(1));
  AddParam(TParam::TruncatedReal("N испытаний:", Trials)
               .AtLeast(1)
               .ScriptAtLeast(1)
               .WithHint("Количество испытаний для датчика нормального распределения. Чем "
                         "больше, тем точнее."));
}

void TGaussianNoiseFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3)) return;
  // The deviate may lie far outside the byte range; it is limited before the conversion.
  auto noisy = [this](std::uint8_t b) {
    const long double s = GaussRandom(Trials, Mean, Deviation);
    return static_cast<std::uint8_t>(std::clamp<long double>(std::trunc(s + b), 0, 255));
  };
  for (int y = 0; y < bitmap->Height(); ++y) {
    ReportProgress(y, bitmap->Height());
    std::uint8_t* p = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x, p += 3) {
      if (flag1) p[2] = noisy(p[2]);
      if (flag2) p[1] = noisy(p[1]);
      if (flag3) p[0] = noisy(p[0]);
    }
  }
}

}  // namespace imvora
