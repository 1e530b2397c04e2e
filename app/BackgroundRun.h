#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

#include "core/Progress.h"

class QWidget;

namespace imvora {

// Runs long document work on a worker thread while the GUI thread goes on handling events:
// a busy cursor at once, after half a second a window-modal progress dialog with "Отмена".
// Progress and cancellation reach the work through Report, called on the worker thread.
class TBackgroundRun : public IProgress {
 public:
  static constexpr int kDialogDelayMs = 500;

  TBackgroundRun(QWidget* window, const QString& title);

  // Runs the work and returns when it has ended, rethrowing what it threw (ECancelled too).
  void Run(const std::function<void()>& work);
  // Worker thread: records the progress; throws ECancelled once the user asked to stop.
  void Report(std::int64_t done, std::int64_t total) override;
  // Any thread: the share done, without checking for a cancel.
  void SetShare(std::int64_t done, std::int64_t total);
  // Any thread: the caption above the bar.
  void SetLabel(const QString& label);
  // Asks the work to stop at its next report.
  void Cancel() { cancelled_.store(true); }
  bool Cancelled() const { return cancelled_.load(); }

  // The dialog of the run in progress, if shown (for tests).
  static QWidget* ActiveDialog();

 private:
  QWidget* window_;
  QString title_;
  std::atomic<bool> cancelled_{false};
  std::atomic<int> permille_{0};
  std::mutex labelMutex_;
  QString label_;
};

}  // namespace imvora
