#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Document.h"
#include "core/Random.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"

namespace imvora {
namespace {

TBitmap Picture(int w, int h) {
  TBitmap bitmap(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 9 + y * 3);
      p[1] = static_cast<std::uint8_t>(x * x + y);
      p[2] = static_cast<std::uint8_t>((x / 8 + y / 8) % 2 ? 230 : 20);
    }
  }
  return bitmap;
}

// Records the reports; throws ECancelled from report `cancelAt` on (never when negative).
class TRecordingProgress : public IProgress {
 public:
  explicit TRecordingProgress(int cancelAt = -1) : cancelAt_(cancelAt) {}
  void Report(std::int64_t done, std::int64_t total) override {
    if (cancelAt_ >= 0 && reports >= cancelAt_) throw ECancelled();
    ++reports;
    highest = std::max(highest, total > 0 ? double(done) / total : 0.0);
    last = total > 0 ? double(done) / total : 0.0;
  }
  int reports = 0;
  double highest = 0, last = 0;

 private:
  int cancelAt_;
};

struct TDoc {
  explicit TDoc(int w = 48, int h = 40) {
    RegisterFilters(doc);
    doc.SetUndoRecording(true);
    doc.CurrentImage = doc.SourceImage = Picture(w, h);
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
  }
  testing::TFakeUi ui;
  TDocument doc{ui};
};

// What an undo must give back, compared byte for byte.
struct TSnapshot {
  explicit TSnapshot(const TDocument& d)
      : image(d.CurrentImage),
        sel{d.SelLeft, d.SelTop, d.SelRight, d.SelBottom},
        labels(d.CurrentMarkup() ? d.CurrentMarkup()->Labels : std::vector<std::int32_t>{-1}),
        contours(d.Contours() ? int(d.Contours()->size()) : -1),
        modified(d.Modified) {}
  void ExpectIn(const TDocument& d, bool withSelection = true) const {
    const TSnapshot now(d);
    EXPECT_TRUE(now.image.SamePixels(image) && now.image.Width() == image.Width());
    EXPECT_TRUE(!withSelection || now.sel == sel);
    EXPECT_EQ(now.labels, labels);
    EXPECT_EQ(now.contours, contours);
    EXPECT_EQ(now.modified, modified);
  }
  TBitmap image;
  std::vector<int> sel;
  std::vector<std::int32_t> labels;
  int contours;
  bool modified;
};

TDocumentState StateOf(int w, int h) {
  TDocumentState state;
  state.Image = TBitmap(w, h);
  return state;
}

// Undo gives back the document as the step found it, redo as the step left it (the selection
// as it was when the step was undone).
TEST(UndoTest, EveryStepUndoesAndRedoesByteForByte) {
  TDoc d;
  std::vector<TSnapshot> before, after;
  const auto step = [&](const std::function<void()>& change) {
    before.emplace_back(d.doc);
    change();
    after.emplace_back(d.doc);
  };
  step([&] { d.doc.RunFilterCall("Markup(YYY 10 10 10)"); });
  d.doc.SetSelection(5, 6, 30, 25);
  step([&] { d.doc.RunFilterCall("Gauss(YYY 3 2)"); });
  step([&] { d.doc.RunFilterCall("Rotate(YYY 30 50)"); });
  d.doc.SelectAll();
  step([&] { d.doc.RunFilterCall("ContourRecognition(YYY)"); });
  d.doc.SetSelection(1, 2, 3, 4);
  step([&] { d.doc.Revert(); });
  ASSERT_EQ(d.doc.History()->NextUndo()->Kind, TUndoKind::Revert);
  for (std::size_t i = before.size(); i-- > 0;) {
    ASSERT_TRUE(d.doc.Undo());
    before[i].ExpectIn(d.doc);
  }
  EXPECT_FALSE(d.doc.Undo());
  for (const TSnapshot& state : after) {
    ASSERT_TRUE(d.doc.Redo());
    state.ExpectIn(d.doc, false);
  }
  EXPECT_FALSE(d.doc.Redo());
}

