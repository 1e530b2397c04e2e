// What every filter shares, through a document as scripts run it: the fast paths against the
// product's plain paths, channel and selection isolation, nothing to do, the parameter rules.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "core/Controls.h"
#include "core/Error.h"
#include "core/FilterParams.h"
#include "core/ImageFile.h"
#include "core/Lanes.h"
#include "core/RowBands.h"
#include "filters/2DCleaner.h"
#include "filters/KMeans.h"
#include "filters/Median.h"
#include "filters/Morpho.h"
#include "recognition/ContourExtraction.h"
#include "recognition/ContourImageText.h"
#include "recognition/Markup.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;
using reference::RandomBitmap;
using reference::TFilterDocument;

// The contour set with each glyph's box.
std::string ContourText(const TContourSet* set) {
  std::string text;
  for (std::size_t i = 0; set != nullptr && i < set->size(); ++i) {
    const TCRContourImage& g = *(*set)[i];
    for (int v : {g.Left, g.Top, g.Right, g.Bottom}) text += std::to_string(v) + " ";
    text += FormatContourImage(g) + "\n";
  }
  return text;
}

// The same label map and contour set.
bool SameResults(const TDocument& a, const TDocument& b) {
  const TMarkupData *ma = a.CurrentMarkup(), *mb = b.CurrentMarkup();
  return (ma && mb ? *ma == *mb : ma == mb) &&
         ContourText(a.Contours()) == ContourText(b.Contours());
}

void UsePlainPaths(TDocument& document) {
  for (const auto& filter : document.Filters()) {
    TImvoraFilter* f = filter.get();
    if (auto* median = dynamic_cast<TMedianFilter*>(f)) median->Scan = TWindowScan::Plain;
    if (auto* morpho = dynamic_cast<TMorphoFilter*>(f)) morpho->Scan = TWindowScan::Plain;
    if (auto* markup = dynamic_cast<TMarkupFilter*>(f)) markup->Labelling = TLabelling::Fill;
    if (auto* cleaner = dynamic_cast<T2DCleanerFilter*>(f)) cleaner->Scan = TCleanerScan::Plain;
  }
}

// The packed k-means assignment against the scalar one, on leading runs of the picture's pixels.
void ExpectSameClustering(const TBitmap& picture, std::mt19937& rng) {
  const std::uint32_t mask = rng() % 2 ? 0xFFFFFF : 0x00FF00;
  std::vector<std::uint32_t> pixels(picture.Width() * picture.Height());
  reference::ForBytes(picture, [&](int x, int y, int c) {
    pixels[y * picture.Width() + x] |= Byte(picture, x, y, c) << 8 * c & mask;
  });
  for (int round = 0; round < 4; ++round) {
    std::vector<std::uint32_t> words(pixels.begin(), pixels.begin() + 1 + rng() % pixels.size());
    std::vector<std::uint32_t> centres;
    for (int k = 2 + rng() % 9; k > 0; --k) centres.push_back(words[rng() % words.size()]);
    const bool quadratic = rng() % 2;
    const int tolerance = static_cast<int>(rng() % 4);
    const auto run = [&](bool fast, std::vector<std::uint32_t> w, std::vector<std::uint32_t> c) {
      const int passes = ClusterizePixels(w.data(), int(w.size()), int(c.size()), fast, quadratic,
                                          tolerance, c.data());
      return std::tuple(passes, w, c);
    };
    ASSERT_TRUE(run(true, words, centres) == run(false, words, centres));
  }
}

// The contour search in one pass against the plain scan per region.
void ExpectSameContours(const TBitmap& glyphs, const TBitmap& borders) {
  const auto glyphMap = LabelRegions(&glyphs, 0x7F7F7F);
  auto single = LabelRegions(&borders, 0x7F7F7F);
  TMarkupData plain = *single;
  ASSERT_EQ(ContourText(ExtractContours(*glyphMap, *single, 6, TRegionScan::SinglePass).get()),
            ContourText(ExtractContours(*glyphMap, plain, 6, TRegionScan::PerRegion).get()));
  ASSERT_EQ(single->Labels, plain.Labels);  // the same pixels visited
}

