// Median and morphology filters: fixed cases, the fast window code against plain transcriptions
// (gather the window, sort, pick n / 2; scan the full square for max / min), the parameter
// controls and the runs through a document.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/Document.h"
#include "core/Filtering.h"
#include "filters/FilterCatalog.h"
#include "filters/Invert.h"
#include "filters/Median.h"
#include "filters/Morpho.h"

namespace imvora {
namespace {

// ---- Pictures and plain reference filters ----

std::uint8_t& At(TBitmap& b, int x, int y, int byte) {
  return b.ScanLine(y)[3 * x + byte];
}
std::uint8_t At(const TBitmap& b, int x, int y, int byte) {
  return b.ScanLine(y)[3 * x + byte];
}

TBitmap Filled(int w, int h, std::uint8_t value) {
  TBitmap b(w, h);
  for (int y = 0; y < h; ++y) std::fill(b.ScanLine(y), b.ScanLine(y) + 3 * w, value);
  return b;
}

void SetGrey(TBitmap& b, int x, int y, std::uint8_t v) {
  for (int c = 0; c < 3; ++c) At(b, x, y, c) = v;
}

// Random bytes drawn from `levels` >= 2 values spread over 0..255 (few levels give many ties).
TBitmap RandomBitmap(std::mt19937& rng, int w, int h, int levels = 256) {
  TBitmap b(w, h);
  std::uniform_int_distribution<int> level(0, levels - 1);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 3 * w; ++x) {
      b.ScanLine(y)[x] = static_cast<std::uint8_t>(level(rng) * 255 / (levels - 1));
    }
  }
  return b;
}

template <class Visit>
void ForWindow(const TBitmap& b, int x, int y, int r, Visit visit) {
  // Only the positions inside the bitmap, without stepping over the outside ones one by one.
  const long long r64 = r;
  const int y0 = static_cast<int>(std::max<long long>(0, y - r64));
  const int y1 = static_cast<int>(std::min<long long>(b.Height() - 1, y + r64));
  const int x0 = static_cast<int>(std::max<long long>(0, x - r64));
  const int x1 = static_cast<int>(std::min<long long>(b.Width() - 1, x + r64));
  for (int yy = y0; yy <= y1; ++yy) {
    for (int xx = x0; xx <= x1; ++xx) visit(xx, yy);
  }
}

const bool kAll[3] = {true, true, true};

// Flag 1 is byte 2 (red), flag 3 byte 0 (blue).
bool ByteFlagged(const bool flags[3], int byte) {
  return flags[2 - byte];
}

std::uint8_t PlainMedianAt(const TBitmap& in, int x, int y, int r, int byte) {
  std::vector<int> values;
  ForWindow(in, x, y, r, [&](int xx, int yy) { values.push_back(At(in, xx, yy, byte)); });
  std::sort(values.begin(), values.end());
  return static_cast<std::uint8_t>(values[values.size() / 2]);
}

TBitmap PlainMedian(const TBitmap& in, int r, const bool flags[3]) {
  TBitmap out = in;
  for (int y = 0; y < in.Height(); ++y) {
    for (int x = 0; x < in.Width(); ++x) {
      for (int c = 0; c < 3; ++c) {
        if (ByteFlagged(flags, c)) At(out, x, y, c) = PlainMedianAt(in, x, y, r, c);
      }
    }
  }
  return out;
}

TBitmap PlainPick(const TBitmap& in, int r, bool maximum, const bool flags[3]) {
  TBitmap out = in;
  for (int y = 0; y < in.Height(); ++y) {
    for (int x = 0; x < in.Width(); ++x) {
      for (int c = 0; c < 3; ++c) {
        if (!ByteFlagged(flags, c)) continue;
        int m = maximum ? 0 : 256;
        ForWindow(in, x, y, r, [&](int xx, int yy) {
          m = maximum ? std::max<int>(m, At(in, xx, yy, c)) : std::min<int>(m, At(in, xx, yy, c));
        });
        At(out, x, y, c) = static_cast<std::uint8_t>(m);
      }
    }
  }
  return out;
}

TBitmap PlainMorpho(const TBitmap& in, int r, int op, const bool flags[3]) {
  auto difference = [&](TBitmap a, const TBitmap& b) {
    ChannelDifference(&a, &b, flags[0], flags[1], flags[2], 0, 0, 0);
    return a;
  };
  switch (op) {
    case 0:
      return PlainPick(in, r, true, flags);
    case 1:
      return PlainPick(in, r, false, flags);
    case 2:
      return PlainPick(PlainPick(in, r, true, flags), r, false, flags);
    case 3:
      return PlainPick(PlainPick(in, r, false, flags), r, true, flags);
    case 4:
      return difference(PlainPick(in, r, true, flags), in);
    case 5:
      return difference(in, PlainPick(in, r, false, flags));
    default:
      return in;
  }
}

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