TEST(UndoTest, ANewStepAfterUndoDropsTheRedoStepsAndASaveMarksTheRestModified) {
  TDoc d;
  d.doc.RunFilterCall("Invert(YYY)");
  d.doc.RunFilterCall("GrayScale(YYY)");
  d.doc.Undo();
  d.doc.RunFilterCall("Binarize(YYY 128)");
  EXPECT_FALSE(d.doc.History()->CanRedo());
  EXPECT_EQ(d.doc.History()->NextUndo()->FilterName, "Binarize");
  EXPECT_EQ(d.doc.History()->Count(), 2u);
  const std::string file = ::testing::TempDir() + "undo-saved.bmp";
  ASSERT_TRUE(d.doc.SaveDocument(file));
  d.doc.Undo();
  EXPECT_TRUE(d.doc.Modified);  // the file holds the undone step
  d.doc.Redo();
  EXPECT_FALSE(d.doc.Modified);
  d.doc.OpenImageFile(file);
  EXPECT_EQ(d.doc.History()->Count(), 0u);
  std::remove(file.c_str());
}

TEST(UndoTest, TheOldestStepsGoBeyondTheMemoryBoundButOneStays) {
  const std::size_t image = TBitmap(100, 100).RowBytes() * 100;
  TUndoStack stack(3 * image);
  for (int i = 0; i < 5; ++i) stack.Push({TUndoKind::Apply, std::to_string(i), StateOf(100, 100)});
  EXPECT_EQ(stack.Count(), 3u);
  EXPECT_EQ(stack.Bytes(), 3 * image);
  TDocumentState current = StateOf(100, 100);
  while (stack.CanUndo()) stack.Undo(current);
  EXPECT_EQ(stack.NextRedo()->FilterName, "2");  // 0 and 1 went first
  stack.Push({TUndoKind::Apply, "big", StateOf(400, 400)});
  EXPECT_EQ(stack.Count(), 1u);
  EXPECT_TRUE(stack.CanUndo());
  EXPECT_EQ(TUndoStack::kMaxUndoBytes, std::size_t{256} << 20);
}

TEST(ProgressTest, ACancelledRunLeavesTheDocumentAsItWas) {
  for (const char* call : {"GaussianNoise(YYY)", "kMeans(YYY 5 0)", "ContourRecognition(YYY)"}) {
    TDoc d(300, 200);
    d.doc.SetSelection(10, 10, 250, 180);
    const TSnapshot before(d.doc);
    TRecordingProgress cancel(5);
    d.doc.SetProgress(&cancel);
    EXPECT_THROW(d.doc.RunFilterCall(call), ECancelled) << call;
    before.ExpectIn(d.doc);
    EXPECT_FALSE(d.doc.History()->CanUndo());
  }
}

// Progress changes no result, and every finished run reaches 100 %.
TEST(ProgressTest, ReportsChangeNoResultAndEndAtTheWhole) {
  const char* const calls[] = {"GaussianNoise(YYY 100 30 5)",
                               "kMeans(YYY 3 0 1)",
                               "AutoColor(YYY 1)",
                               "Rotate(YYY 17 50)",
                               "FFT(YYY 0)",
                               "FFT(YYY 3)",
                               "2DCleaner(YYY 2 20)",
                               "Wavelet(YYY -1)",
                               "Binarize(YYY 1 40)",
                               "MarkupAverage(YYY 20 20 20)",
                               "ContourRecognition(YYY)",
                               "Levels(YYY 0 255)"};
  for (const char* call : calls) {
    TDoc plain(64, 50), reported(64, 50);
    TRecordingProgress progress;
    reported.doc.SetProgress(&progress);
    SeedRandom(7);
    plain.doc.RunFilterCall(call);
    SeedRandom(7);
    reported.doc.RunFilterCall(call);
    EXPECT_TRUE(plain.doc.CurrentImage.SamePixels(reported.doc.CurrentImage)) << call;
    EXPECT_GT(progress.reports, 1) << call;
    EXPECT_EQ(progress.last, 1.0) << call;
    EXPECT_LE(progress.highest, 1.0) << call;
  }
}

}  // namespace
}  // namespace imvora
