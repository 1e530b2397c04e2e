#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "core/Document.h"
#include "core/FilterParams.h"
#include "tests/core/FakeUi.h"

namespace imvora {
namespace {

using testing::TFakeUi;

// Notes what the framework hands a filter: "k=v " for each parameter, the channel letters for
// each run, + and - for controls built and destroyed.
class TRecordingFilter : public TImvoraFilter {
 public:
  explicit TRecordingFilter(const char* name) { Name = name; }
  void Apply(TBitmap* bitmap, bool f1, bool f2, bool f3) override {
    for (bool flag : {bitmap != nullptr, f1, f2, f3}) record += flag ? 'Y' : 'N';
  }
  void SetParam(std::int32_t index, std::int32_t value) override {
    record += std::to_string(index) + "=" + std::to_string(value) + " ";
  }
  void CreateControls(TPanel&) override { record += "+"; }
  void DestroyControls() override { record += "-"; }

  std::string record;
};

struct TRecordingDocument {
  TRecordingDocument() {
    doc.AddFilter(std::make_unique<TRecordingFilter>("Median"));
    doc.AddFilter(std::make_unique<TRecordingFilter>("Gauss"));
    doc.CurrentImage = TBitmap(4, 4);
    doc.ShowBitmap(doc.CurrentImage);
    doc.SelectAll();
    ui.pictureChanges = 0;
  }
  TRecordingFilter& Gauss() { return static_cast<TRecordingFilter&>(*doc.Filter(1)); }

  TFakeUi ui;
  TDocument doc{ui};
};

// The call text, then what Gauss saw: empty when the call runs nothing.
TEST(RunFilterCallTest, NamesChannelLettersAndParameters) {
  const std::pair<const char*, const char*> cases[] = {
      {"gauss(yyy 3 2)", "0=3 1=2 YYYY"},  // names match in any letter case
      {"  Gauss ( YN1 5) trailing", "0=5 YYNY"},
      // Malformed arguments fall back to all channels and set nothing.
      {"Gauss", "YYYY"},
      {"Gauss(Y)", "YYYY"},
      {"Gauss(YYY 3", "YYYY"},
      {"Gauss()", "YYYY"},
      // Every read sets a parameter.
      {"Gauss(NNN)", "0=0 YNNN"},
      {"Gauss(YYY 3 1.5 -2)", "0=3 1=1 2=5 3=-2 YYYY"},
      // Unknown or empty names change nothing.
      {"Blur(YYY 3)", ""},
      {"Gaus(YYY 3)", ""},
      {"", ""},
      {"   \t", ""},
  };
  for (const auto& [call, seen] : cases) {
    TRecordingDocument recording;
    EXPECT_EQ(recording.doc.RunFilterCall(call), *seen != 0) << call;
    EXPECT_EQ(recording.Gauss().record, seen) << call;
    EXPECT_EQ(recording.doc.Modified, *seen != 0) << call;
    EXPECT_EQ(recording.ui.pictureChanges > 0, *seen != 0) << call;
  }
}

TEST(RunFilterCallTest, SelectingTheSelectedFilterKeepsItsControls) {
  TRecordingDocument recording;
  THeadlessPanel panel;
  recording.doc.SetPropertyPanel(&panel);
  for (int index : {1, 1, 0}) recording.doc.SelectFilter(index);
  EXPECT_EQ(recording.Gauss().record, "+-");
  EXPECT_EQ(recording.doc.CurrentFilter(), 0);
  recording.doc.SelectFilter(-1);
  EXPECT_EQ(recording.doc.CurrentFilter(), -1);
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

TEST(ParamFilterTest, ControlsFollowTheLayoutRulesAndHandlersClampWithoutRewriting) {
  TSampleFilter filter;
  THeadlessPanel panel;
  filter.CreateControls(panel);
  // Labels sit 4 pixels below their edit, 6 pixels a character wide; a row is 21 + 8 high; the
  // check box takes the panel's width under the list.
  const int edits = filter.LabelOf(0)->Right() + 8;
  const std::tuple<TControl*, int, int, int> layout[] = {
      {filter.LabelOf(1), 8, 12 + 21 + 8, 6 * 5},
      {filter.EditOf(1), edits, 8 + 21 + 8, 48},
      {filter.ComboOf(3), edits, 8 + 3 * (21 + 8), 140},
      {filter.CheckOf(4), 8, filter.ComboOf(3)->Bottom() + 8, panel.ClientWidth() - 16},
  };
  for (const auto& [control, left, top, width] : layout) {
    EXPECT_EQ(std::make_tuple(control->Left(), control->Top(), control->Width()),
              std::make_tuple(left, top, width))
        << "row at " << top;
  }
  EXPECT_EQ(filter.EditOf(1)->Text(), "3");
  // The handlers convert the whole text and clamp without rewriting it.
  const auto value = [&filter](int param) {
    const double values[] = {double(filter.Radius), filter.Sigma, double(filter.Level)};
    return values[param];
  };
  // Parameter, text typed, its value after.
  const std::tuple<int, const char*, double> steps[] = {
      {0, "0", 1},       {0, "12", 12},    {0, "12x", 12},  {0, "", 12},     {0, "+-5", 12},
      {0, "++5", 12},    {1, "2,5", 2.5},  {1, "nan", 2.5}, {1, "inf", 2.5}, {1, "-inf", 2.5},
      {1, "1e999", 2.5}, {1, "0x10", 2.5}, {1, "abc", 2.5}, {1, "+-5", 2.5}, {2, "300", 255},
  };
  for (const auto& [param, text, after] : steps) {
    filter.EditOf(param)->UserEdited(text);
    EXPECT_EQ(value(param), after) << param << " " << text;
    EXPECT_EQ(filter.EditOf(param)->Text(), text);
  }
  filter.ComboOf(3)->UserSelected(2);
  EXPECT_EQ(filter.Method, 2);
}

TEST(ParamFilterTest, SetParamRules) {
  TSampleFilter filter;
  // Without controls a value is stored unchanged; one outside the script range or the list, or
  // of no parameter, is ignored.
  for (const auto& [param, value] :
       {std::pair{0, -5}, {2, 300}, {3, 1}, {3, 5}, {1, 7}, {99, 1}, {-1, 1}}) {
    filter.SetParam(param, value);
  }
  EXPECT_EQ(std::make_tuple(filter.Radius, filter.Sigma, filter.Level, int{filter.Method}),
            std::make_tuple(-5, 7.0, 16, 1));
  // Creating the panel runs no handler, and lists open on their first item.
  THeadlessPanel panel;
  filter.CreateControls(panel);
  const auto shown = [&filter] {
    return std::make_tuple(filter.EditOf(0)->Text(), filter.Radius, filter.ComboOf(3)->ItemIndex(),
                           int{filter.Method}, filter.CheckOf(4)->Checked(), filter.Checked);
  };
  EXPECT_EQ(shown(), std::make_tuple("-5", -5, 0, 1, false, false));
  // With controls a value goes through its control, whose handler clamps.
  for (const auto& [param, value] : {std::pair{0, -3}, {3, 2}, {4, 9}})
    filter.SetParam(param, value);
  EXPECT_EQ(shown(), std::make_tuple("-3", 1, 2, 2, true, true));
  filter.DestroyControls();
  EXPECT_EQ(filter.EditOf(0), nullptr);
  filter.DestroyControls();
}

}  // namespace
}  // namespace imvora
