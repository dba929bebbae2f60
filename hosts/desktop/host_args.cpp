#include "hosts/desktop/host_args.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>

#include "version.h"

namespace vx {

int Fail(const std::string& text, int code) {
  std::cerr << "vx58420-host: " << text << "\n";
  return code;
}

int ParseHostArgs(int argc, char** argv, HostArgs& args) {
  constexpr int kExitNow = 0;
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
  p.addOptions({plugin, sim, bus, address, pec, config, info, shot, startup, records, station, unit,
                oper, meter, limits});
  if (!p.parse(QCoreApplication::arguments())) return Fail(p.errorText().toStdString(), 2);
  if (p.isSet(help)) {
    std::cout << p.helpText().toStdString();
    return kExitNow;
  }
  if (p.isSet(version)) {
    std::cout << "vx58420-host " << VX_VERSION << "\n";
    return kExitNow;
  }
  args.o.plugin = p.value(plugin).toStdString();
  args.o.device.sim_state = p.value(sim).toStdString();
  if (p.isSet(bus)) {
    args.o.device.use_sim = false;
    args.o.device.bus = p.value(bus).toStdString();
  }
  if (p.isSet(address)) {
    bool ok = false;
    args.o.device.address7 = p.value(address).toInt(&ok, 0);
    if (!ok || args.o.device.address7 < 0x03 || args.o.device.address7 > 0x77) {
      return Fail("--address takes a 7-bit address, 0x03 to 0x77", 2);
    }
  }
  args.o.device.pec = p.isSet(pec);
  args.o.config_dir = p.value(config).toStdString();
  if (p.isSet(info)) args.o.target_info = p.value(info).toStdString();
  args.o.station.records = p.value(records).toStdString();
  args.o.station.station = p.value(station).toStdString();
  args.o.station.unit = p.value(unit).toStdString();
  args.o.station.operator_name = p.value(oper).toStdString();
  args.o.meter = p.value(meter).toStdString();
  if (p.isSet(limits)) {
    try {
      args.o.limits = vx::LoadLimits(p.value(limits).toStdString());
    } catch (const std::invalid_argument& e) {
      return Fail(e.what(), 2);
    }
  }
  args.shot_file = p.value(shot);
  args.measure_startup = p.isSet(startup);
  return kGoOn;
}

}  // namespace vx