// Every fast path against the plain one on the same random pictures: odd sizes, one pixel wide
// or high, some tall enough for several bands of rows, of few or many levels with a little
// jitter (so that tolerances meet classes of several values), on the whole picture or a
// selection. The plain paths run on one thread; the fast ones with each lane width on one and
// on three threads.
TEST(FastPathsTest, EqualThePlainPathsOnRandomPictures) {
  // Each filter with the arguments of its calls; the last three are pairs outside the filters.
  const std::pair<std::string, std::vector<std::string>> families[] = {
      {"Gauss", {"YYY 2 3", "NYY 5 1", "YNY 0 4"}},
      {"GSharpen", {"YNY 1 2", "YYY 4 9"}},
      {"LightAlign", {"YYY 20 9", "YYN 0 2"}},
      {"Box", {"YYY 0", "NYN 1", "YYY 2"}},
      {"Invert", {"YNY"}},
      {"GrayScale", {"YYY 0", "NYY 1", "YYN 2"}},
      {"Median", {"YYY 1", "NYY 1", "YYY 2", "YNY 3", "YYN 6", "YYY 40"}},
      {"Morpho", {"YYY 1 0", "YNN 2 1", "YYY 1 2", "NYY 3 3", "YYY 1 4", "YNY 5 5", "YYY 12 2"}},
      {"Morpho", {"YYY 1000 4"}},
      {"Markup", {"YYY 0 0 0", "YYY 16 16 16", "NYY 30 20 20", "YYY 127 127 127", "YYN 255 40 0"}},
      {"2DCleaner", {"YYY 1 20", "YYY 4 300", "YYY 9 0", "YYY -2 9", "YYY 2 66", "YYY 6 35"}},
      {"ChannelDifference", {""}},
      {"kMeans", {"", "", ""}},
      {"Contours", {"", ""}}};
  std::vector<std::string> calls;
  for (const auto& [name, arguments] : families) {
    for (const std::string& a : arguments) calls.push_back(a.empty() ? name : name + "(" + a + ")");
  }
  const int sides[] = {1, 2, 3, 4, 5, 7, 12, 19, 33, 61, 130}, kLevels[] = {2, 2, 3, 7, 256, 256};
  std::mt19937 rng(2024);
  TFilterDocument plain, fast;
  UsePlainPaths(plain.doc);
  for (int trial = 0; trial < 12 * static_cast<int>(calls.size()); ++trial) {
    const std::string& call = calls[trial % calls.size()];
    const int w = sides[rng() % 10], h = sides[rng() % 11], levels = kLevels[rng() % 6];
    const int spread = rng() % 2 ? 12 : 0;
    TBitmap picture = RandomBitmap(rng, w, h, levels);
    reference::ForBytes(picture, [&](int x, int y, int c) {
      Byte(picture, x, y, c) = static_cast<std::uint8_t>(
          std::min<int>(255, Byte(picture, x, y, c) + rng() % (spread + 1)));
    });
    const TBitmap other = RandomBitmap(rng, w, h, 2);
    SCOPED_TRACE(call + " " + std::to_string(w) + "x" + std::to_string(h) + " levels " +
                 std::to_string(levels) + " spread " + std::to_string(spread));
    if (call == "kMeans") ExpectSameClustering(picture, rng);
    if (call == "Contours") ExpectSameContours(picture, other);
    if (call == "kMeans" || call == "Contours") continue;
    const bool selection = rng() % 3 == 0, f[3] = {rng() % 4 > 0, rng() % 4 > 0, rng() % 4 > 0};
    const int offsets[3] = {int(rng() % 1300) - 650, int(rng() % 60) - 30, 0};
    const int sel[4] = {int(rng() % w), int(rng() % h), int(rng() % w), int(rng() % h)};
    const auto run = [&](TFilterDocument& d, TLaneWidth lanes, int threads) {
      SetLaneWidth(lanes);
      SetWorkerThreads(threads);
      d.Show(picture);
      if (selection) d.doc.SetSelection(sel[0], sel[1], sel[2], sel[3]);
      if (call != "ChannelDifference") return d.Run(call);
      ChannelDifference(&d.doc.CurrentImage, &other, f[0], f[1], f[2], offsets[0], offsets[1],
                        offsets[2]);
      return true;
    };
    ASSERT_TRUE(run(plain, TLaneWidth::Plain, 1));
    for (TLaneWidth lanes : {TLaneWidth::Sse2, WidestLanes()}) {
      for (int threads : {1, 3}) {
        ASSERT_TRUE(run(fast, lanes, threads));
        ASSERT_TRUE(fast.Image().SamePixels(plain.Image()) && SameResults(fast.doc, plain.doc))
            << "lanes " << int(lanes) << " threads " << threads << (selection ? " selection" : "");
      }
    }
  }
  SetLaneWidth(WidestLanes());
  SetWorkerThreads(0);
}

