#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>

#include "core/Document.h"
#include "core/Error.h"
#include "core/ImageFile.h"
#include "core/Random.h"
#include "core/RowBands.h"
#include "filters/AutoColor.h"
#include "filters/Box.h"
#include "filters/FilterCatalog.h"
#include "filters/GSharpen.h"
#include "filters/Gaussian.h"
#include "filters/GaussianNoise.h"
#include "filters/GrayScale.h"
#include "filters/LightAlign.h"
#include "filters/Rotate.h"
#include "tests/core/FakeUi.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using reference::Byte;

// A document with every available filter and a random current image, all selected.
class ImageFilterCallsTest : public ::testing::Test {
 protected:
  ImageFilterCallsTest() {
    RegisterFilters(doc);
    std::mt19937 random(71);
    doc.CurrentImage = reference::RandomBitmap(random, 9, 7);
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
  }
  template <class T>
  T& Get(const char* name) {
    return dynamic_cast<T&>(*doc.Filter(doc.FindFilter(name)));
  }

  testing::TFakeUi ui;
  TDocument doc{ui};
};

TEST_F(ImageFilterCallsTest, ScriptNamesReachTheirParameters) {
  EXPECT_TRUE(doc.RunFilterCall("GSharpen(YYY 2 1)"));
  EXPECT_TRUE(doc.RunFilterCall("gauss(yyy 3 2)"));
  EXPECT_EQ(Get<TGaussFilter>("Gauss").Radius, 3);
  EXPECT_EQ(Get<TGaussFilter>("Gauss").Sigma, 2.0);
  EXPECT_EQ(Get<TGSharpenFilter>("GSharpen").Radius, 2);  // each filter keeps its own
  EXPECT_EQ(Get<TGSharpenFilter>("GSharpen").Sigma, 1.0);
  EXPECT_TRUE(doc.RunFilterCall("LightAlign(YYY 4 9)"));
  EXPECT_EQ(Get<TLightAlignFilter>("LightAlign").Radius, 4);
  EXPECT_TRUE(doc.RunFilterCall("GrayScale(YYY 2)"));
  EXPECT_EQ(Get<TGrayScaleFilter>("GrayScale").Method, 2);
  EXPECT_TRUE(doc.RunFilterCall("GaussianNoise(NNY 0 3 4)"));
  const auto& noise = Get<TGaussianNoiseFilter>("GaussianNoise");
  EXPECT_EQ(std::tuple(noise.Mean, noise.Deviation, noise.Trials), std::tuple(0, 3, 4));
  EXPECT_TRUE(doc.RunFilterCall("AutoColor(YYY 1)"));
  EXPECT_EQ(Get<TAutoColorFilter>("AutoColor").Method, 1);
  EXPECT_TRUE(doc.RunFilterCall("Box(YYY 1)"));
  EXPECT_TRUE(doc.RunFilterCall("Box(YYY 3)"));  // ignored: the sharpen kernel stays
  EXPECT_EQ(Get<TBoxFilter>("Box").Kernel[4], 9.0);
  EXPECT_TRUE(doc.RunFilterCall("Rotate(YYY 45 50)"));
  EXPECT_EQ(Get<TRotateFilter>("Rotate").Angle, 45.0);
  EXPECT_EQ(Get<TRotateFilter>("Rotate").BlendThreshold, 0.5);
}

