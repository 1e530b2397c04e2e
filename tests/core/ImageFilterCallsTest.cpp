#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "core/Document.h"
#include "core/Error.h"
#include "core/ImageFile.h"
#include "core/Random.h"
#include "filters/Autocolor.h"
#include "filters/Box.h"
#include "filters/FilterCatalog.h"
#include "filters/Gaussian.h"
#include "filters/Gnoise.h"
#include "filters/Grayscale.h"
#include "filters/Gsharpen.h"
#include "filters/Lightalign.h"
#include "filters/Rotate.h"
#include "tests/core/FakeUi.h"
#include "tests/core/FilterReference.h"

namespace imvora {
namespace {

using testing::TFakeUi;

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
    const int index = doc.FindFilter(name);
    EXPECT_GE(index, 0) << name;
    return dynamic_cast<T&>(*doc.Filter(index));
  }

  TFakeUi ui;
  TDocument doc{ui};
};

TEST_F(ImageFilterCallsTest, ScriptNamesReachTheirParameters) {
  EXPECT_TRUE(doc.RunFilterCall("GSharpen(YYY 2 1)"));
  EXPECT_EQ(Get<TGSharpenFilter>("GSharpen").Radius, 2);
  EXPECT_EQ(Get<TGSharpenFilter>("GSharpen").Sigma, 1.0);
  EXPECT_TRUE(doc.RunFilterCall("gauss(yyy 3 2)"));
  EXPECT_EQ(Get<TGaussFilter>("Gauss").Radius, 3);
  EXPECT_EQ(Get<TGaussFilter>("Gauss").Sigma, 2.0);
  EXPECT_EQ(Get<TGSharpenFilter>("GSharpen").Radius, 2);  // each filter keeps its own
  EXPECT_TRUE(doc.RunFilterCall("LightAlign(YYY 4 9)"));
  EXPECT_EQ(Get<TLightAlignFilter>("LightAlign").Radius, 4);
  EXPECT_TRUE(doc.RunFilterCall("GrayScale(YYY 2)"));
  EXPECT_EQ(Get<TGrayScaleFilter>("GrayScale").Method, 2);
  EXPECT_TRUE(doc.RunFilterCall("GaussianNoise(NNY 0 3 4)"));
  EXPECT_EQ(Get<TGaussianNoiseFilter>("GaussianNoise").Mean, 0);
  EXPECT_EQ(Get<TGaussianNoiseFilter>("GaussianNoise").Deviation, 3);
  EXPECT_EQ(Get<TGaussianNoiseFilter>("GaussianNoise").Trials, 4);
  EXPECT_TRUE(doc.RunFilterCall("AutoColor(YYY 1)"));
  EXPECT_EQ(Get<TAutoColorFilter>("AutoColor").Method, 1);
  EXPECT_TRUE(doc.RunFilterCall("Box(YYY 1)"));
  EXPECT_EQ(Get<TBoxFilter>("Box").Kernel[4], 9.0);
  EXPECT_TRUE(doc.RunFilterCall("Box(YYY 3)"));  // ignored: the sharpen kernel stays
  EXPECT_EQ(Get<TBoxFilter>("Box").Kernel[4], 9.0);
  EXPECT_TRUE(doc.RunFilterCall("Rotate(YYY 45 50)"));
  EXPECT_EQ(Get<TRotateFilter>("Rotate").Angle, 45.0);
  EXPECT_EQ(Get<TRotateFilter>("Rotate").BlendThreshold, 0.5);
}

TEST_F(ImageFilterCallsTest, ACallEqualsTheFilterOnTheImage) {
  const TBitmap before = doc.CurrentImage;
  EXPECT_TRUE(doc.RunFilterCall("Gauss(YNY 2 1)"));
  TBitmap expected = before;
  reference::GaussBlur(before, expected, 2, 1.0, true, false, true);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(expected));
}

TEST_F(ImageFilterCallsTest, PixelsOutsideTheSelectionNeverChange) {
  const char* calls[] = {"Gauss(YYY 3 2)",   "GSharpen(YYY 2 1)",  "LightAlign(YYY 5 3)",
                         "GrayScale(YYY 0)", "GaussianNoise(YYY)", "AutoColor(YYY 1)",
                         "Box(YYY 2)",       "Rotate(YYY 30 10)"};
  for (const char* call : calls) {
    doc.SetSelection(2, 1, 6, 4);
    const TBitmap before = doc.CurrentImage;
    std::unique_ptr<TBitmap> crop = CropBitmap(&before, 2, 1, 5, 4);
    const std::string name(call, std::string(call).find('('));
    TImvoraFilter& filter = *doc.Filter(doc.FindFilter(name));
    SeedRandom(11);
    EXPECT_TRUE(doc.RunFilterCall(call)) << call;
    // The same filter with the parameters the call left, on the selection alone.
    SeedRandom(11);
    filter.Apply(crop.get(), true, true, true);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 9; ++x) {
        const bool inside = x >= 2 && x <= 6 && y >= 1 && y <= 4;
        for (int c = 0; c < 3; ++c) {
          const std::uint8_t wanted =
              inside ? reference::Byte(*crop, x - 2, y - 1, c) : reference::Byte(before, x, y, c);
          ASSERT_EQ(reference::Byte(doc.CurrentImage, x, y, c), wanted)
              << call << " at " << x << "," << y;
        }
      }
    }
  }
}

TEST_F(ImageFilterCallsTest, AutoContrastErrorLeavesTheImage) {
  for (int y = 0; y < 7; ++y) {
    for (int x = 0; x < 9; ++x) reference::Byte(doc.CurrentImage, x, y, 0) = 40;
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
  reference::Byte(flat, 1, 1, 2) = 90;
  WriteImageFile((dir / "in.bmp").string(), flat, TJpegOptions());
  const std::string command = std::string(IMVORA_CLI_PATH) + " apply " + (dir / "in.bmp").string() +
                              " " + (dir / "out.bmp").string() +
                              " 'AutoColor(YYY 0)' >/dev/null 2>" + (dir / "err.txt").string();
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.bmp"));
  const std::string rest = " apply " + (dir / "in.bmp").string() + " " +
                           (dir / "out.bmp").string() + " 'Box(YYY 1)' 'Rotate(YYY 180)'";
  EXPECT_EQ(std::system((std::string(IMVORA_CLI_PATH) + rest + " >/dev/null 2>&1").c_str()), 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "out.bmp"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace imvora