// Stops the work at its first progress report.
class TCancelAtOnce : public IProgress {
 public:
  void Report(std::int64_t, std::int64_t) override { throw ECancelled(); }
};

TEST(FastPathsTest, ReportProgressAndStopWhenCancelled) {
  TFilterDocument d;
  std::mt19937 rng(5);
  TCancelAtOnce cancel;
  d.doc.SetProgress(&cancel);
  for (const char* call : {"Median(YYY 1)", "Median(YYY 2)", "Median(YYY 9)", "Morpho(YYY 3 2)",
                           "Markup(YYY 0 0 0)", "Markup(YYY 16 16 16)"}) {
    d.Show(RandomBitmap(rng, 40, 300, 2));
    EXPECT_THROW(d.Run(call), ECancelled) << call;
  }
}

// One row per filter: a call leaving some channels unflagged and what it may do to them
// (kKept: the unflagged bytes stay; kWhole: any flag runs the whole pixel, as all three do;
// kNone: it needs all three flags and changes nothing; kOwn: its own rule, tested with the
// filter). For every row no flag changes nothing, a selection changes what the same call
// changes on the selection cut out and nothing else, and a missing or empty bitmap is nothing
// to do.
TEST(EveryFilterTest, ChannelAndSelectionIsolation) {
  enum TRule { kKept, kWhole, kNone, kOwn };
  std::string levels = "Levels(YNY";  // the negative
  for (int i = 255; i >= 0; --i) levels += " " + std::to_string(i);
  const std::pair<std::string, TRule> rows[] = {
      {"Gauss(YNY 2 2)", kKept},      {"Median(NYN 1)", kKept},
      {"Invert(YNN)", kKept},         {"Morpho(NYY 1 2)", kKept},
      {"GrayScale(NYN 0)", kKept},    {"GaussianNoise(YNY)", kKept},
      {"LightAlign(NNY 3 3)", kKept}, {"AutoColor(YNN 0)", kKept},
      {"Box(NYN 2)", kKept},          {"kMeans(YNY 3)", kKept},
      {"Markup(YNY)", kNone},         {"FFT(YNN 0)", kOwn},
      {"2DCleaner(YYN 1 20)", kNone}, {"Wavelet(NYN 1)", kKept},
      {"Binarize(YNY 0 128)", kNone}, {"ContourRecognition(YNN)", kWhole},
      {"Rotate(NYN 30 10)", kWhole},  {"GSharpen(YNN 2 1)", kKept},
      {levels + ")", kKept},          {"MarkupAverage(YNN 16 16 16)", kOwn}};
  ASSERT_EQ(std::size(rows), FilterCatalog().size());
  std::mt19937 rng(71);
  const TBitmap picture = RandomBitmap(rng, 9, 7);
  const auto crop = CropBitmap(&picture, 2, 1, 5, 4);
  for (const auto& [call, rule] : rows) {
    SCOPED_TRACE(call);
    const std::string name = call.substr(0, call.find('('));
    const auto flagged = [&](const char* flags) {
      return name + "(" + flags + call.substr(name.size() + 4);
    };
    TFilterDocument some, all, none, selected, cut;
    ASSERT_TRUE(some.Show(picture).Run(call));
    ASSERT_TRUE(all.Show(picture).Run(flagged("YYY")));
    ASSERT_TRUE(none.Show(picture).Run(flagged("NNN")));
    EXPECT_TRUE(none.Image().SamePixels(picture));
    EXPECT_TRUE(rule != kNone || some.Image().SamePixels(picture));
    EXPECT_TRUE(rule != kWhole ||
                (some.Image().SamePixels(all.Image()) && SameResults(some.doc, all.doc)));
    for (int c = 0; c < 3; ++c) {
      const bool unflagged = call[name.size() + 3 - c] == 'N';
      EXPECT_TRUE(rule != kKept || !unflagged || reference::SameChannel(some.Image(), picture, c))
          << c;
    }
    selected.Show(picture).doc.SetSelection(2, 1, 6, 4);
    ASSERT_TRUE(selected.Run(call));
    ASSERT_TRUE(cut.Show(*crop).Run(call));
    TBitmap expected = picture;
    PasteBitmap(&expected, 2, 1, &cut.Image());
    EXPECT_TRUE(selected.Image().SamePixels(expected) && SameResults(selected.doc, cut.doc));
    const auto filter = FindCatalogEntry(name)->Make();
    filter->Apply(nullptr, true, true, true);
    for (auto [w, h] : {std::pair{0, 3}, {4, 0}}) {
      TBitmap empty(w, h);
      filter->Apply(&empty, true, true, true);
      EXPECT_TRUE(empty.Width() == w && empty.Height() == h);
    }
  }
}

