#include "core/Document.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>

#include "core/Error.h"
#include "core/TextConvert.h"

namespace imvora {
namespace {

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool IsControlOrBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string TrimControls(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsControlOrBlank(text[begin])) ++begin;
  while (end > begin && IsControlOrBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool ChannelLetterOn(char c) {
  return c == 'Y' || c == 'y' || c == '1';
}

}  // namespace

TDocument::TDocument(IDocumentUi& ui) : ui_(ui) {}

TDocument::~TDocument() {
  if (currentFilter_ >= 0) filters_[currentFilter_]->DestroyControls();
}

int TDocument::AddFilter(std::unique_ptr<TImvoraFilter> filter) {
  filter->Host = this;
  filters_.push_back(std::move(filter));
  return static_cast<int>(filters_.size()) - 1;
}

TImvoraFilter* TDocument::Filter(int index) const {
  return index >= 0 && index < static_cast<int>(filters_.size()) ? filters_[index].get() : nullptr;
}

void TDocument::SelectFilter(int index) {
  if (index == currentFilter_ || index >= static_cast<int>(filters_.size())) return;
  if (currentFilter_ >= 0) filters_[currentFilter_]->DestroyControls();
  currentFilter_ = index;
  if (index >= 0 && propPanel_ != nullptr) {
    filters_[index]->CreateControls(*propPanel_);
    ui_.FilterSelected();
  }
}

int TDocument::FindFilter(const std::string& name) const {
  const std::string wanted = LowerAscii(name);
  for (std::size_t i = 0; i < filters_.size(); ++i) {
    if (LowerAscii(filters_[i]->Name) == wanted) return static_cast<int>(i);
  }
  return -1;
}

bool TDocument::RunFilterCall(const std::string& call) {
  const std::size_t open = call.find('(');
  const int index = FindFilter(TrimControls(call.substr(0, open)));
  if (index < 0) return false;
  bool flags[3] = {true, true, true};
  const std::size_t close = open == std::string::npos ? open : call.find(')', open + 1);
  if (close != std::string::npos) {
    const std::string arguments = TrimControls(call.substr(open + 1, close - open - 1));
    if (arguments.size() >= 3) {
      for (int c = 0; c < 3; ++c) flags[c] = ChannelLetterOn(arguments[c]);
      const std::string rest = TrimControls(arguments.substr(3));
      const char* position = rest.c_str();
      for (std::int32_t k = 0; position != nullptr; ++k) {
        std::int32_t value;
        position = ScanInt(position, value);
        filters_[index]->SetParam(k, value);
      }
    }
  }
  ApplyFilter(index, flags[0], flags[1], flags[2]);
  return true;
}

void TDocument::ApplyFilter(int index, bool flag1, bool flag2, bool flag3) {
  TImvoraFilter* filter = Filter(index);
  if (filter == nullptr) return;
  const bool outermost = applyDepth_ == 0;
  if (outermost) outerDone_ = outerTotal_ = 0;
  // The filter calls a filter runs from its Apply belong to its one step.
  std::optional<TDocumentState> before;
  if (outermost && undo_) before = CopyState();
  const int picturesShownBefore = picturesShown_;
  ++applyDepth_;
  try {
    RunPipeline(*filter, flag1, flag2, flag3);
  } catch (...) {
    --applyDepth_;
    // A cancelled or failed run leaves the document as it was before.
    if (before) RestoreAfterFailure(std::move(*before), picturesShownBefore);
    throw;
  }
  --applyDepth_;
  if (before) undo_->Push({TUndoKind::Apply, filter->Name, std::move(*before)});
}

void TDocument::RunPipeline(TImvoraFilter& filter, bool flag1, bool flag2, bool flag3) {
  const std::uint64_t markupsBefore = markupsSet_;
  GuardMemory("применение фильтра " + filter.Name, [&] { RunFilter(filter, flag1, flag2, flag3); });
  ReportProgress(1, 1);
  // Counted, not compared by address: a new map may take the memory of the one it replaced.
  if (markupsSet_ == markupsBefore) SetMarkup(nullptr);
  Modified = true;
  ShowBitmap(CurrentImage);
}

// A filter that fails leaves the image as it was: on the whole image it works in place, so the
// image is kept aside first; a selection is worked on as a copy and pasted back on success.
void TDocument::RunFilter(TImvoraFilter& filter, bool flag1, bool flag2, bool flag3) {
  const int w = SelRight - SelLeft + 1;
  const int h = SelBottom - SelTop + 1;
  if (CurrentImage.Width() == w && CurrentImage.Height() == h) {
    // A failing filter may leave the image half done: with undo recording (the GUI) the state
    // before the call is restored; the command line writes nothing after an error.
    filter.Cropped = 0;
    filter.Apply(&CurrentImage, flag1, flag2, flag3);
  } else {
    // A selection made on a differently sized view is cut at the current image's edges.
    std::unique_ptr<TBitmap> crop = CropBitmap(&CurrentImage, SelLeft, SelTop, w, h);
    filter.Cropped = 1;
    filter.Apply(crop.get(), flag1, flag2, flag3);
    PasteBitmap(&CurrentImage, SelLeft, SelTop, crop.get());
  }
}

TDocumentState TDocument::CopyState() const {
  return {CurrentImage, SelLeft, SelTop, SelRight, SelBottom, markup_, contours_, Modified};
}

TDocumentState TDocument::TakeState() {
  return {
      std::move(CurrentImage), SelLeft, SelTop, SelRight, SelBottom, markup_, contours_, Modified};
}

void TDocument::PutState(TDocumentState state) {
  CurrentImage = std::move(state.Image);
  SelLeft = state.SelLeft;
  SelTop = state.SelTop;
  SelRight = state.SelRight;
  SelBottom = state.SelBottom;
  markup_ = std::move(state.Markup);
  contours_ = std::move(state.Contours);
  Modified = state.Modified;
  ShowBitmap(CurrentImage);
  ui_.SelectionChanged();
}

// A run never moves the selection, so it is left alone: the window may be painting it.
void TDocument::RestoreAfterFailure(TDocumentState before, int picturesShownBefore) {
  CurrentImage = std::move(before.Image);
  markup_ = std::move(before.Markup);
  contours_ = std::move(before.Contours);
  Modified = before.Modified;
  if (picturesShown_ != picturesShownBefore) ShowBitmap(CurrentImage);
}

void TDocument::SetUndoRecording(bool on) {
  undo_ = on ? std::make_unique<TUndoStack>() : nullptr;
}

bool TDocument::Undo() {
  if (!undo_ || !undo_->CanUndo()) return false;
  TDocumentState state = TakeState();
  undo_->Undo(state);
  PutState(std::move(state));
  return true;
}

bool TDocument::Redo() {
  if (!undo_ || !undo_->CanRedo()) return false;
  TDocumentState state = TakeState();
  undo_->Redo(state);
  PutState(std::move(state));
  return true;
}

void TDocument::OpenImageFile(const std::string& name) {
  // Everything is read and copied before the document changes, so that a file that cannot be
  // read, or too little memory, leaves the document as it was.
  TBitmap loaded = LoadImageFile(name);
  TBitmap source = GuardMemory("открытие файла " + name, [&] {
    loaded.SetPixelFormat(24);
    return loaded;
  });
  FileName = name;
  CurrentImage = std::move(loaded);
  SourceImage = std::move(source);
  Modified = false;
  if (undo_) undo_->Clear();
  ShowBitmap(CurrentImage);
  SelectAll();
}

TJpegOptions JpegOptionsFrom(const TJpegDialogResult& result) {
  std::int32_t quality;
  if (!TryParseInt(result.QualityText, quality)) {
    throw EImvoraError("«" + result.QualityText + "» не является целым числом");
  }
  TJpegOptions options;
  options.Quality = std::clamp(quality, 1, 100);
  options.Progressive = result.Progressive;
  return options;
}

bool TDocument::SaveImageFile(const std::string& name, const TBitmap& bitmap) {
  TJpegOptions options;
  if (IsJpegFileName(name)) {
    TJpegDialogResult result;
    if (!ui_.AskJpegOptions(result)) return false;
    options = JpegOptionsFrom(result);
  }
  WriteImageFile(name, bitmap, options);
  return true;
}

bool TDocument::SaveDocument(const std::string& name) {
  if (!SaveImageFile(name, CurrentImage)) return false;
  Modified = false;
  SourceImage = CurrentImage;
  if (undo_) undo_->MarkSaved();
  return true;
}

bool TDocument::QuerySave() {
  if (!Modified) return true;
  switch (ui_.AskSaveChanges()) {
    case TSaveAnswer::Yes:
      return Save();
    case TSaveAnswer::No:
      return true;
    default:
      return false;
  }
}

bool TDocument::Save() {
  if (!Modified) return true;
  std::string chosen = FileName;
  if (chosen.empty() && !ui_.ChooseSaveName(chosen)) return false;
  const bool written = SaveDocument(chosen);
  FileName = chosen;
  if (written) ui_.FileWritten(chosen);
  return written;
}

void TDocument::SaveAs() {
  std::string chosen = FileName;
  if (!ui_.ChooseSaveName(chosen)) return;
  const bool written = SaveDocument(chosen);
  FileName = chosen;
  if (written) ui_.FileWritten(chosen);
}

void TDocument::SaveViewAs() {
  // The view is another picture than the document's file: no name is proposed.
  std::string chosen;
  if (!ui_.ChooseSaveName(chosen) || !SaveImageFile(chosen, Picture())) return;
  FileName = chosen;
  ui_.FileWritten(chosen);
}

void TDocument::Revert() {
  if (!QuerySave()) return;
  TDocumentState before = TakeState();
  CurrentImage = SourceImage;
  Modified = true;
  if (undo_) undo_->Push({TUndoKind::Revert, std::string(), std::move(before)});
  ShowBitmap(CurrentImage);
}

int DecimalDigits(int value) {
  int digits = 0;
  for (long long power = 1; power <= value; power *= 10) ++digits;
  return digits;
}

void TDocument::ShowBitmap(const TBitmap& bitmap) {
  ++picturesShown_;
  if (ui_.ShowsPicture()) {
    picture_ = bitmap;
    shown_ = &picture_;
  } else {
    shown_ = &bitmap;
  }
  histogram_.reset();
  ui_.HistogramChanged();
  mouseFormat_ = " (%" + std::to_string(DecimalDigits(Picture().Width())) + "d;%" +
                 std::to_string(DecimalDigits(Picture().Height())) + "d): (%3d,%3d,%3d) ";
  ui_.PictureChanged();
}

TBitmap MarkupFalseColour(const TMarkupData& markup) {
  TBitmap colours(markup.Width, markup.Height, 24);
  // A map of one label has nothing to spread: it shows black.
  const long double divisor = markup.RegionCount > 1 ? markup.RegionCount - 1 : 0;
  for (int y = 0; y < markup.Height; ++y) {
    std::uint8_t* p = colours.ScanLine(y);
    for (int x = 0; x < markup.Width; ++x, p += 3) {
      const auto label =
          static_cast<std::uint32_t>(markup.Labels[static_cast<std::size_t>(y) * markup.Width + x]);
      const auto v = divisor > 0 ? static_cast<std::uint64_t>(label / divisor * 16777215.0L) : 0;
      p[0] = v & 255;
      p[1] = (v >> 8) & 255;
      p[2] = (v >> 16) & 255;
    }
  }
  return colours;
}

const HistogramTable& TDocument::PictureHistogram() {
  if (!histogram_) histogram_ = BuildHistogram(shown_);
  return *histogram_;
}

void TDocument::ShowMarkupView() {
  if (!markup_) return;
  // The label map does not change the histogram: it stays that of the picture it covers.
  PictureHistogram();
  if (shown_ != &picture_) {
    picture_ = *shown_;
    shown_ = &picture_;
  }
  const TBitmap colours =
      GuardMemory("показ разметки", [&] { return MarkupFalseColour(*markup_); });
  for (int y = 0; y < picture_.Height(); ++y) {
    std::fill_n(picture_.ScanLine(y), std::size_t{3} * picture_.Width(), 0);
  }
  PasteBitmap(&picture_, SelLeft, SelTop, &colours);
  ui_.PictureChanged();
}

void TDocument::SelectAll() {
  SelLeft = 0;
  SelTop = 0;
  SelRight = Picture().Width() - 1;
  SelBottom = Picture().Height() - 1;
  ui_.SelectionChanged();
}

namespace {

int ClampBound(int value, int extent) {
  value = std::max(value, 0);
  return std::min(value, extent - 1);
}

}  // namespace

void TDocument::SetSelection(int left, int top, int right, int bottom) {
  SelLeft = ClampBound(left, Picture().Width());
  SelRight = ClampBound(right, Picture().Width());
  SelTop = ClampBound(top, Picture().Height());
  SelBottom = ClampBound(bottom, Picture().Height());
  SortPair(SelLeft, SelRight);
  SortPair(SelTop, SelBottom);
  ui_.SelectionChanged();
}

void TDocument::SelectContour(int index) {
  if (!contours_ || index < 0 || index >= static_cast<int>(contours_->size())) return;
  const TCRContourImage& image = *(*contours_)[index];
  SelRight = SelLeft + image.Right;
  SelBottom = SelTop + image.Bottom;
  SelLeft += image.Left;
  SelTop += image.Top;
  ui_.SelectionChanged();
}

int& TDocument::BoundField(TSelectionBound bound) {
  switch (bound) {
    case TSelectionBound::Left:
      return SelLeft;
    case TSelectionBound::Top:
      return SelTop;
    case TSelectionBound::Right:
      return SelRight;
    default:
      return SelBottom;
  }
}

int TDocument::SelectionBound(TSelectionBound bound) const {
  return const_cast<TDocument*>(this)->BoundField(bound);
}

TSelectionEditResult TDocument::TypeSelectionBound(TSelectionBound bound, const std::string& text) {
  TSelectionEditResult result;
  if (dragging_) return result;
  int& value = BoundField(bound);
  std::int32_t typed;
  if (TryParseInt(text, typed)) value = typed;
  const bool horizontal = bound == TSelectionBound::Left || bound == TSelectionBound::Right;
  const int clamped = ClampBound(value, horizontal ? Picture().Width() : Picture().Height());
  result.RewriteEdit = clamped != value;
  value = clamped;
  int& low = horizontal ? SelLeft : SelTop;
  int& high = horizontal ? SelRight : SelBottom;
  if (low > high) {
    std::swap(low, high);
    result.SwappedPartner = true;
  }
  return result;
}

void TDocument::ClampToView(int& x, int& y) const {
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (x >= Picture().Width()) x = Picture().Width() - 1;
  if (y >= Picture().Height()) y = Picture().Height() - 1;
}

void TDocument::MouseDown(int x, int y) {
  if (x < 0 || y < 0 || x >= Picture().Width() || y >= Picture().Height()) return;
  dragging_ = true;
  SelLeft = SelRight = x;
  SelTop = SelBottom = y;
  ui_.SelectionChanged();
}

std::string TDocument::FormatMouseStatus(int x, int y) const {
  const std::uint8_t* p = Picture().ScanLine(y) + 3 * x;
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, mouseFormat_.c_str(), x, y, p[0], p[1], p[2]);
  return buffer;
}

std::string TDocument::MouseMove(int x, int y) {
  if (Picture().Empty()) return std::string();
  ClampToView(x, y);
  const std::string status = FormatMouseStatus(x, y);
  if (dragging_) {
    SelRight = x;
    SelBottom = y;
    ui_.SelectionChanged();
  }
  return status;
}

void TDocument::MouseUp(int x, int y) {
  if (!dragging_) return;
  ClampToView(x, y);
  SelRight = x;
  SelBottom = y;
  SortPair(SelLeft, SelRight);
  SortPair(SelTop, SelBottom);
  dragging_ = false;
  ui_.SelectionChanged();
}

void TDocument::SetMarkup(std::unique_ptr<TMarkupData> markup) {
  ++markupsSet_;
  markup_ = std::move(markup);
}

void TDocument::SetContours(std::unique_ptr<TContourSet> contours) {
  contours_ = std::move(contours);
}

void TDocument::ReportProgress(std::int64_t done, std::int64_t total) {
  if (progress_ == nullptr) return;
  if (applyDepth_ <= 1) {
    outerDone_ = done;
    outerTotal_ = total;
    progress_->Report(done, total);
    return;
  }
  if (outerTotal_ <= 0) return progress_->Report(done, total);
  // A nested call's share: from the outer filter's last report to its next unit.
  constexpr std::int64_t kScale = 1000000;
  const std::int64_t part = total > 0 ? std::min(done, total) * kScale / total : kScale;
  progress_->Report(std::min(outerDone_ * kScale + part, outerTotal_ * kScale),
                    outerTotal_ * kScale);
}

}  // namespace imvora
