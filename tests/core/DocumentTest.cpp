#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/Document.h"
#include "core/Error.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"
#include "tests/core/TempFolder.h"

namespace imvora {
namespace {

TBitmap Grey(int w, int h) {
  TBitmap bitmap(w, h);
  for (int y = 0; y < h; ++y) std::fill_n(bitmap.ScanLine(y), 3 * w, 100);
  return bitmap;
}

std::vector<int> Selection(const TDocument& doc) {
  return {doc.SelLeft, doc.SelTop, doc.SelRight, doc.SelBottom};
}

// Notes what Apply received.
class TProbeFilter : public TImvoraFilter {
 public:
  TProbeFilter() { Name = "Probe"; }
  void Apply(TBitmap* bitmap, bool, bool, bool) override {
    seenCropped = Cropped;
    seenWidth = bitmap ? bitmap->Width() : -1;
  }
  int seenCropped = -1, seenWidth = 0;
};

// Spoils the picture it is given, then runs out of memory.
class TSpoilingFilter : public TImvoraFilter {
 public:
  TSpoilingFilter() { Name = "Spoil"; }
  void Apply(TBitmap* bitmap, bool, bool, bool) override {
    InvertChannels(bitmap, true, true, true);
    throw std::bad_alloc();
  }
};

class DocumentTest : public ::testing::Test {
 protected:
  DocumentTest() {
    RegisterFilters(doc);
    invert = doc.FindFilter("Invert");
  }
  std::string Path(const std::string& name) const { return folder.Path(name); }
  void OpenGrey(int w, int h) {
    WriteImageFile(Path("in.bmp"), Grey(w, h), {});
    doc.OpenImageFile(Path("in.bmp"));
  }
  void Invert() { doc.ApplyFilter(invert, true, true, true); }

  testing::TTempFolder folder;
  testing::TFakeUi ui;
  TDocument doc{ui};
  int invert = -1;
};

TEST_F(DocumentTest, OpenMakesACleanDocumentWithEverythingSelected) {
  OpenGrey(640, 480);
  EXPECT_EQ(doc.FileName, Path("in.bmp"));
  EXPECT_FALSE(doc.Modified);
  EXPECT_TRUE(doc.SourceImage.SamePixels(doc.CurrentImage));
  EXPECT_EQ(Selection(doc), (std::vector<int>{0, 0, 639, 479}));
  EXPECT_EQ(ui.histogramChanges, 1);
  // The status line is as wide as the largest position; one beyond the picture reads its edge.
  EXPECT_EQ(doc.MouseFormat(), " (%3d;%3d): (%3d,%3d,%3d) ");
  EXPECT_EQ(doc.MouseMove(5000, -3).substr(0, 12), " (639;  0): ");
  EXPECT_TRUE(doc.TypeSelectionBound(TSelectionBound::Top, "-4").RewriteEdit);
  EXPECT_EQ(doc.SelTop, 0);
}

TEST_F(DocumentTest, MissingOrDamagedFilesLeaveTheDocumentAsItWas) {
  OpenGrey(8, 6);
  Invert();
  const TBitmap changed = doc.CurrentImage;
  EXPECT_THROW(doc.OpenImageFile(Path("nothing-here.bmp")), EImvoraError);
  folder.Write("bad.bmp", "BM this is not a bitmap");
  EXPECT_THROW(doc.OpenImageFile(Path("bad.bmp")), EImvoraError);
  EXPECT_EQ(doc.FileName, Path("in.bmp"));
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(changed));
}

TEST_F(DocumentTest, RunningOutOfMemoryInAFilterLeavesTheDocumentAsItWas) {
  OpenGrey(8, 6);
  doc.SetUndoRecording(true);
  const TBitmap before = doc.CurrentImage;
  const int spoil = doc.AddFilter(std::make_unique<TSpoilingFilter>());
  for (int right : {7, 3}) {
    doc.SetSelection(0, 0, right, 5);
    try {
      doc.ApplyFilter(spoil, true, true, true);
      ADD_FAILURE() << "no error";
    } catch (const EImvoraError& error) {
      EXPECT_STREQ(error.what(), "Недостаточно памяти: применение фильтра Spoil");
    }
    EXPECT_TRUE(doc.CurrentImage.SamePixels(before)) << right;
    EXPECT_FALSE(doc.Modified);
  }
}

// Cropped tells whether the filter got a copy of the selection, which is cut at the picture's
// edges; without a picture, or with a selection starting outside it, the filter gets no bitmap.
TEST_F(DocumentTest, TheFilterGetsTheSelectionOrNoBitmap) {
  auto probe = std::make_unique<TProbeFilter>();
  TProbeFilter* p = probe.get();
  const int index = doc.AddFilter(std::move(probe));
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(p->seenWidth, -1);
  EXPECT_TRUE(doc.Modified);
  OpenGrey(12, 9);
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(std::make_pair(p->seenCropped, p->seenWidth), std::make_pair(0, 12));
  doc.SetSelection(1, 1, 4, 4);
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(std::make_pair(p->seenCropped, p->seenWidth), std::make_pair(1, 4));
  doc.ApplyFilter(-1, true, true, true);
  EXPECT_EQ(p->seenCropped, 1);
  doc.CurrentImage.SetSize(5, 5);  // as after a filter that shrinks the image
  doc.SetSelection(3, 3, 9, 9);
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(std::make_pair(p->seenCropped, p->seenWidth), std::make_pair(1, 2));
  doc.SelLeft = doc.SelTop = 7;  // made on the larger view shown before
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(p->seenWidth, -1);
  EXPECT_EQ(doc.CurrentImage.Width(), 5);
}

TEST_F(DocumentTest, AViewThatDrawsNothingCopiesNoPicture) {
  ui.showsPicture = false;
  OpenGrey(6, 4);
  EXPECT_EQ(&doc.Picture(), &doc.CurrentImage);
  const TBitmap before = doc.CurrentImage;
  doc.SetMarkup(std::make_unique<TMarkupData>(2, 2));
  doc.ShowMarkupView();  // drawn on a copy of its own
  EXPECT_TRUE(doc.CurrentImage.SamePixels(before));
  EXPECT_FALSE(doc.Picture().SamePixels(before));
}

// The label map shows at the selection on black, until another filter drops it.
TEST_F(DocumentTest, TheLabelMapShowsAtTheSelectionUntilAnotherFilterRuns) {
  OpenGrey(4, 1);
  auto markup = std::make_unique<TMarkupData>(3, 1);
  markup->RegionCount = 3;
  markup->Labels = {0, 1, 2};
  doc.SetMarkup(std::move(markup));
  doc.SetSelection(1, 0, 3, 0);
  doc.ShowMarkupView();
  // Label 1 of 3: 1/2 * 16777215 = 8388607.5, truncated: bytes FF FF 7F.
  const std::uint8_t* p = doc.Picture().ScanLine(0);
  EXPECT_EQ(std::vector<int>(p, p + 12),
            (std::vector<int>{0, 0, 0, 0, 0, 0, 255, 255, 127, 255, 255, 255}));
  Invert();
  EXPECT_EQ(doc.CurrentMarkup(), nullptr);
}

// A map of one region has no spread to divide: its label shows black.
TEST(MarkupColourTest, ASingleLabelShowsBlack) {
  TMarkupData single(2, 1);
  single.RegionCount = 1;
  const TBitmap black = MarkupFalseColour(single);
  EXPECT_EQ(std::vector<int>(black.ScanLine(0), black.ScanLine(0) + 6), std::vector<int>(6, 0));
}

// Cancel, or Yes with the name dialog cancelled, stops what waits for the answer; No goes on
// unsaved; Yes with a name writes the picture there.
TEST_F(DocumentTest, OnlyNoOrAWrittenFileLetsAModifiedDocumentGo) {
  doc.CurrentImage = Grey(3, 3);
  doc.Modified = true;
  const std::tuple<TSaveAnswer, std::string, bool> steps[] = {{TSaveAnswer::Cancel, "c.bmp", false},
                                                              {TSaveAnswer::Yes, "", false},
                                                              {TSaveAnswer::No, "", true},
                                                              {TSaveAnswer::Yes, "c.bmp", true}};
  for (const auto& [answer, name, goesOn] : steps) {
    ui.saveAnswer = answer;
    ui.saveName = name.empty() ? name : Path(name);
    EXPECT_EQ(doc.QuerySave(), goesOn) << int(answer) << " " << name;
  }
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(doc.FileName, Path("c.bmp"));
  EXPECT_TRUE(LoadImageFile(Path("c.bmp")).SamePixels(doc.CurrentImage));
}

// A clean document is not asked about; Revert brings back the source and marks the document
// changed.
TEST_F(DocumentTest, RevertMarksTheDocumentModified) {
  OpenGrey(5, 5);
  const TBitmap source = doc.CurrentImage;
  EXPECT_TRUE(doc.QuerySave());
  doc.Revert();
  EXPECT_EQ(ui.saveQuestions, 0);
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(source));
  Invert();
  doc.Revert();
  EXPECT_EQ(ui.saveQuestions, 1);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(source));
}