// Defaults and the rules of calls: the first call (a bare name runs the filter as it stands) does
// on a fresh document what the second does.
TEST(EveryFilterTest, CallsKeepTheirRangesAndDefaults) {
  const std::pair<const char*, const char*> rows[] = {
      {"Gauss", "Gauss(YYY 1 3)"},
      {"Gauss(YYY -3 3)", "Invert(NNN)"},  // a negative radius blurs as radius 0 does
      {"GSharpen", "GSharpen(YYY 1 1)"},
      {"LightAlign", "LightAlign(YYY 100 100)"},
      {"Median", "Median(YYY 1)"},
      {"Median(YYY -4)", "Invert(NNN)"},  // stored as it is; no radius above 0 leaves the picture
      {"Morpho", "Morpho(YYY 1 0)"},
      {"Morpho(YYY 0 6)", "Morpho"},  // no radius below 1, no operation outside 0 ... 5
      {"Morpho(YYY -3 -1)", "Morpho"},
      {"GaussianNoise", "GaussianNoise(YYY 128 64 20)"},
      {"GaussianNoise(YYY 256 0 0)", "GaussianNoise"},
      {"GaussianNoise(YYY -1 1 1)", "GaussianNoise(YYY 128 1 1)"},
      {"GrayScale(YYY 3)", "GrayScale(YYY 0)"},
      {"AutoColor(YYY 2)", "AutoColor(YYY 0)"},
      {"Box(YYY 3)", "Box(YYY 0)"},
      {"Box(YYY -1)", "Box(YYY 0)"},
      {"FFT(YYY 4)", "FFT(YYY 0)"},
      {"Wavelet(YYY 0)", "Wavelet(YYY 1)"},
      {"2DCleaner", "2DCleaner(YYY 1 20)"},
      {"Binarize", "Binarize(YYY 0 128)"},
      {"Rotate", "Rotate(YYY 90 10)"},
      {"kMeans", "kMeans(YYY 2 2 0)"},
      {"kMeans(YYY 1 -1 5)", "kMeans(YYY 2 2 1)"},
      {"Markup", "Markup(YYY 16 16 16)"},
      {"Markup(YYY 256 -1)", "Markup"},
      {"ContourRecognition(YYY 30)", "ContourRecognition"},  // the count is not a call's
  };
  std::mt19937 rng(72);
  const TBitmap picture = RandomBitmap(rng, 24, 20);
  for (const auto& [call, same] : rows) {
    TFilterDocument a, b;
    ASSERT_TRUE(a.Show(picture).Run(call) && b.Show(picture).Run(same)) << call;
    EXPECT_TRUE(a.Image().SamePixels(b.Image()) && SameResults(a.doc, b.doc)) << call;
  }
}

