// Median and morphology filters: fixed cases, the parameter controls, and every fast path of
// the window filters and the region markup against the product's plain paths through a document.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Document.h"
#include "core/RowBands.h"
#include "filters/FilterCatalog.h"
#include "filters/Median.h"
#include "filters/Morpho.h"
#include "recognition/Markup.h"
#include "tests/core/FakeUi.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::ForBytes;
using reference::RandomBitmap;
using reference::SetGrey;

TBitmap Grey(int w, int h, std::uint8_t v) {
  return reference::Flat(w, h, v, v, v);
}

const bool kAll[3] = {true, true, true};

TBitmap Median(TBitmap b, int r, const bool flags[3] = kAll) {
  TMedianFilter filter;
  filter.SetParam(0, r);
  filter.Apply(&b, flags[0], flags[1], flags[2]);
  return b;
}

TBitmap Morpho(TBitmap b, int r, int op, const bool flags[3] = kAll) {
  TMorphoFilter filter;
  filter.Radius = r;  // SetParam would ignore 0
  filter.SetParam(1, op);
  filter.Apply(&b, flags[0], flags[1], flags[2]);
  return b;
}

TEST(MedianFilter, FixedCases) {
  TBitmap dot = Grey(5, 5, 0);
  SetGrey(dot, 2, 2, 255);
  EXPECT_TRUE(Median(dot, 1).SamePixels(Grey(5, 5, 0))) << "a lone white pixel is removed";
  // Corner window of 4 values 10, 20, 30, 40: index 4 / 2 = 2, the third smallest.
  TBitmap corner = Grey(4, 4, 200);
  for (auto [x, y, v] : {std::tuple{0, 0, 40}, {1, 0, 10}, {0, 1, 30}, {1, 1, 20}}) {
    SetGrey(corner, x, y, static_cast<std::uint8_t>(v));
  }
  EXPECT_EQ(Byte(Median(corner, 1), 0, 0, 1), 30);
  // Row 0 and column 0 count in the window of (1, 1): five white of nine make it white.
  TBitmap edge = Grey(4, 4, 0);
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {0, 1}, {0, 2}}) SetGrey(edge, x, y, 255);
  EXPECT_EQ(Byte(Median(edge, 1), 1, 1, 2), 255);
  std::mt19937 rng(7);
  const TBitmap b = RandomBitmap(rng, 9, 7);
  for (int r : {0, -1, INT_MIN}) EXPECT_TRUE(Median(b, r).SamePixels(b)) << r;
}

// Windows of more than 65535 pixels need wider counters; the plain median is checked at sampled
// pixels because it is slow there.
TEST(MedianFilter, WideWindowsMatchPlainMedianAtSamples) {
  std::mt19937 rng(31);
  const TBitmap b = RandomBitmap(rng, 270, 262, 16);
  const TBitmap out = Median(b, 130);
  std::uniform_int_distribution<int> px(0, 269), py(0, 261);
  std::vector<std::uint8_t> values;
  for (int i = 0; i < 12; ++i) {
    const int x = i < 4 ? (i % 2) * 269 : px(rng), y = i < 4 ? (i / 2) * 261 : py(rng);
    std::vector<const std::uint8_t*> rows;
    for (int yy = y - 130; yy <= y + 130; ++yy) {
      rows.push_back(yy >= 0 && yy < 262 ? b.ScanLine(yy) : nullptr);
    }
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(Byte(out, x, y, c), WindowMedian(rows.data(), 261, 270, x, 130, c, values));
    }
  }
}

TEST(MorphoFilter, FixedCases) {
  TBitmap line = Grey(7, 7, 255), thick = Grey(7, 7, 255);
  for (int y = 0; y < 7; ++y) {
    SetGrey(line, 3, y, 0);
    for (int x = 2; x <= 4; ++x) SetGrey(thick, x, y, 0);
  }
  EXPECT_TRUE(Morpho(line, 1, 0).SamePixels(Grey(7, 7, 255))) << "сужение removes the line";
  EXPECT_TRUE(Morpho(line, 1, 1).SamePixels(thick)) << "расширение makes it three wide";
  // The inner contour of a black square is its border, the outer one the ring around it.
  TBitmap square = Grey(12, 12, 255);
  auto inSquare = [](int x, int y, int grow) {
    return x >= 4 - grow && x <= 9 + grow && y >= 3 - grow && y <= 8 + grow;
  };
  ForBytes(square, [&](int x, int y, int c) {
    if (inSquare(x, y, 0)) Byte(square, x, y, c) = 0;
  });
  const TBitmap inner = Morpho(square, 1, 4), outer = Morpho(square, 1, 5);
  ForBytes(square, [&](int x, int y, int c) {
    EXPECT_EQ(Byte(inner, x, y, c), inSquare(x, y, 0) && !inSquare(x, y, -1) ? 255 : 0);
    EXPECT_EQ(Byte(outer, x, y, c), inSquare(x, y, 1) && !inSquare(x, y, 0) ? 255 : 0);
  });
}

