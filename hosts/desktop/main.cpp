// vx58420-host: the evaluation host on the desktop.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "hosts/desktop/host_args.h"
#include "instruments/meter.h"

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  vx::HostArgs args;
  if (int code = vx::ParseHostArgs(argc, argv, args); code != vx::kGoOn) return code;
  const vx::DesktopOptions& o = args.o;
  const QString& shot_file = args.shot_file;
  const bool measure_startup = args.measure_startup;
  QApplication app(argc, argv);
  QApplication::setApplicationName("vx58420-host");
  const bool once = !shot_file.isEmpty() || measure_startup;

  vx::MainWindow w(o);
  std::string error;
  if (!w.LoadPlugin(error)) return vx::Fail(error, 4);
  w.show();
  if (!w.ConnectAndShow(error)) {
    // On screen the device bar lets the user choose again; a one-shot run has nothing to show.
    if (once) return vx::Fail(error, o.device.use_sim ? 3 : 4);
    vx::Fail(error, 0);
  }

  int code = 0;
  if (once) {
    // After the first scan tick has filled the boxes and the page has painted.
    auto first = std::make_shared<bool>(true);
    w.cal()->Form().AddObserver([&, first](const vx::Control& c) {
      if (c.Key() != "txtCalMeasCurrent" || !*first) return;
      *first = false;
      QTimer::singleShot(0, &w, [&] {
        w.repaint();
        if (measure_startup) {
          std::cout << "first readings painted after " << started.elapsed() << " ms\n";
        }
        if (!shot_file.isEmpty() && !w.grab().save(shot_file)) {
          code = vx::Fail("cannot write the screenshot " + shot_file.toStdString(), 3);
        }
        QApplication::quit();
      });
    });
  }
  int r = QApplication::exec();
  // A meter that never answered may still be in libsigrok's hands: end without destructors.
  if (vx::instruments::MeterLeftBehind()) std::_Exit(code != 0 ? code : r);
  return code != 0 ? code : r;
}
