#include "recognition/ContourRecognition.h"

#include <memory>
#include <sstream>

#include "core/ContourData.h"
#include "core/MarkupData.h"
#include "recognition/ContourExtraction.h"

namespace imvora {
namespace {

const char* const kInfoCaption = "\"Применить\" - загрузка контуров.";

// The calls that turn dark glyphs into their glyph markup, then into their contour markup.
const char* const kGlyphCalls[] = {"AutoColor(YYY 0)", "kMeans(YYY 2 0 0)", "AutoColor(YYY 0)",
                                   "Binarize(YYY 128)", "Markup(YYY 127 127 127)"};
const char* const kContourCalls[] = {"Morpho(YYY 1 4)", "Invert(YYY)", "Markup(YYY 127 127 127)"};

// The chain's calls and the extraction after them, as progress units: each call reports
// within its own unit.
constexpr int kChainUnits = 9;

// Runs calls on the document and copies the label map the last one left; a run on nothing
// (an empty picture or selection) leaves none, which counts as a map without regions.
template <std::size_t N>
TMarkupData RunForMarkup(IFilterHost& host, const char* const (&calls)[N], int& unit) {
  for (const char* call : calls) {
    host.ReportProgress(unit++, kChainUnits);
    host.RunFilterCall(call);
  }
  const TMarkupData* markup = host.CurrentMarkup();
  return markup != nullptr ? *markup : TMarkupData(0, 0);
}

// Lines of a caption wrapped at word boundaries to a width, measured with a label.
int WrappedLineCount(TPanel& parent, const std::string& caption, int width) {
  TLabel measure(parent);
  std::istringstream words(caption);
  std::string word, line;
  int lines = 1;
  while (words >> word) {
    const std::string candidate = line.empty() ? word : line + ' ' + word;
    measure.SetCaption(candidate);
    if (measure.Width() > width && !line.empty()) {
      ++lines;
      line = word;
    } else {
      line = candidate;
    }
  }
  return lines;
}

}  // namespace

TContourRecognitionFilter::TContourRecognitionFilter() {
  Name = "ContourRecognition";
  AddParam(TParam::Integer("Разложение на:", CoefCount).AtLeast(2).AtMost(kMaxCoefCount));
}

void TContourRecognitionFilter::CreateControls(TPanel& parent) {
  DestroyControls();
  TLabel& countLabel = BuildLabel(parent, 0);
  countLabel.SetLeft(8);
  TEdit& countEdit = BuildEdit(parent, 0);
  countEdit.SetLeft(countLabel.Right() + 8);
  parent.SetClientWidth(countEdit.Right() + 8);
  TLabel& info = BuildExtraLabel(parent, kInfoCaption);
  const int width = parent.ClientWidth();
  info.SetBounds(0, 0, width, info.Height() * WrappedLineCount(parent, kInfoCaption, width));
  infoLabel_ = &info;
  countLabel.SetTop(info.Bottom() + 12);
  countEdit.SetTop(info.Bottom() + 8);
}

void TContourRecognitionFilter::DestroyControls() {
  TParamFilter::DestroyControls();
  infoLabel_ = nullptr;
}

void TContourRecognitionFilter::SetParam(std::int32_t, std::int32_t) {}

std::vector<TParamDescription> TContourRecognitionFilter::DescribeParams() const {
  std::vector<TParamDescription> params = TParamFilter::DescribeParams();
  for (TParamDescription& p : params) p.Accepts = "не задаётся вызовом, только в поле фильтра";
  return params;
}

void TContourRecognitionFilter::Apply(TBitmap* bitmap, bool flag1, bool flag2, bool flag3) {
  if (bitmap == nullptr || !(flag1 || flag2 || flag3) || Host == nullptr) return;
  // The bitmap is the pipeline's copy of the selection: emptied, its paste-back leaves the
  // picture the calls below make in the document.
  if (Cropped) bitmap->SetHeight(0);
  int unit = 0;
  const TMarkupData glyphs = RunForMarkup(*Host, kGlyphCalls, unit);
  TMarkupData contours = RunForMarkup(*Host, kContourCalls, unit);
  Host->ReportProgress(unit, kChainUnits);
  std::unique_ptr<TContourSet> set = ExtractContours(glyphs, contours, CoefCount);
  SortByLeft(*set);
  Host->SetContours(std::move(set));
}

}  // namespace imvora