std::string Describe(const TBitmap& b, int r) {
  return std::to_string(b.Width()) + "x" + std::to_string(b.Height()) + " r=" + std::to_string(r);
}

// Sizes that reach every path: 1-pixel-wide and -high, the 3 x 3 interior, strips of the
// vertical pass (64 columns) and its last partial strip.
const std::vector<std::pair<int, int>> kSizes = {{1, 1},  {1, 9},   {9, 1},   {2, 2},   {1, 40},
                                                 {40, 1}, {3, 3},   {5, 4},   {17, 13}, {31, 8},
                                                 {8, 31}, {70, 12}, {130, 9}, {12, 70}};
const std::vector<int> kRadii = {0, 1, 2, 3, 4, 5, 7, 12, 100, INT_MAX};

// ---- Median ----

TEST(MedianFilter, FixedCases) {
  TBitmap dot = Filled(5, 5, 0);
  SetGrey(dot, 2, 2, 255);
  EXPECT_TRUE(Median(dot, 1).SamePixels(Filled(5, 5, 0))) << "a lone white pixel is removed";

  // Corner window of 4 values 10, 20, 30, 40: index 4 / 2 = 2, the third smallest.
  TBitmap corner = Filled(4, 4, 200);
  SetGrey(corner, 0, 0, 40);
  SetGrey(corner, 1, 0, 10);
  SetGrey(corner, 0, 1, 30);
  SetGrey(corner, 1, 1, 20);
  EXPECT_EQ(At(Median(corner, 1), 0, 0, 1), 30);

  TBitmap single = Filled(1, 1, 77);
  At(single, 0, 0, 0) = 3;
  EXPECT_TRUE(Median(single, 1).SamePixels(single));
  EXPECT_TRUE(Median(single, 50).SamePixels(single));

  // Row 0 and column 0 count in the window of (1, 1): five white of nine make it white.
  TBitmap edge = Filled(4, 4, 0);
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {2, 0}, {0, 1}, {0, 2}}) SetGrey(edge, x, y, 255);
  EXPECT_EQ(At(Median(edge, 1), 1, 1, 2), 255);
}

TEST(MedianFilter, RadiusZeroOrNegativeLeavesImage) {
  std::mt19937 rng(7);
  const TBitmap b = RandomBitmap(rng, 9, 7);
  EXPECT_TRUE(Median(b, 0).SamePixels(b));
  EXPECT_TRUE(Median(b, -1).SamePixels(b));
  EXPECT_TRUE(Median(b, INT_MIN).SamePixels(b));
}

TEST(MedianFilter, MatchesPlainMedianOnRandomImages) {
  std::mt19937 rng(2024);
  for (int levels : {256, 3, 2}) {
    for (auto [w, h] : kSizes) {
      for (int r : kRadii) {
        const TBitmap b = RandomBitmap(rng, w, h, levels);
        EXPECT_TRUE(Median(b, r).SamePixels(PlainMedian(b, r, kAll)))
            << Describe(b, r) << " levels=" << levels;
      }
    }
  }
}

// Windows of more than 65535 pixels need wider counters; the plain median is checked at sampled
// pixels because it is slow there.
TEST(MedianFilter, WideWindowsMatchPlainMedianAtSamples) {
  std::mt19937 rng(31);
  const TBitmap b = RandomBitmap(rng, 270, 262, 16);
  const TBitmap out = Median(b, 130);
  std::uniform_int_distribution<int> px(0, 269), py(0, 261);
  for (int i = 0; i < 12; ++i) {
    const int x = i < 4 ? (i % 2) * 269 : px(rng), y = i < 4 ? (i / 2) * 261 : py(rng);
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(At(out, x, y, c), PlainMedianAt(b, x, y, 130, c)) << x << "," << y;
    }
  }
}

