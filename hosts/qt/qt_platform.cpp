#include "hosts/qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>
namespace vx {

namespace {

QtMessageHandler g_next_handler = nullptr;
void QuietSizeHints(QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
  if (msg.contains("does not support propagateSizeHints")) return;
  if (g_next_handler) {
    g_next_handler(type, ctx, msg);
  } else {
    qt_message_output(type, ctx, msg);
  }
}

}  // namespace

void QtPlatform::QuietenSizeHints() {
  static const bool quiet = [] {
    g_next_handler = qInstallMessageHandler(QuietSizeHints);
    return true;
  }();
  (void)quiet;
}

void QtPlatform::ProcessEventsUntil(TimePoint deadline) {
  Depth depth(depth_);
  if (clock_.is_virtual()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    clock_.SleepUntil(deadline);
    interrupt.RaiseOnce();
    return;
  }
  TimePoint now = Now();
  if (deadline <= now) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    interrupt.RaiseOnce();  // the wait is over: a stop asked for during it takes effect
    return;
  }
  // A precise single-shot timer guarantees a wake-up at the deadline; until then the thread
  // sleeps in the event dispatcher and wakes only for events (repaints, input, timers).
  auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
  QTimer wake;
  wake.setSingleShot(true);
  wake.setTimerType(Qt::PreciseTimer);
  wake.start(static_cast<int>(std::min<std::int64_t>(remaining.count(), 1 << 30)));
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  if (Now() >= deadline) interrupt.RaiseOnce();
}

void QtPlatform::Pause(Duration d) {
  Depth depth(depth_);
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  if (ms <= 0) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return;
  }
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(ms), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec(QEventLoop::AllEvents);
}

void QtPlatform::Yield() {
  Depth depth(depth_);
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtPlatform::Sleep(Duration d) {
  Depth depth(depth_);
  clock_.SleepFor(d);
  interrupt.RaiseOnce();
}

Answer QtPlatform::MessageBox(const std::string& text, const std::string& caption,
                              Buttons buttons) {
  Depth depth(depth_);
  if (on_message) on_message(text);
  QMessageBox box(
      QMessageBox::NoIcon, QString::fromStdString(caption.empty() ? kDefaultTitle : caption),
      QString::fromStdString(text),
      buttons == Buttons::kOk ? QMessageBox::Ok : (QMessageBox::Ok | QMessageBox::Cancel),
      QApplication::activeWindow());
  box.setDefaultButton(QMessageBox::Ok);
  // A busy cursor must not cover the question the user has to answer.
  bool was_busy = busy_;
  if (was_busy) SetBusyCursor(false);
  int r = box.exec();
  if (was_busy) SetBusyCursor(true);
  return r == QMessageBox::Cancel ? Answer::kCancel : Answer::kOk;
}

void QtPlatform::SetBusyCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else {
    QApplication::restoreOverrideCursor();
  }
}

}  // namespace vx
