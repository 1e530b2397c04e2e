#pragma once

#include <QMainWindow>
#include <QPointF>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/QtControls.h"
#include "core/Document.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollArea;
class QSplitter;

namespace imvora {

class TAboutBox;
class TBackgroundRun;
class TCDRForm;
class THistogram;
class TJProp;
class TSelPaintBox;

// The main window: shows the document, binds the menus, the selection edits and the property
// panel to it and answers its questions with dialogs. The document logic lives in TDocument.
class TMainForm : public QMainWindow, public IDocumentUi {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  TDocument& Document() { return document_; }
  // The windows created after the main window.
  void SetAboutBox(TAboutBox* box) { aboutBox_ = box; }
  void SetHistogramWindow(THistogram* window);
  void SetJpegDialog(TJProp* dialog) { jpegDialog_ = dialog; }
  void SetRecognitionWindow(TCDRForm* window) { recognitionWindow_ = window; }
  // Opens a file as the document, as "Открыть..." does after its dialog (asking first whether
  // to save changes); errors are shown in the error box.
  void OpenFile(const QString& name);
  // The files opened last, newest first (kept in the settings).
  QStringList RecentFiles() const;
  static constexpr int kMaxRecentFiles = 10;
  // Whether a filter or a batch is running on the worker thread.
  bool Busy() const { return busy_; }

  // IDocumentUi.
  TSaveAnswer AskSaveChanges() override;
  bool ChooseSaveName(std::string& name) override;
  void FileWritten(const std::string& name) override;
  bool AskJpegOptions(TJpegDialogResult& result) override;
  void PictureChanged() override;
  void SelectionChanged() override;
  void HistogramChanged() override;
  void FilterSelected() override;

  // Controls under their designer names.
  QPushButton* ApplyButton;
  QWidget* RPanel;
  QWidget* PropPanel;
  QCheckBox* FilCh1CheckBox;
  QCheckBox* FilCh2CheckBox;
  QCheckBox* FilCh3CheckBox;
  QLineEdit* SelLEdit;
  QLineEdit* SelTEdit;
  QLineEdit* SelREdit;
  QLineEdit* SelBEdit;
  QPushButton* SelectAllButton;
  QLabel* MouseStatePanel;
  QLabel* ZoomLabel;  // the zoom in per cent, beside the status line
  QScrollArea* ViewScrollBox;
  TSelPaintBox* SelPaintBox;
  QSplitter* RPSplitter;
  QFileDialog* ImageOpenDialog;
  QFileDialog* ImageSaveDialog;
  QFileDialog* ScriptOpenDialog;

  QAction* OpenAction;
  QAction* SaveAction;
  QAction* SaveAsAction;
  QAction* SaveViewAction;
  QAction* AlphaRestoreAction;
  QAction* RevertAction;
  QAction* RunScriptAction;
  QAction* ExitAction;
  QAction* ShowSourceAction;
  QAction* ShowCurrentAction;
  QAction* ShowMarkupAction;
  QAction* HistogramAction;
  QAction* SelBoundsAction;
  QAction* ApplyFilterAction;
  QAction* KzrAction;
  QAction* AboutAction;
  QAction* UndoAction;
  QAction* RedoAction;
  QAction* ZoomFitAction;
  QAction* Zoom100Action;
  QAction* ZoomInAction;
  QAction* ZoomOutAction;
  QMenu* RecentMenu;

 protected:
  // Modal steps that tests replace: a file dialog (false when cancelled) and the error box.
  virtual bool RunFileDialog(QFileDialog& dialog, QStringList& chosen);
  virtual void ShowError(const QString& message);
  virtual void ShowMessage(const QString& message);
  // Runs a command and catches whatever it throws: the error box shows the exception's own
  // message, or "Неизвестная внутренняя ошибка" for one that carries none.
  void RunCommand(const std::function<void()>& command);
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* CreateLeftPanel();
  QWidget* CreateSelectionBar();
  QWidget* CreateRightPanel();
  void CreateActions();
  void CreateMenus();
  void CreateFilterMenus(QMenu* filtering, QMenu* recognition);
  void CreateFilterAction(std::size_t entry, QMenu* menu);
  // Runs the command under RunCommand whenever the action is triggered.
  void BindCommand(QAction* action, const std::function<void()>& command);
  void CreateDialogs();
  void FollowPropPanelWidth(int width);