// A JPEG save whose options are cancelled writes nothing and stops a close, Open, Revert or
// batch waiting for it; a cancelled view save keeps the document's name.
TEST_F(DocumentTest, ACancelledJpegSaveWritesNothingAndStopsAClose) {
  OpenGrey(16, 16);
  Invert();
  ui.jpegCancels = 3;
  ui.saveName = Path("out.jpg");
  doc.SaveAs();
  ui.saveAnswer = TSaveAnswer::Yes;
  EXPECT_FALSE(doc.QuerySave());
  ui.saveName = Path("view.jpg");
  doc.SaveViewAs();
  EXPECT_EQ(doc.FileName, Path("out.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Path("out.jpg")) ||
               std::filesystem::exists(Path("view.jpg")));
  EXPECT_TRUE(doc.Modified);
  EXPECT_EQ(ui.jpegDialogs, 3);
}

TEST(JpegOptionsTest, QualityIsTheIntegerLimitedToOneToHundred) {
  for (const auto& [text, quality] : {std::pair{"300", 100}, {"44", 44}, {"0", 1}, {"-5", 1}}) {
    EXPECT_EQ(JpegOptionsFrom({text, false}).Quality, quality) << text;
  }
  EXPECT_TRUE(JpegOptionsFrom({"44", true}).Progressive);
  EXPECT_THROW(JpegOptionsFrom({"8x", false}), EImvoraError);
}

TEST_F(DocumentTest, AMouseDragIsClampedToThePicture) {
  OpenGrey(50, 40);
  doc.MouseDown(30, 20);
  doc.TypeSelectionBound(TSelectionBound::Left, "1");  // ignored while dragging
  doc.MouseUp(-8, 100);
  EXPECT_FALSE(doc.Dragging());
  EXPECT_EQ(Selection(doc), (std::vector<int>{0, 20, 30, 39}));
  doc.MouseDown(50, 0);  // outside the picture: no drag
  EXPECT_FALSE(doc.Dragging());
}

TEST(DecimalDigitsTest, CountsDigits) {
  for (const auto& [value, digits] :
       {std::pair{0, 0}, {9, 1}, {640, 3}, {1000, 4}, {2147483647, 10}})
    EXPECT_EQ(DecimalDigits(value), digits) << value;
}

}  // namespace
}  // namespace imvora