// Every fast path against the product's plain one: a random call on a random picture through
// the document with the plain loops on one thread, and with each vector width on one and on
// three threads; and the channel difference the same way. The sizes reach single rows and
// columns, pictures shorter than the kernel, several bands of rows and tails of every loop.
TEST_F(ImageFilterCallsTest, FastPathsEqualThePlainOnesOnAnyThreadCount) {
  std::mt19937 random(97);
  const char* const forms[] = {"Gauss(%s %d %d)",  "GSharpen(%s %d %d)", "LightAlign(%s %d %d)",
                               "Box(%s %d)",       "Invert(%s)",         "GrayScale(%s %d)",
                               "ChannelDifference"};
  for (int trial = 0; trial < 280; ++trial) {
    const int kind = trial % 7, w = 1 + random() % 40;
    const int h = trial % 3 == 0 ? 100 + random() % 60 : 1 + random() % 12;
    const TBitmap input = reference::RandomBitmap(random, w, h, trial % 5 ? 256 : 3);
    const TBitmap other = reference::RandomBitmap(random, w, h);
    const bool f[3] = {random() % 4 > 0, random() % 4 > 0, random() % 4 > 0};
    const std::string letters = {f[0] ? 'Y' : 'N', f[1] ? 'Y' : 'N', f[2] ? 'Y' : 'N'};
    const int offsets[3] = {int(random() % 1300) - 650, int(random() % 60) - 30, 0};
    char call[64];
    std::snprintf(call, sizeof call, forms[kind], letters.c_str(),
                  kind < 3 ? int(random() % (kind == 2 ? 25 : 6)) : int(random() % 3),
                  1 + int(random() % 9));
    auto run = [&](TLaneWidth lanes, int threads) {
      SetLaneWidth(lanes);
      SetWorkerThreads(threads);
      doc.CurrentImage = input;
      if (kind == 6) {
        ChannelDifference(&doc.CurrentImage, &other, f[0], f[1], f[2], offsets[0], offsets[1],
                          offsets[2]);
        return doc.CurrentImage;
      }
      doc.ShowBitmap(doc.CurrentImage);
      doc.SelectAll();
      EXPECT_TRUE(doc.RunFilterCall(call));
      return doc.CurrentImage;
    };
    const TBitmap expected = run(TLaneWidth::Plain, 1);
    for (TLaneWidth lanes : {TLaneWidth::Sse2, WidestLanes()}) {
      for (int threads : {1, 3}) {
        ASSERT_TRUE(run(lanes, threads).SamePixels(expected))
            << call << " " << w << "x" << h << " lanes " << int(lanes) << " threads " << threads;
      }
    }
  }
  SetLaneWidth(WidestLanes());
  SetWorkerThreads(0);
}

TEST_F(ImageFilterCallsTest, PixelsOutsideTheSelectionNeverChange) {
  for (const char* call :
       {"Gauss(YYY 3 2)", "GSharpen(YYY 2 1)", "LightAlign(YYY 5 3)", "GrayScale(YYY 0)",
        "GaussianNoise(YYY)", "AutoColor(YYY 1)", "Box(YYY 2)", "Rotate(YYY 30 10)"}) {
    doc.SetSelection(2, 1, 6, 4);
    const TBitmap before = doc.CurrentImage;
    std::unique_ptr<TBitmap> crop = CropBitmap(&before, 2, 1, 5, 4);
    TImvoraFilter& filter = *doc.Filter(doc.FindFilter(std::string(call, std::strchr(call, '('))));
    SeedRandom(11);
    EXPECT_TRUE(doc.RunFilterCall(call)) << call;
    // The same filter with the parameters the call left, on the selection alone.
    SeedRandom(11);
    filter.Apply(crop.get(), true, true, true);
    TBitmap expected = before;
    PasteBitmap(&expected, 2, 1, crop.get());
    ASSERT_TRUE(doc.CurrentImage.SamePixels(expected)) << call;
  }
}

TEST_F(ImageFilterCallsTest, AutoContrastErrorLeavesTheImage) {
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) Byte(doc.CurrentImage, x, y, 0) = 40;
  }
  const TBitmap before = doc.CurrentImage;
  EXPECT_THROW(doc.RunFilterCall("AutoColor(YNN 0)"), EImvoraError);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(before));
}

TEST(ImageFilterCliTest, AutoContrastErrorExitsWithOneAndWritesNothing) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("imvora-flt-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  TBitmap flat = reference::Flat(4, 3, 10, 20, 30);
  Byte(flat, 1, 1, 2) = 90;
  WriteImageFile((dir / "in.bmp").string(), flat, TJpegOptions());
  const std::string apply = std::string(IMVORA_CLI_PATH) + " apply " + (dir / "in.bmp").string() +
                            " " + (dir / "out.bmp").string();
  const int status = std::system(
      (apply + " 'AutoColor(YYY 0)' >/dev/null 2>" + (dir / "err.txt").string()).c_str());
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
  EXPECT_EQ(std::system((apply + " 'Box(YYY 1)' 'Rotate(YYY 180)' >/dev/null 2>&1").c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "out.bmp"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
