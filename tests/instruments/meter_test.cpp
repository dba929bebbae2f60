// References from a bench meter: libsigrok's own scpi-dmm driver against a protocol-faithful
// meter on the loopback interface, and the guided flow of the command line end to end.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "../cli/process.h"
#include "../cli/sim_folder.h"
#include "hosts/station/references.h"
#include "instruments/meter.h"
#include "platform/virtual_platform.h"
#include "records/store.h"
#include "sim/sim_device.h"
#include "sim/sim_meter.h"
#include "sim/sim_state.h"

namespace vx::testing {

using instruments::Meter;
using instruments::MeterError;

namespace {

// Takes readings from the meter until the reference settles (or the meter fails).
instruments::Settled Take(Meter& m, const std::string& label, int window = 5) {
  instruments::Settler settler(*MeterExpectation(*records::RowLabelled(label)), window, 20);
  for (;;) {
    if (auto s = settler.Add(m.Next(std::chrono::seconds(10)))) return *s;
  }
}

// Readings asked for before the meter's setting changed may still be on their way: the probes
// are moved, then the queue is cleared.
void Moved(Meter& m) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  m.Discard();
}

std::string Failure(const std::function<void()>& f) {
  try {
    f();
  } catch (const MeterError& e) {
    return e.what();
  }
  return "no failure";
}

}  // namespace

TEST(Meter, SettledReadingsOverLibsigrokBecomeThePagesNumbers) {
  sim::SimMeter dmm;
  int n = 0;
  // 10 mV of swing while the probes are placed, then 2.0503 V within 0.1 mV.
  dmm.SetReadings([&] {
    ++n;
    return 2.0503 + (n % 2 ? 1 : -1) * (n < 8 ? 0.01 : 0.00005);
  });
  auto meter = Meter::Open(dmm.Address());
  EXPECT_EQ(meter->identity().vendor, "Agilent Technologies");
  EXPECT_EQ(meter->identity().model, "34405A");
  EXPECT_EQ(meter->identity().serial, "MY53100042");
  auto s = Take(*meter, "Capacitor 1");
  EXPECT_EQ(s.text, "2050");  // mV, whole
  EXPECT_NEAR(s.spread, 0.1, 0.01);
  EXPECT_GT(s.readings.size(), 8u);  // not before the swing has ended
  dmm.SetFunction("TEMP");
  dmm.SetReadings([] { return 25.34; });
  Moved(*meter);
  EXPECT_EQ(Take(*meter, "actual temperature").text, "25.3");  // degrees C, tenths
}

TEST(Meter, AWrongFunctionADroppedLinkAndNoSettlingStopTheStep) {
  sim::SimMeter dmm;
  dmm.SetReadings([] { return 2.05; });
  dmm.SetFunction("VOLT:AC");
  auto meter = Meter::Open(dmm.Address());
  EXPECT_EQ(Failure([&] { Take(*meter, "Capacitor 1"); }),
            "the meter measures AC voltage, not DC voltage: set it to DC voltage");
  dmm.SetFunction("VOLT");
  int n = 0;
  dmm.SetReadings([&] { return 2.0 + 0.01 * (n++ % 2); });  // 10 mV of noise forever
  Moved(*meter);
  std::string noisy = Failure([&] { Take(*meter, "Capacitor 1"); });
  EXPECT_NE(noisy.find("did not settle"), std::string::npos) << noisy;
  instruments::Settler ten({"voltage", "DC", "V", 1000, 0, 0.1, 0}, 5, 10);  // the last of ten
  for (int i = 0; i < 9; ++i)
    EXPECT_FALSE(ten.Add({2.0 + 0.01 * (i % 2), "voltage", "DC", "V"}));
  EXPECT_THROW(ten.Add({2.01, "voltage", "DC", "V"}), MeterError);
  dmm.Drop();  // unplugged: the readings stop, the step ends with that said
  Moved(*meter);
  std::string gone = Failure([&] {
    for (;;)
      meter->Next(std::chrono::seconds(1));
  });
  EXPECT_TRUE(gone == "the meter gave no reading for 1 s" ||
              gone == "the meter stopped answering (disconnected?)")
      << gone;
  EXPECT_NE(Failure([] { Meter::Open("scpi-dmm:conn=tcp-raw/127.0.0.1/1"); }).find("no meter"),
            std::string::npos);
}