TEST(MedianFilter, FiltersOnlyFlaggedBytes) {
  std::mt19937 rng(11);
  const TBitmap b = RandomBitmap(rng, 23, 19);
  for (int mask = 0; mask < 8; ++mask) {
    const bool flags[3] = {(mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0};
    for (int r : {1, 2}) {
      EXPECT_TRUE(Median(b, r, flags).SamePixels(PlainMedian(b, r, flags))) << mask;
    }
  }
}

// ---- Morphology ----

TEST(MorphoFilter, LineCases) {
  TBitmap line = Filled(7, 7, 255);
  for (int y = 0; y < 7; ++y) SetGrey(line, 3, y, 0);
  EXPECT_TRUE(Morpho(line, 1, 0).SamePixels(Filled(7, 7, 255))) << "сужение removes the line";
  TBitmap thick = Filled(7, 7, 255);
  for (int y = 0; y < 7; ++y) {
    for (int x = 2; x <= 4; ++x) SetGrey(thick, x, y, 0);
  }
  EXPECT_TRUE(Morpho(line, 1, 1).SamePixels(thick)) << "расширение makes it three wide";

  // A white pixel at the corner spreads into the windows of its neighbours.
  TBitmap corner = Filled(4, 4, 0);
  SetGrey(corner, 0, 0, 255);
  const TBitmap grown = Morpho(corner, 1, 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(At(grown, x, y, 0), x <= 1 && y <= 1 ? 255 : 0);
  }
}

TEST(MorphoFilter, ContoursOfBlackSquare) {
  TBitmap square = Filled(12, 12, 255);
  for (int y = 3; y <= 8; ++y) {
    for (int x = 4; x <= 9; ++x) SetGrey(square, x, y, 0);
  }
  auto inSquare = [](int x, int y, int grow) {
    return x >= 4 - grow && x <= 9 + grow && y >= 3 - grow && y <= 8 + grow;
  };
  const TBitmap inner = Morpho(square, 1, 4), outer = Morpho(square, 1, 5);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool innerBorder = inSquare(x, y, 0) && !inSquare(x, y, -1);
      const bool outerRing = inSquare(x, y, 1) && !inSquare(x, y, 0);
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(At(inner, x, y, c), innerBorder ? 255 : 0) << x << "," << y;
        EXPECT_EQ(At(outer, x, y, c), outerRing ? 255 : 0) << x << "," << y;
      }
    }
  }
}

TEST(MorphoFilter, MatchesPlainMorphologyOnRandomImages) {
  std::mt19937 rng(99);
  for (int levels : {256, 2}) {
    for (auto [w, h] : kSizes) {
      for (int r : kRadii) {
        const TBitmap b = RandomBitmap(rng, w, h, levels);
        for (int op = 0; op < 6; ++op) {
          EXPECT_TRUE(Morpho(b, r, op).SamePixels(PlainMorpho(b, r, op, kAll)))
              << Describe(b, r) << " op=" << op << " levels=" << levels;
        }
      }
    }
  }
}

TEST(MorphoFilter, OnlyGreenFlagKeepsRedAndBlue) {
  std::mt19937 rng(5);
  const TBitmap b = RandomBitmap(rng, 21, 17);
  const bool green[3] = {false, true, false};
  for (int op = 0; op < 6; ++op) {
    for (int r : {1, 5}) {
      const TBitmap out = Morpho(b, r, op, green);
      EXPECT_TRUE(out.SamePixels(PlainMorpho(b, r, op, green))) << op;
      for (int y = 0; y < 17; ++y) {
        for (int x = 0; x < 21; ++x) {
          ASSERT_EQ(At(out, x, y, 0), At(b, x, y, 0));
          ASSERT_EQ(At(out, x, y, 2), At(b, x, y, 2));
        }
      }
    }
  }
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

  TBitmap other(8, 7);
  filter.MaxFilter(&b, &other, true, true, true);
  EXPECT_TRUE(other.SamePixels(TBitmap(8, 7))) << "sizes differ";
  TBitmap target(8, 6);
  filter.MinFilter(&b, &target, true, false, false);
  EXPECT_TRUE(target.SamePixels(PlainPick(b, 1, false, std::array{true, false, false}.data())));
}

// ---- Parameters and controls ----