TEST(MorphoFilter, IgnoredInputs) {
  std::mt19937 rng(3);
  const TBitmap b = RandomBitmap(rng, 8, 6);
  TMorphoFilter filter;
  filter.Operation = 6;
  TBitmap copy = b;
  filter.Apply(&copy, true, true, true);
  EXPECT_TRUE(copy.SamePixels(b)) << "unknown operation";
  filter.Operation = TMorphoFilter::kShrink;
  filter.Apply(&copy, false, false, false);
  EXPECT_TRUE(copy.SamePixels(b)) << "no flag";
  filter.Apply(nullptr, true, true, true);
  TBitmap other(8, 7), target(8, 6);
  filter.MaxFilter(&b, &other, true, true, true);
  EXPECT_TRUE(other.SamePixels(TBitmap(8, 7))) << "sizes differ";
  filter.MinFilter(&b, &target, true, false, false);
  TBitmap plain(8, 6);
  filter.Scan = TWindowScan::Plain;
  filter.MinFilter(&b, &plain, true, false, false);
  EXPECT_TRUE(target.SamePixels(plain));
  EXPECT_TRUE(reference::SameChannel(target, b, 0) && reference::SameChannel(target, b, 1));
}

// The generic edit and list rules are covered by the parameter framework's tests; these check
// the declarations.
TEST(MedianMorphoParams, DefaultsBoundsAndSetParam) {
  TMedianFilter median;
  EXPECT_EQ(median.Radius, 1);
  median.SetParam(0, -4);
  EXPECT_EQ(median.Radius, -4) << "without controls the value is stored unchanged";
  THeadlessPanel medianPanel, panel;
  median.CreateControls(medianPanel);
  median.RadiusEdit()->UserEdited("0");
  EXPECT_EQ(median.Radius, 1);
  EXPECT_EQ(median.RadiusEdit()->Text(), "0");
  median.SetParam(0, -2);
  EXPECT_EQ(median.RadiusEdit()->Text(), "-2");
  EXPECT_EQ(median.Radius, 1) << "with controls the edit's bound applies";

  TMorphoFilter morpho;
  EXPECT_EQ(morpho.Radius, 1);
  EXPECT_EQ(morpho.Operation, 0);
  for (auto [index, value] : {std::pair{0, 0}, {0, -3}, {1, 6}, {1, -1}}) {
    morpho.SetParam(index, value);
  }
  EXPECT_EQ(morpho.Radius, 1) << "radius at or below 0 is ignored";
  EXPECT_EQ(morpho.Operation, 0) << "codes outside 0..5 are ignored";
  morpho.SetParam(0, 4);
  morpho.SetParam(1, 3);
  morpho.CreateControls(panel);
  TEdit* edit = morpho.RadiusEdit();
  TComboBox* combo = morpho.OperationComboBox();
  EXPECT_EQ(edit->Text(), "4");
  EXPECT_EQ(combo->Items(),
            (std::vector<std::string>{"сужение", "расширение", "открытие", "закрытие",
                                      "внутренний контур", "внешний контур"}));
  EXPECT_EQ(combo->ItemIndex(), 0) << "the list opens on item 0 whatever Operation holds";
  EXPECT_EQ(morpho.Operation, 3);
  combo->UserSelected(5);
  EXPECT_EQ(morpho.Operation, 5);
  morpho.SetParam(1, 4);
  EXPECT_EQ(combo->ItemIndex(), 4);
  EXPECT_EQ(morpho.Operation, 4);
  edit->UserEdited("0");
  EXPECT_EQ(morpho.Radius, 1);
  EXPECT_EQ(edit->Text(), "0");
  morpho.SetParam(0, 7);
  EXPECT_EQ(edit->Text(), "7");
  EXPECT_EQ(morpho.Radius, 7);
}

// Sets every window and region filter of the document to its plain or its fast path.
void UsePlainPaths(TDocument& document, bool plain) {
  for (const auto& filter : document.Filters()) {
    if (auto* median = dynamic_cast<TMedianFilter*>(filter.get())) {
      median->Scan = plain ? TWindowScan::Plain : TWindowScan::Fast;
    } else if (auto* morpho = dynamic_cast<TMorphoFilter*>(filter.get())) {
      morpho->Scan = plain ? TWindowScan::Plain : TWindowScan::Fast;
    } else if (auto* markup = dynamic_cast<TMarkupFilter*>(filter.get())) {
      markup->Labelling = plain ? TLabelling::Fill : TLabelling::Runs;
    }
  }
}

