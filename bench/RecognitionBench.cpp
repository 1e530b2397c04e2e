#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "core/Document.h"
#include "core/TextFile.h"
#include "filters/FilterCatalog.h"
#include "recognition/ContextRecognition.h"
#include "recognition/ContourExtraction.h"
#include "recognition/ContourImageText.h"
#include "recognition/Markup.h"

namespace imvora {
namespace {

class TBenchUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult&) override { return false; }
};

void Paint(TBitmap& bitmap, int x, int y, std::uint8_t value) {
  std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
  p[0] = p[1] = p[2] = value;
}

// Dark glyph-like shapes in a grid of cells on white: rings (one hole), discs, bars and
// corners, each a little different in size.
TBitmap GlyphGrid(int width, int height, int cellWidth, int cellHeight) {
  TBitmap bitmap(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) Paint(bitmap, x, y, 255);
  }
  std::mt19937 random(7);
  for (int top = 0; top + cellHeight <= height; top += cellHeight) {
    for (int left = 0; left + cellWidth <= width; left += cellWidth) {
      const int kind = static_cast<int>(random() % 4);
      const int rx = cellWidth * (30 + static_cast<int>(random() % 10)) / 100;
      const int ry = cellHeight * (30 + static_cast<int>(random() % 10)) / 100;
      const int cx = left + cellWidth / 2, cy = top + cellHeight / 2;
      for (int y = cy - ry; y <= cy + ry; ++y) {
        for (int x = cx - rx; x <= cx + rx; ++x) {
          const double u = double(x - cx) / rx, v = double(y - cy) / ry, r = u * u + v * v;
          const bool dark = kind == 0   ? r <= 1 && r >= 0.35
                            : kind == 1 ? r <= 1
                            : kind == 2 ? std::abs(u) < 0.3
                                        : (u < -0.5 || v > 0.6);
          if (dark) Paint(bitmap, x, y, 0);
        }
      }
    }
  }
  return bitmap;
}

// The whole filter on the document: the eight calls, extraction, descriptors, sorting.
void BM_ContourRecognition(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
  const TBitmap picture =
      GlyphGrid(width, height, static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  TBenchUi ui;
  TDocument document(ui);
  RegisterFilters(document);
  std::size_t glyphs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    document.CurrentImage = picture;
    document.ShowBitmap(document.CurrentImage);
    document.SelectAll();
    state.ResumeTiming();
    document.RunFilterCall("ContourRecognition(YYY)");
    glyphs = document.Contours()->size();
  }
  state.counters["glyphs"] = static_cast<double>(glyphs);
}
// A line of 40 glyphs and a page of 4000.
BENCHMARK(BM_ContourRecognition)
    ->Args({4000, 200, 100, 200})
    ->Args({4000, 3000, 50, 60})
    ->Unit(benchmark::kMillisecond);

// The filter's own work after the chain: first and start pixels, tracing, descriptors, sort.
void BM_ExtractContours(benchmark::State& state) {
  const TBitmap picture =
      GlyphGrid(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)),
                static_cast<int>(state.range(2)), static_cast<int>(state.range(3)));
  const auto glyphs = LabelRegions(&picture, 0x7F7F7F);
  // The glyphs' borders stand in for the contour picture: the cost is what it depends on.
  const auto contours = LabelRegions(&picture, 0x7F7F7F);
  const auto scan = state.range(4) != 0 ? TRegionScan::PerRegion : TRegionScan::SinglePass;
  for (auto _ : state) {
    state.PauseTiming();
    TMarkupData work = *contours;
    state.ResumeTiming();
    auto set = ExtractContours(*glyphs, work, 20, scan);
    SortByLeft(*set);
    benchmark::DoNotOptimize(set->data());
  }
}
BENCHMARK(BM_ExtractContours)
    ->Args({4000, 200, 100, 200, 0})
    ->Args({4000, 200, 100, 200, 1})
    ->Args({4000, 3000, 50, 60, 0})
    ->Unit(benchmark::kMillisecond);

// A 10-glyph word against 200 precedents with a dictionary of 10,000 words.
void BM_RecognizeWord(benchmark::State& state) {
  std::mt19937 random(11);
  std::normal_distribution<double> coefficient(0, 10), noise(0, 0.5);
  std::string alphabet;
  std::vector<std::string> precedents(1);
  std::vector<TCRContourImage> classes(200);
  for (int c = 0; c < 200; ++c) {
    alphabet += CodePointToUtf8(0x0400 + c);
    auto object = std::make_unique<TCRContourObject>();
    object->CoefCount = 20;
    for (int k = 0; k < 20; ++k) object->CoefX.push_back(coefficient(random));
    for (int k = 0; k < 20; ++k) object->CoefY.push_back(coefficient(random));
    classes[c].Objects.push_back(std::move(object));
    precedents.push_back(FormatContourImage(classes[c]));
  }
  precedents[0] = alphabet;
  TContourSet word;
  std::vector<std::string> dictionary;
  for (int w = 0; w < 10000; ++w) {
    std::string text;
    for (int i = 0; i < 10; ++i) text += CodePointToUtf8(0x0400 + random() % 200);
    dictionary.push_back(text);
  }
  for (int i = 0; i < 10; ++i) {
    const auto& source = *classes[random() % 200].Objects[0];
    auto image = std::make_unique<TCRContourImage>();
    auto object = std::make_unique<TCRContourObject>(source);
    for (double& v : object->CoefX) v += noise(random);
    for (double& v : object->CoefY) v += noise(random);
    image->Objects.push_back(std::move(object));
    word.push_back(std::move(image));
  }
  std::vector<std::string> log;
  for (auto _ : state) {
    benchmark::DoNotOptimize(RecognizeWord(word, precedents, 200, dictionary, log));
  }
}
BENCHMARK(BM_RecognizeWord)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace imvora
