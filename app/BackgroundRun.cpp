#include "app/BackgroundRun.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <exception>
#include <thread>

namespace imvora {
namespace {

constexpr int kRefreshMs = 50;
QPointer<QProgressDialog> gActiveDialog;

}  // namespace

TBackgroundRun::TBackgroundRun(QWidget* window, const QString& title)
    : window_(window), title_(title) {}

QWidget* TBackgroundRun::ActiveDialog() {
  return gActiveDialog.data();
}

void TBackgroundRun::Report(std::int64_t done, std::int64_t total) {
  if (cancelled_.load()) throw ECancelled();
  SetShare(done, total);
}

void TBackgroundRun::SetShare(std::int64_t done, std::int64_t total) {
  const std::int64_t permille =
      total > 0 ? std::clamp<std::int64_t>(done * 1000 / total, 0, 1000) : 0;
  permille_.store(static_cast<int>(permille));
}

void TBackgroundRun::SetLabel(const QString& label) {
  std::lock_guard<std::mutex> lock(labelMutex_);
  label_ = label;
}

void TBackgroundRun::Run(const std::function<void()>& work) {
  QProgressDialog dialog(window_);
  dialog.setWindowTitle(title_);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setCancelButtonText("Отмена");
  dialog.setRange(0, 1000);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  // Shown by the timer below, never by Qt's own estimate.
  dialog.setMinimumDuration(INT_MAX);
  QObject::connect(&dialog, &QProgressDialog::canceled, [this] { Cancel(); });
  QTimer showTimer;
  showTimer.setSingleShot(true);
  QObject::connect(&showTimer, &QTimer::timeout, [&dialog, this] {
    if (!Cancelled()) dialog.show();
  });
  QTimer refreshTimer;
  QObject::connect(&refreshTimer, &QTimer::timeout, [&dialog, this] {
    if (!dialog.isVisible()) return;
    std::lock_guard<std::mutex> lock(labelMutex_);
    if (dialog.labelText() != label_) dialog.setLabelText(label_);
    dialog.setValue(permille_.load());
  });
  gActiveDialog = &dialog;
  QApplication::setOverrideCursor(Qt::BusyCursor);

  QEventLoop loop;
  std::exception_ptr error;
  std::thread worker([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  showTimer.start(kDialogDelayMs);
  refreshTimer.start(kRefreshMs);
  loop.exec();
  worker.join();

  QApplication::restoreOverrideCursor();
  gActiveDialog = nullptr;
  if (error) std::rethrow_exception(error);
}

}  // namespace imvora