// Every fast path against the plain one, through a document as scripts run them: random
// pictures of odd sizes, one pixel wide or high, of few or many levels (with a little jitter,
// so that tolerances meet classes of several values), on the whole picture or a selection; the
// fast paths on several threads, the plain ones on one.
TEST(FastPaths, MatchThePlainPathsOnRandomPictures) {
  const std::vector<std::string> calls = {
      "Median(YYY 1)",        "Median(NYY 1)",        "Median(YYY 2)",
      "Median(YNY 2)",        "Median(YYY 3)",        "Median(YYN 6)",
      "Median(YYY 40)",       "Morpho(YYY 1 0)",      "Morpho(YNN 2 1)",
      "Morpho(YYY 1 2)",      "Morpho(NYY 3 3)",      "Morpho(YYY 1 4)",
      "Morpho(YNY 5 5)",      "Morpho(YYY 12 2)",     "Morpho(YYY 1000 4)",
      "Markup(YYY 0 0 0)",    "Markup(YYY 16 16 16)", "Markup(YYY 127 127 127)",
      "Markup(NYY 30 20 20)", "Markup(YYN 255 40 0)"};
  const int sides[] = {1, 2, 3, 4, 5, 7, 12, 19, 33, 61};
  std::mt19937 rng(2024);
  const int kLevels[] = {2, 2, 3, 5, 7, 256};
  std::uniform_int_distribution<int> side(0, 9);
  std::uniform_int_distribution<unsigned> pick;
  testing::TFakeUi plainUi, fastUi;
  TDocument plain{plainUi}, fast{fastUi};
  RegisterFilters(plain);
  RegisterFilters(fast);
  UsePlainPaths(plain, true);
  for (int trial = 0; trial < 12 * static_cast<int>(calls.size()); ++trial) {
    const std::string& call = calls[trial % calls.size()];
    const int w = sides[side(rng)], h = sides[side(rng)], levels = kLevels[pick(rng) % 6];
    const int spread = pick(rng) % 2 ? 12 : 0;
    TBitmap picture = RandomBitmap(rng, w, h, levels);
    ForBytes(picture, [&](int x, int y, int c) {
      Byte(picture, x, y, c) = static_cast<std::uint8_t>(
          std::min(255, Byte(picture, x, y, c) + static_cast<int>(pick(rng) % (spread + 1))));
    });
    const bool selection = pick(rng) % 3 == 0;
    const int left = pick(rng) % w, top = pick(rng) % h, right = pick(rng) % w,
              bottom = pick(rng) % h;
    for (TDocument* document : {&plain, &fast}) {
      document->CurrentImage = picture;
      document->ShowBitmap(document->CurrentImage);
      document->SelectAll();
      if (selection) document->SetSelection(left, top, right, bottom);
    }
    SetWorkerThreads(1);
    ASSERT_TRUE(plain.RunFilterCall(call));
    SetWorkerThreads(3);
    ASSERT_TRUE(fast.RunFilterCall(call));
    SCOPED_TRACE(call + " " + std::to_string(w) + "x" + std::to_string(h) + " levels " +
                 std::to_string(levels) + " spread " + std::to_string(spread) +
                 (selection ? " selection" : ""));
    EXPECT_TRUE(fast.CurrentImage.SamePixels(plain.CurrentImage));
    ASSERT_EQ(fast.CurrentMarkup() == nullptr, plain.CurrentMarkup() == nullptr);
    if (plain.CurrentMarkup() != nullptr) {
      EXPECT_TRUE(*fast.CurrentMarkup() == *plain.CurrentMarkup());
    }
  }
  SetWorkerThreads(0);
}

// Stops the work at its first progress report.
class TCancelAtOnce : public IProgress {
 public:
  void Report(std::int64_t, std::int64_t) override { throw ECancelled(); }
};

TEST(FastPaths, ReportProgressAndStopWhenCancelled) {
  testing::TFakeUi ui;
  TDocument document{ui};
  RegisterFilters(document);
  std::mt19937 rng(5);
  TCancelAtOnce cancel;
  document.SetProgress(&cancel);
  for (const char* call : {"Median(YYY 1)", "Median(YYY 2)", "Median(YYY 9)", "Morpho(YYY 3 2)",
                           "Markup(YYY 0 0 0)", "Markup(YYY 16 16 16)"}) {
    document.CurrentImage = RandomBitmap(rng, 40, 300, 2);
    document.ShowBitmap(document.CurrentImage);
    document.SelectAll();
    EXPECT_THROW(document.RunFilterCall(call), ECancelled) << call;
  }
}

}  // namespace
}  // namespace imvora