// The bench meter listens on this machine only.
TEST(Meter, TheBenchMeterListensHereOnly) {
  int port = 0;
  const int fd = sim::ListenOnLoopback(1, port);
  sockaddr_in a{};
  socklen_t len = sizeof a;
  ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  EXPECT_EQ(ntohl(a.sin_addr.s_addr), INADDR_LOOPBACK);
  close(fd);
}

// The bench meter as a program: its address first, then the true voltage where the fixture's
// file says the probes are, off by the meter's error once settled; wrong arguments are refused
// and a signal ends it.
TEST(Meter, TheBenchMeterProgram) {
  TempDir dir;
  const std::string at = dir.Write("at", "actual system voltage\n");
  const std::string program = VX_SIM_METER_PATH;
  for (const char* args : {"", "--error 60% P", "--error 1 P", "P Q", "--bogus P",
                           "--state /nonexistent P", "--error"}) {
    const int status = std::system((program + " " + args + " >/dev/null 2>&1").c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2) << args;
  }
  FILE* meter_program = popen(("exec " + program + " --error 1% " + at).c_str(), "r");
  char address[256] = {};
  ASSERT_TRUE(std::fgets(address, sizeof address, meter_program));
  auto meter = Meter::Open(std::string(address, std::strcspn(address, "\n")));
  double v = 0;
  for (int i = 0; i < 10; ++i)
    v = meter->Next(std::chrono::seconds(5)).value;
  EXPECT_NEAR(v, sim::MiscalibratedState(5).truth.system_mV * 1.01 / 1000, 1e-6);
  meter.reset();
  std::system(("pkill -TERM -f '" + at + "$'").c_str());
  EXPECT_EQ(pclose(meter_program), 0);  // ended by the signal, with exit 0
}

// The guided flow: a miscalibrated simulated device whose true tap voltages the meter reports
// at each probe position (a fixture program names the position); afterwards the device reads
// the truth to 1 mV, and the record names the meter and holds its readings.
TEST(MeterFlow, GuidedCalibrationFromTheMeterReadsTrueAfterwards) {
  SimFolder f;
  auto& [dir, state] = f;
  sim::SimState truth = sim::LoadStateFile(state);
  std::string position = dir.path() + "/position";
  std::string fixture = dir.Write("fixture.sh", "#!/bin/sh\necho \"$1\" > " + position + "\n");
  chmod(fixture.c_str(), 0755);
  sim::SimMeter dmm;
  dmm.SetReadings(sim::FixtureReadings(position, truth.truth));
  auto r = Process(dir.path(), "--json --fast --sim " + state + " --save-state " + state +
                                   " --unit M1 --meter " + dmm.Address() + " --fixture " + fixture +
                                   " calibrate --voltages meter --system-voltage meter --yes")
               .Wait();
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  VirtualPlatform p;
  sim::SimDevice after(p, sim::LoadStateFile(state));
  for (int k = 0; k < 5; ++k) {
    double tap = 0;
    for (int i = 0; i <= k; ++i)
      tap += truth.truth.cell_mV[static_cast<std::size_t>(i)];
    EXPECT_NEAR(after.TapReading(k), tap, 1) << k;
  }
  EXPECT_NEAR(after.SystemReading(), truth.truth.system_mV, 1);
  auto record =
      records::OpenStore(dir.path() + "/vx58420/records.sqlite")->List({"M1", "", "", "", 0}).at(0);
  ASSERT_EQ(record.references.size(), 6u);
  const auto& source = record.references[0].source;
  EXPECT_EQ(source["meter"]["model"], "34405A");
  EXPECT_EQ(source["meter"]["serial"], "MY53100042");
  EXPECT_GE(source["readings"].size(), 5u);
  EXPECT_EQ(source["unit"], "mV");

  // The list names the meter, and the correction the run applied: the meter's reference over
  // the reading before it.
  auto listed = Process(dir.path(), "--json records list --unit M1").Wait().Json();
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["meter"], "Agilent Technologies 34405A MY53100042");
  EXPECT_NEAR(listed[0]["corrections"]["Capacitor 1 through 5"].get<double>(),
              std::stod(record.references.at(4).value) /
                  record.readings_before["capacitors_mV"][4].get<double>(),
              1e-6);
}

}  // namespace vx::testing
