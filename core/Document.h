#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/ContourData.h"
#include "core/Filter.h"
#include "core/Filtering.h"
#include "core/ImageFile.h"
#include "core/MarkupData.h"
#include "core/Progress.h"
#include "core/Raster.h"
#include "core/UndoStack.h"

namespace imvora {

enum class TSaveAnswer { Yes, No, Cancel };

// What the JPEG options dialog returns: the quality edit's text and the progressive flag.
struct TJpegDialogResult {
  std::string QualityText;
  bool Progressive = false;
};

// The user-facing side of the document: questions, dialogs and the refresh of the views.
// The GUI answers with real dialogs, the command line and the tests without.
class IDocumentUi {
 public:
  virtual ~IDocumentUi() = default;
  // "Изображение изменено. Сохранить изменения?"
  virtual TSaveAnswer AskSaveChanges() = 0;
  // The save picture dialog, proposing `name` (none when empty); false when cancelled.
  virtual bool ChooseSaveName(std::string& name) = 0;
  // Save, Save as or Save view wrote the file.
  virtual void FileWritten(const std::string&) {}
  // The JPEG options dialog, shown before every JPEG write; false when cancelled.
  virtual bool AskJpegOptions(TJpegDialogResult& result) = 0;
  // The displayed picture was replaced.
  virtual void PictureChanged() {}
  // False for a user interface that draws no picture (the command line): the document then
  // refers to the bitmap it shows instead of copying it.
  virtual bool ShowsPicture() const { return true; }
  // The selection bounds changed and the edits show them.
  virtual void SelectionChanged() {}
  // The displayed picture has a new histogram, which TDocument::PictureHistogram builds when it
  // is first asked for; a view that does not show it never pays for it.
  virtual void HistogramChanged() {}
  // A filter was selected and built its controls.
  virtual void FilterSelected() {}
};

enum class TSelectionBound { Left, Top, Right, Bottom };

// What typing into a selection edit asks of the edits.
struct TSelectionEditResult {
  bool RewriteEdit = false;     // the bound was clamped: the edit shows the clamped value
  bool SwappedPartner = false;  // exchanged with its partner: both edits rewritten, focus moves
};

// The document: current and source image, file name, modified flag, selection, label map,
// contour set, the filter registry and the apply pipeline.
class TDocument : public IFilterHost {
 public:
  explicit TDocument(IDocumentUi& ui);
  ~TDocument() override;
  TDocument(const TDocument&) = delete;
  TDocument& operator=(const TDocument&) = delete;

  // Registry.
  int AddFilter(std::unique_ptr<TImvoraFilter> filter);
  void SetPropertyPanel(TPanel* panel) { propPanel_ = panel; }
  void SelectFilter(int index);
  int FindFilter(const std::string& name) const;
  bool RunFilterCall(const std::string& call) override;
  void ApplyFilter(int index, bool flag1, bool flag2, bool flag3);
  const std::vector<std::unique_ptr<TImvoraFilter>>& Filters() const { return filters_; }
  TImvoraFilter* Filter(int index) const;
  int CurrentFilter() const { return currentFilter_; }

  // Files and document commands.
  void OpenImageFile(const std::string& name);
  bool SaveImageFile(const std::string& name, const TBitmap& bitmap);
  bool SaveDocument(const std::string& name);
  bool QuerySave();
  // Returns false when nothing was written because the user cancelled the choice of a name or
  // the JPEG options: a close, Open, Revert or batch waiting for the save must not go ahead.
  bool Save();
  void SaveAs();
  // Writes the displayed picture under a chosen name, which becomes the file name once written;
  // the images and the modified flag stay as they are.
  void SaveViewAs();
  void Revert();

  // Undo and redo of applies and reverts. Off until turned on (the command line needs none);
  // turning it on or off starts a fresh history, and so does opening a file.
  void SetUndoRecording(bool on);
  const TUndoStack* History() const { return undo_.get(); }
  bool Undo();
  bool Redo();