  void OpenCommand();
  QString DocumentFile() const;
  // A picture file dialog, started in the document's folder; a save dialog offers `proposed`,
  // or no name.
  bool RunImageDialog(QFileDialog& dialog, QStringList& chosen,
                      const QString& proposed = QString());
  void OpenPath(const QString& name);
  void OpenRecent(const QString& name);
  void RememberRecentFile(const QString& name);
  void RebuildRecentMenu();
  void ApplyCommand();
  // Runs work on the worker thread with progress and "Отмена"; the document's refreshes that
  // the work asks for are carried out once it has ended. A cancel ends quietly; it reaches
  // inside the filters unless `cancelInsideFilters` is false.
  void RunInBackground(const QString& title, const std::function<void(TBackgroundRun&)>& work,
                       bool cancelInsideFilters = true);
  void SetBusy(bool busy);
  void FlushWorkerRefreshes();
  bool OnWorkerThread() const;
  template <class F>
  auto OnGuiThread(F ask);
  // The title, the undo and redo items and the view marks, after every command.
  void RefreshState();
  QString UndoCaption(const TUndoStep& step) const;
  void ShowView(QAction* view, const std::function<void()>& show);
  // Zooms keeping the picture point at `anchor` of the viewport in place; the viewport's
  // centre by default.
  void SetZoom(double zoom, std::optional<QPointF> anchor = std::nullopt);
  void StepZoom(bool in, std::optional<QPointF> anchor = std::nullopt);
  void ZoomToFit();
  void RunScriptCommand();
  void AlphaRestoreCommand();
  void AboutCommand();
  void ShowRecognitionWindow();
  void SelectionEdited(TSelectionBound bound);
  void UpdateSelectionEdits();
  TSaveAnswer AskSaveChangesHere();
  bool ChooseSaveNameHere(std::string& name, const QString& proposed);
  bool AskJpegOptionsHere(TJpegDialogResult& result);
  QLineEdit* EditOf(TSelectionBound bound) const;

  std::unique_ptr<TQtPanel> propPanel_;
  TDocument document_;
  std::vector<int> filterIndices_;
  std::vector<QAction*> filterActions_;
  QActionGroup* viewGroup_ = nullptr;
  QAction* shownView_ = nullptr;    // the view item of the displayed picture
  QAction* pendingView_ = nullptr;  // the view item whose command is showing a picture
  bool busy_ = false;
  bool closeAfterRun_ = false;  // the window was closed during a run
  // The last zoom step: the viewport point it kept, the picture point meant to stay under it,
  // and the scroll position and zoom it left.
  struct TZoomAnchor {
    QPointF At, PicturePoint;
    QPoint Scroll;
    double Zoom = 0;
  };
  TZoomAnchor zoomAnchor_;
  TBackgroundRun* run_ = nullptr;
  // Refreshes asked for from the worker thread, carried out when it has ended.
  bool workerPictureChanged_ = false;
  bool workerSelectionChanged_ = false;
  bool workerHistogramChanged_ = false;
  TAboutBox* aboutBox_ = nullptr;
  THistogram* histogram_ = nullptr;
  TJProp* jpegDialog_ = nullptr;
  TCDRForm* recognitionWindow_ = nullptr;
};

// Qt name filters from a filter list of the form "Description|*.a;*.b|...".
QStringList QtNameFilters(const QString& filter);
// The suffix a save dialog appends for a name filter: the first pattern's extension, or none
// for a pattern that allows every name.
QString DefaultSuffixFor(const QString& nameFilter);
// A file name for the core, in the encoding of the file system.
std::string FileNameOf(const QString& name);

}  // namespace imvora
