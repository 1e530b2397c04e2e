#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "core/Document.h"
#include "core/FilterParams.h"
#include "tests/core/FakeUi.h"

namespace imvora {
namespace {

using testing::TFakeUi;

// Records what the framework hands a filter.
class TRecordingFilter : public TImvoraFilter {
 public:
  explicit TRecordingFilter(const char* name) { Name = name; }
  void Apply(TBitmap* bitmap, bool f1, bool f2, bool f3) override {
    ++applies;
    sawBitmap = bitmap != nullptr;
    flags = {f1, f2, f3};
  }
  void SetParam(std::int32_t index, std::int32_t value) override {
    params.emplace_back(index, value);
  }
  void CreateControls(TPanel&) override { ++creates; }
  void DestroyControls() override { ++destroys; }

  int applies = 0, creates = 0, destroys = 0;
  bool sawBitmap = false;
  std::vector<bool> flags;
  std::vector<std::pair<int, int>> params;
};

class RunFilterCallTest : public ::testing::Test {
 protected:
  RunFilterCallTest() {
    doc.AddFilter(std::make_unique<TRecordingFilter>("Median"));
    doc.AddFilter(std::make_unique<TRecordingFilter>("Gauss"));
    doc.CurrentImage = TBitmap(4, 4);
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
  }
  TRecordingFilter& Gauss() { return static_cast<TRecordingFilter&>(*doc.Filter(1)); }