  // Views. The picture shown is a copy of the bitmap, unless the user interface draws none:
  // then it is the bitmap itself (CurrentImage or SourceImage), which must outlive the view.
  void ShowBitmap(const TBitmap& bitmap);
  void ShowMarkupView();
  const TBitmap& Picture() const { return *shown_; }
  // The histogram of the picture the last ShowBitmap displayed, built once per change.
  const HistogramTable& PictureHistogram();
  const std::string& MouseFormat() const { return mouseFormat_; }

  // Selection.
  void SelectAll();
  void SetSelection(int left, int top, int right, int bottom);
  void SelectContour(int index);
  TSelectionEditResult TypeSelectionBound(TSelectionBound bound, const std::string& text);
  int SelectionBound(TSelectionBound bound) const;

  // Mouse on the view. MouseMove returns the status line for the pixel under the mouse.
  void MouseDown(int x, int y);
  std::string MouseMove(int x, int y);
  void MouseUp(int x, int y);
  bool Dragging() const { return dragging_; }

  // Label map and contour set.
  void SetMarkup(std::unique_ptr<TMarkupData> markup) override;
  const TMarkupData* CurrentMarkup() const override { return markup_.get(); }
  void SetContours(std::unique_ptr<TContourSet> contours) override;
  const TContourSet* Contours() const { return contours_.get(); }

  // Progress of long filter runs; none by default. The calls a filter runs from inside its
  // Apply report within the share of the run that the filter reported last.
  void SetProgress(IProgress* progress) { progress_ = progress; }
  void ReportProgress(std::int64_t done, std::int64_t total) override;

  TBitmap CurrentImage;
  TBitmap SourceImage;
  bool Modified = false;
  std::string FileName;
  int SelLeft = 0, SelTop = 0, SelRight = 0, SelBottom = 0;

 private:
  void RunFilter(TImvoraFilter& filter, bool flag1, bool flag2, bool flag3);
  void ClampToView(int& x, int& y) const;
  int& BoundField(TSelectionBound bound);
  std::string FormatMouseStatus(int x, int y) const;
  void RunPipeline(TImvoraFilter& filter, bool flag1, bool flag2, bool flag3);
  TDocumentState CopyState() const;
  TDocumentState TakeState();
  void PutState(TDocumentState state);
  void RestoreAfterFailure(TDocumentState before, int picturesShownBefore);

  IDocumentUi& ui_;
  TPanel* propPanel_ = nullptr;
  std::vector<std::unique_ptr<TImvoraFilter>> filters_;
  int currentFilter_ = -1;
  TBitmap picture_;
  const TBitmap* shown_ = &picture_;  // picture_, or the bitmap shown when nothing is drawn
  std::unique_ptr<HistogramTable> histogram_;  // none until asked for after a change
  std::string mouseFormat_ = " (%d;%d): (%03d, %03d, %03d) ";
  bool dragging_ = false;
  // Shared with the undo states; never changed in place.
  std::shared_ptr<const TMarkupData> markup_;
  std::uint64_t markupsSet_ = 0;  // label maps a filter has handed over
  std::shared_ptr<TContourSet> contours_;
  IProgress* progress_ = nullptr;
  std::unique_ptr<TUndoStack> undo_;
  int applyDepth_ = 0;     // applies running: more than one while a filter runs filter calls
  int picturesShown_ = 0;  // counts ShowBitmap calls
  // The last report of the outermost filter, within which the nested calls report.
  std::int64_t outerDone_ = 0, outerTotal_ = 0;
};

// Number of decimal digits of a non-negative value; 0 has none.
int DecimalDigits(int value);
// The false-colour picture of a label map: labels spread from black to white.
TBitmap MarkupFalseColour(const TMarkupData& markup);
// The JPEG options of the dialog's result: the quality text must hold an integer, which is
// limited to 1 ... 100.
TJpegOptions JpegOptionsFrom(const TJpegDialogResult& result);

}  // namespace imvora