TEST(MedianParams, EditAndSetParam) {
  TMedianFilter filter;
  EXPECT_EQ(filter.Name, "Median");
  EXPECT_EQ(filter.Radius, 1);
  filter.SetParam(0, -4);
  EXPECT_EQ(filter.Radius, -4) << "without controls the value is stored unchanged";
  filter.SetParam(1, 9);
  EXPECT_EQ(filter.Radius, -4);

  THeadlessPanel panel;
  filter.Radius = 3;
  filter.CreateControls(panel);
  filter.CreateControls(panel);
  TLabel* label = filter.RadiusLabel();
  TEdit* edit = filter.RadiusEdit();
  ASSERT_NE(label, nullptr);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(label->Caption(), "Радиус окрестности:");
  EXPECT_EQ(label->Left(), 8);
  EXPECT_EQ(label->Top(), 12);
  EXPECT_EQ(edit->Left(), label->Right() + 8);
  EXPECT_EQ(edit->Top(), 8);
  EXPECT_EQ(edit->Width(), 48);
  EXPECT_EQ(edit->Text(), "3");
  EXPECT_EQ(panel.ClientWidth(), edit->Right() + 8);

  edit->UserEdited("0");
  EXPECT_EQ(filter.Radius, 1);
  EXPECT_EQ(edit->Text(), "0");
  edit->UserEdited("5x");
  EXPECT_EQ(filter.Radius, 1) << "a text that does not convert is ignored";
  edit->UserEdited("6");
  EXPECT_EQ(filter.Radius, 6);
  filter.SetParam(0, -2);
  EXPECT_EQ(edit->Text(), "-2");
  EXPECT_EQ(filter.Radius, 1) << "with controls the edit's bound applies";

  filter.DestroyControls();
  EXPECT_EQ(filter.RadiusEdit(), nullptr);
  filter.DestroyControls();
}

TEST(MorphoParams, EditComboAndSetParam) {
  TMorphoFilter filter;
  EXPECT_EQ(filter.Name, "Morpho");
  EXPECT_EQ(filter.Radius, 1);
  EXPECT_EQ(filter.Operation, 0);
  filter.SetParam(0, 0);
  filter.SetParam(0, -3);
  EXPECT_EQ(filter.Radius, 1) << "radius at or below 0 is ignored";
  filter.SetParam(0, 4);
  EXPECT_EQ(filter.Radius, 4);
  filter.SetParam(1, 6);
  filter.SetParam(1, -1);
  EXPECT_EQ(filter.Operation, 0) << "codes outside 0..5 are ignored";
  filter.SetParam(1, 3);
  EXPECT_EQ(filter.Operation, 3);

  THeadlessPanel panel;
  filter.CreateControls(panel);
  TLabel* radiusLabel = filter.RadiusLabel();
  TLabel* operationLabel = filter.OperationLabel();
  TEdit* edit = filter.RadiusEdit();
  TComboBox* combo = filter.OperationComboBox();
  ASSERT_TRUE(radiusLabel && operationLabel && edit && combo);
  EXPECT_EQ(operationLabel->Caption(), "Фильтр:");
  EXPECT_EQ(operationLabel->Left(), 8);
  EXPECT_EQ(operationLabel->Top(), radiusLabel->Bottom() + 16);
  EXPECT_EQ(edit->Left(), radiusLabel->Right() + 8);
  EXPECT_EQ(edit->Text(), "4");
  EXPECT_EQ(combo->Left(), operationLabel->Right() + 8);
  EXPECT_EQ(combo->Top(), edit->Bottom() + 8);
  EXPECT_EQ(combo->Width(), 150);
  EXPECT_EQ(panel.ClientWidth(), combo->Right() + 8);
  EXPECT_EQ(combo->Items(),
            (std::vector<std::string>{"сужение", "расширение", "открытие", "закрытие",
                                      "внутренний контур", "внешний контур"}));
  EXPECT_EQ(combo->ItemIndex(), 0) << "the list opens on item 0 whatever Operation holds";
  EXPECT_EQ(filter.Operation, 3);

  combo->UserSelected(5);
  EXPECT_EQ(filter.Operation, 5);
  filter.Operation = 2;
  filter.SetParam(1, 4);
  EXPECT_EQ(combo->ItemIndex(), 4);
  int handlerRuns = 0;
  combo->OnChange = [&] { ++handlerRuns; };
  filter.SetParam(1, 1);
  EXPECT_EQ(handlerRuns, 0) << "selecting from code does not run the handler";
  EXPECT_EQ(filter.Operation, 1);

  edit->UserEdited("0");
  EXPECT_EQ(filter.Radius, 1);
  EXPECT_EQ(edit->Text(), "0");
  filter.SetParam(0, 7);
  EXPECT_EQ(edit->Text(), "7");
  EXPECT_EQ(filter.Radius, 7);

  filter.DestroyControls();
  filter.CreateControls(panel);
  EXPECT_EQ(filter.OperationComboBox()->ItemIndex(), 0);
  EXPECT_EQ(filter.Operation, 1) << "reopening the panel keeps the operation";
  filter.DestroyControls();
  EXPECT_EQ(filter.OperationComboBox(), nullptr);
}

