// vx58420-host: the evaluation host on the desktop.
#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "hosts/desktop/main_window.h"
#include "instruments/meter.h"
#include "version.h"

namespace {

int Fail(const std::string& text, int code) {
  std::cerr << "vx58420-host: " << text << "\n";
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer started;
  started.start();
  vx::DesktopOptions o;
  QString shot_file;
  bool measure_startup = false;
  {
    // The options are read before the GUI exists: help, version and a bad option need no
    // display, and an error ends the program with its own name.
    QCoreApplication pre(argc, argv);
    QCoreApplication::setApplicationName("vx58420-host");
    QCoreApplication::setApplicationVersion(VX_VERSION);
    QCommandLineParser p;
    p.setApplicationDescription("vx58420 evaluation host: the calibration page on screen");
    QCommandLineOption help = p.addHelpOption();
    QCommandLineOption version = p.addVersionOption();
    QCommandLineOption plugin("plugin", "Plug-in library to load.", "path");
    QCommandLineOption sim("sim", "Simulator state file.", "state.json");
    QCommandLineOption bus("bus", "Linux SMBus: /dev/i2c-N or N.", "device");
    QCommandLineOption address("address", "7-bit device address (default 0x0B).", "address");
    QCommandLineOption pec("pec", "Packet error checking on the bus.");
    QCommandLineOption config("config-dir", "Folder of Config.ini.", "dir");
    QCommandLineOption info("target-info", "TargetInfo (default 800.1.02).", "text");
    QCommandLineOption shot("screenshot", "Save the window as PNG after the first readings, quit.",
                            "file.png");
    QCommandLineOption records(
        "records", "Where run records go: an SQLite file, postgresql://..., or none.", "where");
    QCommandLineOption station("station", "The station's name (default: the host name).", "name");
    QCommandLineOption unit("unit", "The unit's serial number or label.", "unit");
    QCommandLineOption oper("operator", "Who runs it (default: the login name).", "name");
    QCommandLineOption meter("meter", "A bench meter through libsigrok: DRIVER:KEY=VALUE...",
                             "meter");
    QCommandLineOption limits(
        "limits", "JSON file of the largest residual each reading may keep after a calibration.",
        "file");
    QCommandLineOption startup("measure-startup",
                               "Print the time to the first readings painted, then quit.");
    p.addOptions({plugin, sim, bus, address, pec, config, info, shot, startup, records, station,
                  unit, oper, meter, limits});
    if (!p.parse(QCoreApplication::arguments())) return Fail(p.errorText().toStdString(), 2);
    if (p.isSet(help)) {
      std::cout << p.helpText().toStdString();
      return 0;
    }
    if (p.isSet(version)) {
      std::cout << "vx58420-host " << VX_VERSION << "\n";
      return 0;
    }
    o.plugin = p.value(plugin).toStdString();
    o.device.sim_state = p.value(sim).toStdString();
    if (p.isSet(bus)) {
      o.device.use_sim = false;
      o.device.bus = p.value(bus).toStdString();
    }
    if (p.isSet(address)) {
      bool ok = false;
      o.device.address7 = p.value(address).toInt(&ok, 0);
      if (!ok || o.device.address7 < 0x03 || o.device.address7 > 0x77) {
        return Fail("--address takes a 7-bit address, 0x03 to 0x77", 2);
      }
    }
    o.device.pec = p.isSet(pec);
    o.config_dir = p.value(config).toStdString();
    if (p.isSet(info)) o.target_info = p.value(info).toStdString();
    o.station.records = p.value(records).toStdString();
    o.station.station = p.value(station).toStdString();
    o.station.unit = p.value(unit).toStdString();
    o.station.operator_name = p.value(oper).toStdString();
    o.meter = p.value(meter).toStdString();
    if (p.isSet(limits)) {
      try {
        o.limits = vx::LoadLimits(p.value(limits).toStdString());
      } catch (const std::invalid_argument& e) {
        return Fail(e.what(), 2);
      }
    }
    shot_file = p.value(shot);
    measure_startup = p.isSet(startup);
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("vx58420-host");
  const bool once = !shot_file.isEmpty() || measure_startup;

  vx::MainWindow w(o);
  std::string error;
  if (!w.LoadPlugin(error)) return Fail(error, 4);
  w.show();
  if (!w.ConnectAndShow(error)) {
    // On screen the device bar lets the user choose again; a one-shot run has nothing to show.
    if (once) return Fail(error, o.device.use_sim ? 3 : 4);
    std::cerr << "vx58420-host: " << error << "\n";
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
          code = Fail("cannot write the screenshot " + shot_file.toStdString(), 3);
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
