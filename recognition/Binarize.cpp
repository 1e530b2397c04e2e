#include "recognition/Binarize.h"

#include "core/Filtering.h"

namespace imvora {
namespace {

// Method 0 takes the threshold as given.
enum : std::uint8_t { kRankThreshold = 1, kQuantileThreshold = 2 };

}  // namespace

TBinarizeFilter::TBinarizeFilter() {
  Name = "Binarize";
  AddParam(TParam::Choice("Метод бинаризации:", Method,
                          {"Пороговая /KISS/", "Порядковая", "Квантильная"}))
      .WithWidth(140);
  AddParam(TParam::Integer("Порог:", Threshold));
  LabelSpacing = 12;
}

void TBinarizeFilter::CreateControls(TPanel& parent) {
  TParamFilter::CreateControls(parent);
  EditOf(1)->SetTop(LabelOf(1)->Top() - 4);
}

long double TBinarizeFilter::EffectiveThreshold(const TBitmap& bitmap) const {
  if (Method != kRankThreshold && Method != kQuantileThreshold) return Threshold;
  const std::unique_ptr<HistogramTable> histogram = BuildHistogram(&bitmap);
  const std::int32_t* luminance = histogram->data() + kLuminanceBlock;
  return Method == kRankThreshold ? HistLowLevel(luminance, Threshold)
                                  : HistQuantile(luminance, Threshold);
}

void TBinarizeFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 && flag2 && flag3)) return;
  const long double threshold = EffectiveThreshold(*bitmap);
  for (int y = 0; y < bitmap->Height(); ++y) {
    ReportProgress(y, bitmap->Height());
    std::uint8_t* p = bitmap->ScanLine(y);
    for (int x = 0; x < bitmap->Width(); ++x, p += 3) {
      const std::uint8_t level = Luminance(p[0], p[1], p[2]) >= threshold ? 255 : 0;
      p[0] = p[1] = p[2] = level;
    }
  }
}

}  // namespace imvora
