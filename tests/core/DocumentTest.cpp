#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/Document.h"
#include "core/Error.h"
#include "core/ImageFile.h"
#include "filters/FilterCatalog.h"
#include "tests/core/FakeUi.h"

namespace imvora {
namespace {

using testing::TFakeUi;

TBitmap Gradient(int w, int h) {
  TBitmap bitmap(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(x + y * 5);
      p[2] = static_cast<std::uint8_t>(x * y);
    }
  }
  return bitmap;
}

// Notes what Apply received.
class TProbeFilter : public TImvoraFilter {
 public:
  TProbeFilter() { Name = "Probe"; }
  void Apply(TBitmap* bitmap, bool, bool, bool) override {
    seenCropped = Cropped;
    seenWidth = bitmap ? bitmap->Width() : -1;
    seenCurrent = bitmap != nullptr && Host != nullptr;
  }
  int seenCropped = -1, seenWidth = 0;
  bool seenCurrent = false;
};

class DocumentTest : public ::testing::Test {
 protected:
  DocumentTest()
      : dir(std::filesystem::temp_directory_path() / ("imvora-doc-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    RegisterFilters(doc);
    invert = doc.FindFilter("Invert");
  }
  ~DocumentTest() override { std::filesystem::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }
  void WriteBmp(const std::string& name, const TBitmap& bitmap) {
    WriteFileAtomically(Path(name), EncodeBmp(bitmap));
  }
  void OpenGradient(int w, int h) {
    WriteBmp("in.bmp", Gradient(w, h));
    doc.OpenImageFile(Path("in.bmp"));
  }

  std::filesystem::path dir;
  TFakeUi ui;
  TDocument doc{ui};
  int invert = -1;
};

TEST_F(DocumentTest, OpenMakesACleanDocumentWithEverythingSelected) {
  OpenGradient(640, 480);
  EXPECT_EQ(doc.FileName, Path("in.bmp"));
  EXPECT_FALSE(doc.Modified);
  EXPECT_TRUE(doc.SourceImage.SamePixels(doc.CurrentImage));
  EXPECT_EQ(doc.SelRight, 639);
  EXPECT_EQ(doc.SelBottom, 479);
  EXPECT_EQ(doc.MouseFormat(), " (%3d;%3d): (%3d,%3d,%3d) ");
  EXPECT_EQ(ui.histogramChanges, 1);
}

TEST_F(DocumentTest, StatusLineShowsBlueGreenRed) {
  OpenGradient(640, 480);
  const std::uint8_t* p = doc.Picture().ScanLine(7) + 3 * 5;
  char expected[64];
  std::snprintf(expected, sizeof expected, " (  5;  7): (%3d,%3d,%3d) ", p[0], p[1], p[2]);
  EXPECT_EQ(doc.MouseMove(5, 7), expected);
  // Positions beyond the picture read its edge.
  EXPECT_EQ(doc.MouseMove(5000, -3).substr(0, 12), " (639;  0): ");
}

TEST_F(DocumentTest, MissingOrDamagedFilesLeaveTheDocumentAsItWas) {
  OpenGradient(8, 6);
  const TBitmap before = doc.CurrentImage;
  doc.ApplyFilter(invert, true, true, true);
  EXPECT_THROW(doc.OpenImageFile(Path("nothing-here.bmp")), EImvoraError);
  std::ofstream(Path("bad.bmp")) << "BM this is not a bitmap";
  EXPECT_THROW(doc.OpenImageFile(Path("bad.bmp")), EImvoraError);
  EXPECT_EQ(doc.FileName, Path("in.bmp"));
  EXPECT_TRUE(doc.Modified);
  EXPECT_FALSE(doc.CurrentImage.SamePixels(before));
}

// Spoils the picture it is given, then runs out of memory.
class TSpoilingFilter : public TImvoraFilter {
 public:
  TSpoilingFilter() { Name = "Spoil"; }
  void Apply(TBitmap* bitmap, bool, bool, bool) override {
    InvertChannels(bitmap, true, true, true);
    throw std::bad_alloc();
  }
};

TEST_F(DocumentTest, RunningOutOfMemoryInAFilterLeavesTheDocumentAsItWas) {
  OpenGradient(8, 6);
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

TEST_F(DocumentTest, ApplyOnASelectionChangesOnlyTheSelection) {
  OpenGradient(20, 10);
  TBitmap expected = doc.CurrentImage;
  doc.SetSelection(15, 8, 3, 2);  // ordered by SetSelection
  EXPECT_EQ(doc.SelLeft, 3);
  EXPECT_EQ(doc.SelBottom, 8);
  doc.ApplyFilter(invert, true, false, true);
  for (int y = 2; y <= 8; ++y) {
    for (int x = 3; x <= 15; ++x) {
      expected.ScanLine(y)[3 * x] ^= 0xFF;
      expected.ScanLine(y)[3 * x + 2] ^= 0xFF;
    }
  }
  EXPECT_TRUE(doc.CurrentImage.SamePixels(expected));
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(doc.Picture().SamePixels(expected));
}

TEST_F(DocumentTest, CroppedTellsWhetherTheFilterGotACopy) {
  OpenGradient(12, 9);
  auto probe = std::make_unique<TProbeFilter>();
  TProbeFilter* p = probe.get();
  const int index = doc.AddFilter(std::move(probe));
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(p->seenCropped, 0);
  EXPECT_EQ(p->seenWidth, 12);
  doc.SetSelection(1, 1, 4, 4);
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(p->seenCropped, 1);
  EXPECT_EQ(p->seenWidth, 4);
  doc.ApplyFilter(-1, true, true, true);
  EXPECT_EQ(p->seenCropped, 1);
}

TEST_F(DocumentTest, NoDocumentGivesTheFilterNoBitmap) {
  auto probe = std::make_unique<TProbeFilter>();
  TProbeFilter* p = probe.get();
  const int index = doc.AddFilter(std::move(probe));
  doc.ApplyFilter(index, true, true, true);
  EXPECT_EQ(p->seenWidth, -1);
  EXPECT_TRUE(doc.Modified);
}

TEST_F(DocumentTest, ASelectionOutsideTheCurrentImageIsCut) {
  OpenGradient(10, 10);
  doc.CurrentImage.SetSize(5, 5);  // as after a filter that shrinks the image
  doc.SetSelection(3, 3, 9, 9);
  doc.ApplyFilter(invert, true, true, true);
  EXPECT_EQ(doc.CurrentImage.Width(), 5);
  doc.SetSelection(7, 7, 9, 9);
  doc.ApplyFilter(invert, true, true, true);  // starts outside: the filter gets nothing
  EXPECT_EQ(doc.CurrentImage.Width(), 5);
}

TEST_F(DocumentTest, AnotherFilterDropsTheLabelMap) {
  OpenGradient(4, 4);
  auto markup = std::make_unique<TMarkupData>(2, 2);
  markup->RegionCount = 2;
  markup->Labels = {0, 1, 1, 0};
  doc.SetMarkup(std::move(markup));
  doc.SetSelection(1, 1, 2, 2);
  doc.ShowMarkupView();
  EXPECT_EQ(doc.Picture().ScanLine(0)[0], 0);                             // outside the map: black
  EXPECT_EQ(doc.Picture().ScanLine(1)[3 * 2 + 2], 255);                   // label 1 of 2: white
  EXPECT_EQ(doc.PictureHistogram(), *BuildHistogram(&doc.CurrentImage));  // not the map's
  doc.ApplyFilter(invert, true, true, true);
  EXPECT_EQ(doc.CurrentMarkup(), nullptr);
  const int changes = ui.pictureChanges;
  doc.ShowMarkupView();
  EXPECT_EQ(ui.pictureChanges, changes);
}

TEST_F(DocumentTest, AViewThatDrawsNothingCopiesNoPicture) {
  ui.showsPicture = false;
  OpenGradient(6, 4);
  EXPECT_EQ(&doc.Picture(), &doc.CurrentImage);
  EXPECT_EQ(doc.SelRight, 5);
  const TBitmap before = doc.CurrentImage;
  doc.SetMarkup(std::make_unique<TMarkupData>(2, 2));
  doc.ShowMarkupView();  // drawn on a copy of its own
  EXPECT_TRUE(doc.CurrentImage.SamePixels(before));
  EXPECT_FALSE(doc.Picture().SamePixels(before));
}

TEST(MarkupColourTest, SpreadsLabelsAndShowsASingleLabelBlack) {
  TMarkupData single(2, 1);
  single.RegionCount = 1;
  const TBitmap black = MarkupFalseColour(single);
  EXPECT_EQ(black.ScanLine(0)[0], 0);
  EXPECT_EQ(black.ScanLine(0)[5], 0);

  TMarkupData three(3, 1);
  three.RegionCount = 3;
  three.Labels = {0, 1, 2};
  const TBitmap colours = MarkupFalseColour(three);
  // 1/2 * 16777215 = 8388607.5, truncated: bytes FF FF 7F.
  EXPECT_EQ(colours.ScanLine(0)[3], 0xFF);
  EXPECT_EQ(colours.ScanLine(0)[4], 0xFF);
  EXPECT_EQ(colours.ScanLine(0)[5], 0x7F);
  EXPECT_EQ(colours.ScanLine(0)[8], 0xFF);
}

TEST_F(DocumentTest, QuerySaveAndSave) {
  OpenGradient(6, 4);
  EXPECT_TRUE(doc.QuerySave());
  EXPECT_EQ(ui.saveQuestions, 0);
  doc.ApplyFilter(invert, true, true, true);
  ui.saveAnswer = TSaveAnswer::Cancel;
  EXPECT_FALSE(doc.QuerySave());
  ui.saveAnswer = TSaveAnswer::No;
  EXPECT_TRUE(doc.QuerySave());
  EXPECT_TRUE(doc.Modified);
  ui.saveAnswer = TSaveAnswer::Yes;
  EXPECT_TRUE(doc.QuerySave());
  EXPECT_FALSE(doc.Modified);
  EXPECT_TRUE(LoadImageFile(Path("in.bmp")).SamePixels(doc.CurrentImage));
}

TEST_F(DocumentTest, ACancelledNameKeepsACloseFromGoingAhead) {
  doc.CurrentImage = Gradient(3, 3);
  doc.Modified = true;
  ui.saveAnswer = TSaveAnswer::Yes;
  ui.saveName.clear();
  EXPECT_FALSE(doc.QuerySave());
  EXPECT_TRUE(doc.Modified);
  ui.saveName = Path("chosen.bmp");
  EXPECT_TRUE(doc.QuerySave());
  EXPECT_EQ(doc.FileName, Path("chosen.bmp"));
  EXPECT_TRUE(std::filesystem::exists(Path("chosen.bmp")));
}

TEST_F(DocumentTest, RevertMarksTheDocumentModified) {
  OpenGradient(5, 5);
  const TBitmap source = doc.CurrentImage;
  doc.Revert();
  EXPECT_TRUE(doc.Modified);
  EXPECT_TRUE(doc.CurrentImage.SamePixels(source));
  doc.ApplyFilter(invert, true, true, true);
  ui.saveAnswer = TSaveAnswer::No;
  doc.Revert();
  EXPECT_TRUE(doc.CurrentImage.SamePixels(source));
}

TEST_F(DocumentTest, JpegSaveAsksForOptionsAndACancelWritesNothing) {
  OpenGradient(16, 16);
  doc.ApplyFilter(invert, true, true, true);
  ui.jpegCancels = 1;
  ui.saveName = Path("out.jpg");
  doc.SaveAs();
  EXPECT_EQ(doc.FileName, Path("out.jpg"));
  EXPECT_FALSE(std::filesystem::exists(Path("out.jpg")));
  EXPECT_TRUE(doc.Modified);
  // A save that did not happen stops a close, Open, Revert or batch; a view is not renamed.
  ui.saveAnswer = TSaveAnswer::Yes;
  ui.jpegCancels = 2;
  EXPECT_FALSE(doc.QuerySave());
  ui.saveName = Path("view.jpg");
  doc.SaveViewAs();
  EXPECT_EQ(doc.FileName, Path("out.jpg"));
  ui.jpeg = {"300", true};
  doc.Save();
  EXPECT_TRUE(std::filesystem::exists(Path("out.jpg")));
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(ui.jpegDialogs, 4);
}

TEST(JpegOptionsTest, QualityIsTheIntegerLimitedToOneToHundred) {
  EXPECT_EQ(JpegOptionsFrom({"300", false}).Quality, 100);
  EXPECT_EQ(JpegOptionsFrom({"150", false}).Quality, 100);
  EXPECT_EQ(JpegOptionsFrom({"44", true}).Quality, 44);
  EXPECT_TRUE(JpegOptionsFrom({"44", true}).Progressive);
  EXPECT_EQ(JpegOptionsFrom({"0", false}).Quality, 1);
  EXPECT_EQ(JpegOptionsFrom({"-5", false}).Quality, 1);
  EXPECT_THROW(JpegOptionsFrom({"8x", false}), EImvoraError);
}

TEST_F(DocumentTest, TypedSelectionBoundsClampAndOrder) {
  OpenGradient(640, 480);
  auto result = doc.TypeSelectionBound(TSelectionBound::Right, "900");
  EXPECT_TRUE(result.RewriteEdit);
  EXPECT_EQ(doc.SelRight, 639);
  result = doc.TypeSelectionBound(TSelectionBound::Left, "700");
  EXPECT_EQ(doc.SelLeft, 639);
  EXPECT_FALSE(result.SwappedPartner);
  result = doc.TypeSelectionBound(TSelectionBound::Left, "abc");
  EXPECT_EQ(doc.SelLeft, 639);
  EXPECT_FALSE(result.RewriteEdit);
  doc.TypeSelectionBound(TSelectionBound::Right, "100");
  EXPECT_EQ(doc.SelLeft, 100);
  EXPECT_EQ(doc.SelRight, 639);
  doc.TypeSelectionBound(TSelectionBound::Left, "0");
  result = doc.TypeSelectionBound(TSelectionBound::Left, "300");
  EXPECT_FALSE(result.SwappedPartner);
  doc.TypeSelectionBound(TSelectionBound::Right, "100");
  EXPECT_EQ(doc.SelLeft, 100);
  EXPECT_EQ(doc.SelRight, 300);
  doc.TypeSelectionBound(TSelectionBound::Right, "100");
  result = doc.TypeSelectionBound(TSelectionBound::Left, "300");
  EXPECT_TRUE(result.SwappedPartner);
  EXPECT_EQ(doc.SelLeft, 100);
  EXPECT_EQ(doc.SelRight, 300);
  result = doc.TypeSelectionBound(TSelectionBound::Top, "-4");
  EXPECT_TRUE(result.RewriteEdit);
  EXPECT_EQ(doc.SelTop, 0);
}

TEST_F(DocumentTest, MouseDragSelectsAnOrderedRectangle) {
  OpenGradient(50, 40);
  doc.MouseDown(30, 20);
  EXPECT_TRUE(doc.Dragging());
  doc.TypeSelectionBound(TSelectionBound::Left, "1");  // ignored while dragging
  EXPECT_EQ(doc.SelLeft, 30);
  doc.MouseMove(10, 5);
  EXPECT_EQ(doc.SelRight, 10);
  doc.MouseUp(-8, 100);
  EXPECT_FALSE(doc.Dragging());
  EXPECT_EQ(doc.SelLeft, 0);
  EXPECT_EQ(doc.SelRight, 30);
  EXPECT_EQ(doc.SelTop, 20);
  EXPECT_EQ(doc.SelBottom, 39);
  doc.MouseDown(50, 0);  // outside the picture: no drag
  EXPECT_FALSE(doc.Dragging());
}

TEST_F(DocumentTest, SelectContourFramesAGlyphFromTheSelectionCorner) {
  OpenGradient(50, 40);
  auto set = std::make_unique<TContourSet>();
  auto glyph = std::make_unique<TCRContourImage>();
  glyph->Left = 2;
  glyph->Right = 6;
  glyph->Top = 3;
  glyph->Bottom = 9;
  set->push_back(std::move(glyph));
  doc.SetContours(std::move(set));
  doc.SetSelection(10, 10, 40, 30);
  doc.SelectContour(1);
  EXPECT_EQ(doc.SelLeft, 10);
  doc.SelectContour(0);
  EXPECT_EQ(doc.SelLeft, 12);
  EXPECT_EQ(doc.SelTop, 13);
  EXPECT_EQ(doc.SelRight, 16);
  EXPECT_EQ(doc.SelBottom, 19);
}

TEST(DecimalDigitsTest, CountsDigits) {
  EXPECT_EQ(DecimalDigits(0), 0);
  EXPECT_EQ(DecimalDigits(9), 1);
  EXPECT_EQ(DecimalDigits(640), 3);
  EXPECT_EQ(DecimalDigits(1000), 4);
  EXPECT_EQ(DecimalDigits(2147483647), 10);
}

}  // namespace
}  // namespace imvora
