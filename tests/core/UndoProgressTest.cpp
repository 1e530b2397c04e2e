#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/Document.h"
#include "core/Random.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

// Dark squares on a light, uneven ground: every filter has work on it.
struct TDoc {
  explicit TDoc(int w = 48, int h = 40) {
    RegisterFilters(doc);
    doc.SetUndoRecording(true);
    TBitmap picture(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        std::uint8_t* p = picture.ScanLine(y) + 3 * x;
        p[0] = static_cast<std::uint8_t>(x * 9 + y * 3);
        p[1] = static_cast<std::uint8_t>(x * x + y);
        p[2] = (x / 8 + y / 8) % 2 ? 230 : 20;
      }
    }
    doc.CurrentImage = doc.SourceImage = picture;
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
  }
  testing::TFakeUi ui;
  TDocument doc{ui};
};

// What an undo must give back: pixels, selection, label map, contour count, modified flag.
auto Snapshot(const TDocument& d, bool withSelection = true) {
  std::vector<std::uint8_t> pixels;
  for (int y = 0; y < d.CurrentImage.Height(); ++y) {
    pixels.insert(pixels.end(), d.CurrentImage.ScanLine(y),
                  d.CurrentImage.ScanLine(y) + 3 * d.CurrentImage.Width());
  }
  const std::vector<int> sel{d.SelLeft, d.SelTop, d.SelRight, d.SelBottom};
  return std::make_tuple(d.CurrentImage.Width(), pixels, withSelection ? sel : std::vector<int>{},
                         d.CurrentMarkup() ? d.CurrentMarkup()->Labels : std::vector<int>{-1},
                         d.Contours() ? int(d.Contours()->size()) : -1, d.Modified);
}

// Records the share reported; throws ECancelled from report `cancelAt` on.
struct TRecordingProgress : IProgress {
  explicit TRecordingProgress(int cancelAt = -1) : cancelAt(cancelAt) {}
  void Report(std::int64_t done, std::int64_t total) override {
    if (cancelAt >= 0 && reports >= cancelAt) throw ECancelled();
    ++reports;
    last = double(done) / total;
    highest = std::max(highest, last);
  }
  int cancelAt, reports = 0;
  double highest = 0, last = 0;
};

TDocumentState StateOf(int w, int h) {
  TDocumentState state;
  state.Image = TBitmap(w, h);
  return state;
}

// Undo gives back the document as the step found it, redo as the step left it (with the
// selection of the moment it was undone).
TEST(UndoTest, EveryStepUndoesAndRedoesByteForByte) {
  TDoc d;
  std::vector<decltype(Snapshot(d.doc))> before, after;
  const auto step = [&](const std::function<void()>& change) {
    before.push_back(Snapshot(d.doc));
    change();
    after.push_back(Snapshot(d.doc, false));
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
    EXPECT_EQ(Snapshot(d.doc), before[i]) << i;
  }
  EXPECT_FALSE(d.doc.Undo());
  for (std::size_t i = 0; i < after.size(); ++i) {
    ASSERT_TRUE(d.doc.Redo());
    EXPECT_EQ(Snapshot(d.doc, false), after[i]) << i;
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
  const testing::TTempFolder folder;
  const std::string file = folder.Path("saved.bmp");
  ASSERT_TRUE(d.doc.SaveDocument(file));
  d.doc.Undo();
  EXPECT_TRUE(d.doc.Modified);  // the file holds the undone step
  d.doc.Redo();
  EXPECT_FALSE(d.doc.Modified);
  d.doc.OpenImageFile(file);
  EXPECT_EQ(d.doc.History()->Count(), 0u);
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
}

// Progress changes no result, every finished run reaches 100 %, and a run cancelled at its
// second report leaves the document as it was.
TEST(ProgressTest, ReportsChangeNoResultEndAtTheWholeAndCancelCleanly) {
  for (const char* call :
       {"GaussianNoise(YYY 100 30 5)", "kMeans(YYY 3 0 1)", "AutoColor(YYY 1)", "Rotate(YYY 17 50)",
        "FFT(YYY 0)", "FFT(YYY 3)", "2DCleaner(YYY 2 20)", "Wavelet(YYY -1)", "Binarize(YYY 1 40)",
        "MarkupAverage(YYY 20 20 20)", "ContourRecognition(YYY)", "Levels(YYY 0 255)"}) {
    TDoc plain(64, 50), reported(64, 50), cancelled(64, 50);
    TRecordingProgress progress, cancel(1);
    reported.doc.SetProgress(&progress);
    cancelled.doc.SetProgress(&cancel);
    SeedRandom(7);
    plain.doc.RunFilterCall(call);
    SeedRandom(7);
    reported.doc.RunFilterCall(call);
    EXPECT_EQ(Snapshot(plain.doc), Snapshot(reported.doc)) << call;
    EXPECT_GT(progress.reports, 1) << call;
    EXPECT_EQ(progress.last, 1.0) << call;
    EXPECT_LE(progress.highest, 1.0) << call;
    cancelled.doc.SetSelection(3, 4, 60, 45);
    const auto before = Snapshot(cancelled.doc);
    EXPECT_THROW(cancelled.doc.RunFilterCall(call), ECancelled) << call;
    EXPECT_EQ(Snapshot(cancelled.doc), before) << call;
    EXPECT_FALSE(cancelled.doc.History()->CanUndo());
  }
}

}  // namespace
}  // namespace imvora
