#include "hosts/desktop/host_args.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <iostream>
#include <vector>

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
  // The station's options, from the table the command line registers from too.
  std::vector<QCommandLineOption> station;
  for (const StationOption& so : StationOptions()) {
    const QString name = QString(so.name).mid(2);
    station.emplace_back(so.value ? QCommandLineOption(name, so.help, so.value)
                                  : QCommandLineOption(name, so.help));
    p.addOption(station.back());
  }
  QCommandLineOption shot("screenshot", "Save the window as PNG after the first readings, quit.",
                          "file.png");
  QCommandLineOption startup("measure-startup",
                             "Print the time to the first readings painted, then quit.");
  p.addOptions({shot, startup});
  if (!p.parse(QCoreApplication::arguments())) return Fail(p.errorText().toStdString(), 2);
  if (p.isSet(help)) {
    std::cout << p.helpText().toStdString();
    return kExitNow;
  }
  if (p.isSet(version)) {
    std::cout << "vx58420-host " << VX_VERSION << "\n";
    return kExitNow;
  }
  for (std::size_t i = 0; i < station.size(); ++i) {
    if (!p.isSet(station[i])) continue;
    const StationOption& so = StationOptions()[i];
    const std::string why =
        so.set(args.o, so.value ? p.value(station[i]).toStdString() : std::string("1"));
    if (!why.empty()) return Fail(std::string(so.name) + ": " + why, 2);
  }
  args.shot_file = p.value(shot);
  args.measure_startup = p.isSet(startup);
  return kGoOn;
}

}  // namespace vx