// Each filter's edit bounds with its panel open: the text typed ("=" first: SetParam), what the
// edit shows then, and what it shows when the panel is built again.
TEST(EveryFilterTest, EditsKeepTheirBounds) {
  const std::tuple<const char*, int, std::string, const char*, const char*> rows[] = {
      {"GaussianNoise", 0, "300", "300", "255"},
      {"GaussianNoise", 0, "1.5", "1.5", "128"},  // integers only
      {"GaussianNoise", 1, "2,9", "2,9", "2"},    // truncated
      {"GaussianNoise", 1, "3e9", "3e9", "64"},   // beyond 32 bits: ignored
      {"GaussianNoise", 1, "0.5", "0.5", "1"},
      {"GaussianNoise", 2, "2147483648", "2147483648", "20"},
      {"Median", 0, "0", "0", "1"},
      {"Morpho", 0, "0", "0", "1"},
      {"GSharpen", 0, "0", "0", "1"},
      {"Rotate", 1, "=7", "0.07", "0.07"},  // hundredths from a call
      {"Markup", 0, "300", "300", "255"},
      {"Markup", 1, "-4", "-4", "0"},
      {"kMeans", 0, "1", "1", "2"},
      {"kMeans", 1, "-3", "-3", "0"},
      {"ContourRecognition", 0, "1", "1", "2"},
      {"ContourRecognition", 0, "=30", "20", "20"},  // the count is not a call's
  };
  for (const auto& [name, param, typed, shown, stored] : rows) {
    auto filter = FindCatalogEntry(name)->Make();
    auto& params = dynamic_cast<TParamFilter&>(*filter);
    THeadlessPanel panel;
    params.CreateControls(panel);
    if (typed[0] == '=') {
      params.SetParam(param, std::stoi(typed.substr(1)));
    } else {
      params.EditOf(param)->UserEdited(typed);
    }
    EXPECT_EQ(params.EditOf(param)->Text(), shown) << name << " " << typed;
    params.DestroyControls();
    params.CreateControls(panel);
    EXPECT_EQ(params.EditOf(param)->Text(), stored) << name << " " << typed;
  }
}

// A filter's error leaves the document as it was, and the command line exits with 1 and
// writes nothing.
TEST(EveryFilterTest, AnErrorChangesNothing) {
  TBitmap flat = reference::Flat(2, 1, 77, 9, 10);  // blue constant: no contrast stretch
  Byte(flat, 1, 0, 1) = 0, Byte(flat, 1, 0, 2) = 20;
  TFilterDocument d;
  try {
    d.Show(flat).Run("AutoColor(YNN 0)");
    ADD_FAILURE() << "no error";
  } catch (const EImvoraError& error) {
    EXPECT_NE(std::string(error.what()).find("в канале 3"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(d.Image().SamePixels(flat));
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("imvora-flt-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  WriteImageFile((dir / "in.bmp").string(), flat, TJpegOptions());
  const int status =
      std::system((std::string(IMVORA_CLI_PATH) + " apply " + (dir / "in.bmp").string() + " " +
                   (dir / "out.bmp").string() + " 'AutoColor(YYY 0)' >/dev/null 2>&1")
                      .c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