// ---- Through the document ----

class TQuietUi : public IDocumentUi {
 public:
  TSaveAnswer AskSaveChanges() override { return TSaveAnswer::No; }
  bool ChooseSaveName(std::string&) override { return false; }
  bool AskJpegOptions(TJpegDialogResult&) override { return false; }
};

class MedianMorphoDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    document.AddFilter(std::make_unique<TMedianFilter>());
    document.AddFilter(std::make_unique<TMorphoFilter>());
    document.AddFilter(std::make_unique<TInvertFilter>());
  }
  void Open(const TBitmap& image) {
    document.CurrentImage = image;
    document.ShowBitmap(document.CurrentImage);
    document.SelectAll();
  }
  TImvoraFilter& Named(const std::string& name) {
    return *document.Filter(document.FindFilter(name));
  }

  TQuietUi ui;
  TDocument document{ui};
};

TEST_F(MedianMorphoDocument, FilterCallsSetParametersAndApply) {
  std::mt19937 rng(17);
  const TBitmap b = RandomBitmap(rng, 15, 11);
  Open(b);
  ASSERT_TRUE(document.RunFilterCall("Median(YYY 2)"));
  EXPECT_EQ(static_cast<TMedianFilter&>(Named("median")).Radius, 2);
  EXPECT_TRUE(document.CurrentImage.SamePixels(PlainMedian(b, 2, kAll)));

  Open(b);
  ASSERT_TRUE(document.RunFilterCall("Morpho(YNY 1 4)"));
  const auto& morpho = static_cast<TMorphoFilter&>(Named("Morpho"));
  EXPECT_EQ(morpho.Radius, 1);
  EXPECT_EQ(morpho.Operation, 4);
  const bool redBlue[3] = {true, false, true};
  EXPECT_TRUE(document.CurrentImage.SamePixels(PlainMorpho(b, 1, 4, redBlue)));
}

TEST_F(MedianMorphoDocument, InnerContourThenInvertDrawsDarkContours) {
  // Binarized picture: a black rectangle touching the left edge and a black plus sign.
  TBitmap image = Filled(16, 12, 255);
  for (int y = 2; y <= 6; ++y) {
    for (int x = 0; x <= 4; ++x) SetGrey(image, x, y, 0);
  }
  for (int d = -2; d <= 2; ++d) {
    SetGrey(image, 11 + d, 7, 0);
    SetGrey(image, 11, 7 + d, 0);
  }
  Open(image);
  ASSERT_TRUE(document.RunFilterCall("Morpho(YYY 1 4)"));
  ASSERT_TRUE(document.RunFilterCall("Invert(YYY)"));
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      bool touchesWhite = false;
      ForWindow(image, x, y, 1,
                [&](int xx, int yy) { touchesWhite |= At(image, xx, yy, 0) == 255; });
      const bool contour = At(image, x, y, 0) == 0 && touchesWhite;
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(At(document.CurrentImage, x, y, c), contour ? 0 : 255) << x << "," << y;
      }
    }
  }
}

TEST_F(MedianMorphoDocument, SelectionCutsWindowsAndKeepsTheRest) {
  std::mt19937 rng(23);
  const TBitmap b = RandomBitmap(rng, 30, 20);
  const std::unique_ptr<TBitmap> part = CropBitmap(&b, 5, 4, 16, 12);
  const std::vector<std::pair<const char*, TBitmap>> cases = {
      {"Median(YYY 2)", PlainMedian(*part, 2, kAll)},
      {"Morpho(YYY 2 2)", PlainMorpho(*part, 2, 2, kAll)},
      {"Morpho(YYY 1 5)", PlainMorpho(*part, 1, 5, kAll)}};
  for (const auto& [call, filtered] : cases) {
    Open(b);
    document.SetSelection(5, 4, 20, 15);
    ASSERT_TRUE(document.RunFilterCall(call));
    TBitmap expected = b;
    PasteBitmap(&expected, 5, 4, &filtered);
    EXPECT_TRUE(document.CurrentImage.SamePixels(expected)) << call;
  }
}

TEST(MedianMorphoCatalog, BothFiltersAreRegistered) {
  const auto& catalog = FilterCatalog();
  ASSERT_NE(catalog[1].Make, nullptr);
  ASSERT_NE(catalog[3].Make, nullptr);
  EXPECT_EQ(catalog[1].Make()->Name, "Median");
  EXPECT_EQ(catalog[3].Make()->Name, "Morpho");
}

}  // namespace
}  // namespace imvora
