// vx58420-host: the evaluation host on the desktop.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <iostream>

#include "hosts/desktop/main_window.h"

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  QApplication app(argc, argv);
  QApplication::setApplicationName("vx58420Cal");
  QCommandLineParser p;
  p.setApplicationDescription("vx58420 evaluation host: the calibration page on screen");
  p.addHelpOption();
  QCommandLineOption plugin("plugin", "Plug-in library to load.", "path");
  QCommandLineOption sim("sim", "Simulator state file.", "state.json");
  QCommandLineOption bus("bus", "Linux SMBus: /dev/i2c-N or N.", "device");
  QCommandLineOption address("address", "7-bit device address (default 0x0B).", "address");
  QCommandLineOption pec("pec", "Packet error checking on the bus.");
  QCommandLineOption config("config-dir", "Folder of Config.ini.", "dir");
  QCommandLineOption info("target-info", "TargetInfo (default 800.1.02).", "text");
  QCommandLineOption shot("screenshot", "Save the page as PNG after the first readings, quit.",
                          "file.png");
  QCommandLineOption startup("measure-startup",
                             "Print the time to the first readings painted, then quit.");
  p.addOptions({plugin, sim, bus, address, pec, config, info, shot, startup});
  p.process(app);

  vx::DesktopOptions o;
  o.plugin = p.value(plugin).toStdString();
  o.sim_state = p.value(sim).toStdString();
  if (p.isSet(bus)) {
    o.use_bus = true;
    o.bus = p.value(bus).toStdString();
  }
  if (p.isSet(address)) {
    bool ok = false;
    o.address7 = p.value(address).toInt(&ok, 0);
    if (!ok || o.address7 < 0x03 || o.address7 > 0x77) {
      std::cerr << "vx58420-host: --address takes a 7-bit address\n";
      return 2;
    }
  }
  o.pec = p.isSet(pec);
  o.config_dir = p.value(config).toStdString();
  if (p.isSet(info)) o.target_info = p.value(info).toStdString();

  vx::MainWindow w(o);
  std::string error;
  if (!w.LoadPlugin(error)) {
    std::cerr << "vx58420-host: " << error << "\n";
    return 4;
  }
  w.show();
  if (!w.ConnectAndShow(error)) std::cerr << "vx58420-host: " << error << "\n";

  if (p.isSet(shot) || p.isSet(startup)) {
    // After the first scan tick has filled the boxes and the page has painted.
    auto* first = new QObject(&w);
    w.cal()->Form().AddObserver([&, first](const vx::Control& c) {
      if (c.Key() != "txtCalMeasCurrent" || !first->parent()) return;
      first->setParent(nullptr);
      delete first;
      QTimer::singleShot(0, &w, [&] {
        w.page()->repaint();
        if (p.isSet(startup)) {
          std::cout << "first readings painted after " << started.elapsed() << " ms\n";
        }
        if (p.isSet(shot)) w.page()->grab().save(p.value(shot));
        QApplication::quit();
      });
    });
  }
  return QApplication::exec();
}