  TFakeUi ui;
  TDocument doc{ui};
};

TEST_F(RunFilterCallTest, NamesMatchInAnyLetterCase) {
  EXPECT_TRUE(doc.RunFilterCall("gauss(yyy 3 2)"));
  EXPECT_EQ(Gauss().params, (std::vector<std::pair<int, int>>{{0, 3}, {1, 2}}));
  EXPECT_EQ(Gauss().flags, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(Gauss().applies, 1);
  EXPECT_EQ(doc.FindFilter("GAUSS"), 1);
  EXPECT_EQ(doc.FindFilter("Gaus"), -1);
}

TEST_F(RunFilterCallTest, ChannelLettersAndParameters) {
  EXPECT_TRUE(doc.RunFilterCall("  Gauss ( YN1 5) trailing"));
  EXPECT_EQ(Gauss().flags, (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Gauss().params, (std::vector<std::pair<int, int>>{{0, 5}}));
}

TEST_F(RunFilterCallTest, MalformedArgumentsFallBackToAllChannels) {
  for (const char* call : {"Gauss", "Gauss(Y)", "Gauss(YYY 3", "Gauss()"}) {
    Gauss().params.clear();
    EXPECT_TRUE(doc.RunFilterCall(call)) << call;
    EXPECT_TRUE(Gauss().params.empty()) << call;
    EXPECT_EQ(Gauss().flags, (std::vector<bool>{true, true, true})) << call;
  }
}

TEST_F(RunFilterCallTest, EveryReadSetsAParameter) {
  EXPECT_TRUE(doc.RunFilterCall("Gauss(NNN)"));
  EXPECT_EQ(Gauss().params, (std::vector<std::pair<int, int>>{{0, 0}}));
  Gauss().params.clear();
  EXPECT_TRUE(doc.RunFilterCall("Gauss(YYY 3 1.5 -2)"));
  EXPECT_EQ(Gauss().params, (std::vector<std::pair<int, int>>{{0, 3}, {1, 1}, {2, 5}, {3, -2}}));
  Gauss().params.clear();
  EXPECT_TRUE(doc.RunFilterCall("Gauss(YYY 99999999999 -99999999999)"));
  EXPECT_EQ(Gauss().params,
            (std::vector<std::pair<int, int>>{{0, 2147483647}, {1, -2147483647 - 1}}));
}

TEST_F(RunFilterCallTest, UnknownOrEmptyNamesChangeNothing) {
  ui.pictureChanges = 0;
  EXPECT_FALSE(doc.RunFilterCall("Blur(YYY 3)"));
  EXPECT_FALSE(doc.RunFilterCall(""));
  EXPECT_FALSE(doc.RunFilterCall("   \t"));
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(ui.pictureChanges, 0);
  EXPECT_EQ(Gauss().applies, 0);
}

TEST_F(RunFilterCallTest, SelectingTheSelectedFilterKeepsItsControls) {
  THeadlessPanel panel;
  doc.SetPropertyPanel(&panel);
  doc.SelectFilter(1);
  doc.SelectFilter(1);
  EXPECT_EQ(Gauss().creates, 1);
  doc.SelectFilter(0);
  EXPECT_EQ(Gauss().destroys, 1);
  EXPECT_EQ(doc.CurrentFilter(), 0);
  doc.SelectFilter(-1);
  EXPECT_EQ(doc.CurrentFilter(), -1);
}

// A filter whose parameters exercise every rule of the declarative layer.
class TSampleFilter : public TParamFilter {
 public:
  TSampleFilter() {
    Name = "Sample";
    AddParam(TParam::Integer("Радиус:", Radius).AtLeast(1));
    AddParam(TParam::Real("Сила:", Sigma));
    AddParam(TParam::Integer("Порог:", Level).AtLeast(0).AtMost(255).ScriptRange(0, 255));
    AddParam(TParam::Choice("Метод:", Method, {"первый", "второй", "третий"}));
    AddParam(TParam::Flag("Галочка", Checked));
  }
  std::int32_t Radius = 1;
  double Sigma = 3.0;
  std::int32_t Level = 16;
  std::uint8_t Method = 0;
  bool Checked = false;
};

TEST(ParamFilterTest, ControlsFollowTheLayoutRules) {
  TSampleFilter filter;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  TLabel* first = filter.LabelOf(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Left(), 8);
  EXPECT_EQ(first->Top(), 12);
  EXPECT_EQ(first->Width(), 6 * 7);
  EXPECT_EQ(filter.LabelOf(1)->Top(), 12 + 13 + 16);
  TEdit* edit = filter.EditOf(0);
  EXPECT_EQ(edit->Left(), first->Right() + 8);
  EXPECT_EQ(edit->Top(), 8);
  EXPECT_EQ(edit->Width(), 48);
  EXPECT_EQ(filter.EditOf(1)->Left(), edit->Left());
  EXPECT_EQ(filter.EditOf(1)->Top(), 8 + 21 + 8);
  EXPECT_EQ(filter.EditOf(1)->Text(), "3");
  EXPECT_EQ(filter.ComboOf(3)->Width(), 140);
  EXPECT_EQ(panel.ClientWidth(), edit->Right() + 8);
  TCheckBox* check = filter.CheckOf(4);
  ASSERT_NE(check, nullptr);
  EXPECT_EQ(check->Left(), 8);
  EXPECT_EQ(check->Top(), filter.ComboOf(3)->Bottom() + 8);
  EXPECT_EQ(check->Width(), panel.ClientWidth() - 16);
}

TEST(ParamFilterTest, HandlersConvertTheWholeTextAndClampWithoutRewriting) {
  TSampleFilter filter;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  TEdit* radius = filter.EditOf(0);
  radius->UserEdited("0");
  EXPECT_EQ(filter.Radius, 1);
  EXPECT_EQ(radius->Text(), "0");
  radius->UserEdited("12");
  EXPECT_EQ(filter.Radius, 12);
  radius->UserEdited("12x");
  EXPECT_EQ(filter.Radius, 12);
  for (const char* bad : {"", "+-5", "++5"}) {
    radius->UserEdited(bad);
    EXPECT_EQ(filter.Radius, 12) << bad;
  }
  TEdit* sigma = filter.EditOf(1);
  sigma->UserEdited("2,5");
  EXPECT_EQ(filter.Sigma, 2.5);
  for (const char* bad : {"nan", "inf", "-inf", "1e999", "0x10", "abc", "+-5"}) {
    sigma->UserEdited(bad);
    EXPECT_EQ(filter.Sigma, 2.5) << bad;
  }
  filter.EditOf(2)->UserEdited("300");
  EXPECT_EQ(filter.Level, 255);
  filter.ComboOf(3)->UserSelected(2);
  EXPECT_EQ(filter.Method, 2);
}

TEST(ParamFilterTest, SetParamRules) {
  TSampleFilter filter;
  filter.SetParam(0, -5);  // no controls: stored unchanged
  EXPECT_EQ(filter.Radius, -5);
  filter.SetParam(2, 300);  // outside the script range: ignored
  EXPECT_EQ(filter.Level, 16);
  filter.SetParam(3, 5);
  EXPECT_EQ(filter.Method, 0);
  filter.SetParam(3, 1);
  EXPECT_EQ(filter.Method, 1);
  filter.SetParam(1, 7);
  EXPECT_EQ(filter.Sigma, 7.0);
  filter.SetParam(99, 1);
  filter.SetParam(-1, 1);

  THeadlessPanel panel;
  filter.CreateControls(panel);
  EXPECT_EQ(filter.EditOf(0)->Text(), "-5");  // creating the panel runs no handler
  EXPECT_EQ(filter.Radius, -5);
  EXPECT_EQ(filter.ComboOf(3)->ItemIndex(), 0);  // lists open on their first item
  EXPECT_EQ(filter.Method, 1);
  filter.SetParam(0, -3);  // with the edit: its handler clamps
  EXPECT_EQ(filter.EditOf(0)->Text(), "-3");
  EXPECT_EQ(filter.Radius, 1);
  filter.SetParam(3, 2);
  EXPECT_EQ(filter.ComboOf(3)->ItemIndex(), 2);
  filter.SetParam(4, 9);
  EXPECT_TRUE(filter.CheckOf(4)->Checked());
  EXPECT_TRUE(filter.Checked);
  filter.DestroyControls();
  EXPECT_EQ(filter.EditOf(0), nullptr);
  filter.DestroyControls();
}

}  // namespace
}  // namespace imvora
