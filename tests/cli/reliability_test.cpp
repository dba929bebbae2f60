// Nothing outside the program can hold it: a silent meter or database, a fixture that never
// ends, a reader that goes away, a full disk, another program on the device. Each wait ends at
// its limit or within a second of a signal, and a stop leaves the device safe. Every test runs
// with a time limit (ctest), so a hang fails the suite instead of stalling it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/virtual_platform.h"
#include "process.h"
#include "silent_server.h"
#include "sim/sim_device.h"
#include "sim/sim_meter.h"
#include "sim_folder.h"

namespace vx::testing {

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// Signals the process after `after`; it ends within `limit` seconds of the signal.
Result Stopped(Process& p, int sig, std::chrono::milliseconds after, double limit = 1.0) {
  std::this_thread::sleep_for(after);
  kill(p.pid(), sig);
  const auto t = Clock::now();
  Result r = p.Wait();
  EXPECT_LT(Since(t), limit);
  return r;
}

}  // namespace

class Reliability : public ::testing::Test, protected SimFolder {
 protected:
  Result Run(const std::string& args) { return Process(dir.path(), args).Wait(); }
  int Shell(const std::string& script) {
    return std::system(("cd " + dir.path() + " && timeout 60 sh -c '" + script + "'").c_str());
  }
};

TEST_F(Reliability, ASilentMeterEndsAtItsLimitOrOnASignal) {
  sim::SimMeter dmm;
  dmm.FallSilentAfter(0);  // not even its identification
  const std::string flow = "--fast --sim " + state + " --meter " + dmm.Address() +
                           " calibrate --yes --system-voltage meter";
  auto t = Clock::now();
  EXPECT_TRUE(Ended(Run("--meter-timeout 1 " + flow), 4, "no answer from the meter"));
  EXPECT_LT(Since(t), 3.0);
  Process waiting(dir.path(), flow);
  EXPECT_EQ(Stopped(waiting, SIGINT, std::chrono::milliseconds(500)).code, 130);
  // A meter that falls silent in the middle of a reference.
  sim::SimMeter fading;
  fading.SetReadings([] { return 12.255; });
  fading.FallSilentAfter(3);
  t = Clock::now();
  EXPECT_TRUE(Ended(Run("--fast --sim " + state + " --meter " + fading.Address() +
                        " --meter-timeout 1 calibrate --yes --system-voltage meter"),
                    4, "the meter gave no reading for 1 s"));
  EXPECT_LT(Since(t), 4.0);
}

TEST_F(Reliability, ASilentDatabaseKeepsTheRecordInAFile) {
  Silent db;
  const std::string where = "postgresql://u@127.0.0.1:" + std::to_string(db.port()) + "/records";
  auto t = Clock::now();
  auto r = Run("--records " + where + " --records-timeout 1 --fast --sim " + state +
               " calibrate --temperature 25");
  EXPECT_TRUE(Ended(r, 0, "did not answer within 1 s"));
  EXPECT_TRUE(r.Says("it was written to " + dir.path() + "/vx58420/unstored-record-"));
  EXPECT_LT(Since(t), 4.0);
  Process waiting(dir.path(),
                  "--records " + where + " --fast --sim " + state + " calibrate --temperature 25");
  r = Stopped(waiting, SIGTERM, std::chrono::milliseconds(500));
  EXPECT_TRUE(Ended(r, 130, "it was written to"));
  EXPECT_FALSE(r.Says("further signal")) << r.err;  // one signal, none further
}

// Another station in the middle of a write to the same SQLite file: the turn is waited for
// within the limit and not past a signal, the record kept in a file meanwhile.
TEST_F(Reliability, AStationThatKeepsTheTurnToWriteHoldsNobody) {
  const std::string where = Path("r.sqlite");
  const std::string run = "--records " + where + " --fast --sim " + state + " calibrate";
  ASSERT_EQ(Run(run + " --temperature 25").code, 0);
  const int fd = ::open((where + "-writers").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  struct flock fl {};
  fl.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &fl), 0);
  auto t = Clock::now();
  auto r = Run("--records-timeout 1 " + run + " --temperature 25");
  EXPECT_TRUE(Ended(r, 0, "another station did not finish writing within 1 s"));
  EXPECT_TRUE(r.Says("it was written to")) << r.err;
  EXPECT_GT(Since(t), 0.9);
  EXPECT_LT(Since(t), 4.0);
  Process waiting(dir.path(), run + " --temperature 25");
  // Well inside its 10 s wait for the turn, and past the start of a program slowed by a
  // sanitizer on a busy machine (its signal handler is not there from the first instant).
  r = Stopped(waiting, SIGINT, std::chrono::milliseconds(2000));
  EXPECT_TRUE(Ended(r, 130, "stopped while another station was writing"));
  Process after(dir.path(), run + " --temperature 25");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::close(fd);  // the turn comes as the other station ends
  r = after.Wait();
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(r.Says("written to")) << r.err;
}

// A reader that goes away, a file size limit, a full disk: the run stops at its next safe point
// as on a signal, the device left safe, exit 3.
TEST_F(Reliability, AnOutputThatFailsStopsTheRunSafely) {
  const std::string run = std::string(VX_CLI_PATH) + " --sim " + state + " --save-state " + state +
                          " calibrate --voltages 2050,4160,6240,8360,10455 --current -500";
  EXPECT_EQ(Shell("(" + run + " 2>&1; echo $? > rc) | head -c 1 >/dev/null"), 0);
  EXPECT_EQ(ReadFile(Path("rc")), "3\n");
  EXPECT_FALSE(sim::LoadStateFile(state).fets_on);
  EXPECT_EQ(
      Shell("ulimit -f 8; exec " + std::string(VX_CLI_PATH) + " --sim " + state + " --save-state " +
            state + " --trace t.jsonl calibrate --current -500 >/dev/null"),
      3 << 8);
  for (const auto& line : JsonLines(Path("t.jsonl")))
    EXPECT_TRUE(line.contains("status")) << line;  // every line whole
  EXPECT_FALSE(sim::LoadStateFile(state).fets_on);
  // With the standard input closed the trace is the program's first file, and still written.
  EXPECT_EQ(Shell(std::string(VX_CLI_PATH) + " --fast --records none --trace t0.jsonl read <&-"),
            0);
  EXPECT_FALSE(JsonLines(Path("t0.jsonl")).empty());
  EXPECT_TRUE(Ended(Run("--fast --sim " + state + " --trace /dev/full calibrate --temperature 25"),
                    3, "the trace /dev/full could not be written"));
}

TEST_F(Reliability, AFixtureThatNeverEndsIsKilled) {
  sim::SimMeter dmm;
  // Its own sleep, told apart from any other test's or program's.
  const std::string sleep =
      "sleep 1000." + std::to_string(std::random_device{}() % 900000 + 100000);
  const std::string fixture = dir.Write("fixture.sh", "#!/bin/sh\nexec " + sleep + "\n");
  chmod(fixture.c_str(), 0755);
  const std::string flow = "--fast --sim " + state + " --meter " + dmm.Address() + " --fixture " +
                           fixture + " calibrate --system-voltage meter";
  auto t = Clock::now();
  EXPECT_TRUE(
      Ended(Run("--fixture-timeout 1 " + flow), 4, "did not end within 1 s and was killed"));
  EXPECT_LT(Since(t), 4.0);
  // One whose shell found no such command says so.
  const std::string missing = dir.Write("missing.sh", "#!/bin/sh\nexit 127\n");
  chmod(missing.c_str(), 0755);
  EXPECT_TRUE(Ended(Run("--fast --sim " + state + " --meter " + dmm.Address() + " --fixture " +
                        missing + " calibrate --system-voltage meter"),
                    4, "could not be started (exit status 127: not found)"));
  Process waiting(dir.path(), flow);
  EXPECT_EQ(Stopped(waiting, SIGTERM, std::chrono::milliseconds(800), 1.5).code, 130);
  EXPECT_NE(std::system(("pgrep -f '^[s]" + sleep.substr(1) + "$' >/dev/null").c_str()), 0);
}

// At a terminal the run waits for Enter before each reference the meter reads, and a signal
// ends that wait too.
TEST_F(Reliability, TheProbePromptWaitsForEnterOrASignal) {
  sim::SimMeter dmm;
  dmm.SetReadings([] { return 12.255; });
  const int pty = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_TRUE(pty >= 0 && grantpt(pty) == 0 && unlockpt(pty) == 0);
  const std::string terminal = ptsname(pty);
  const std::string flow =
      "--fast --sim " + state + " --meter " + dmm.Address() + " calibrate --system-voltage meter";
  Process asked(dir.path(), flow, "", terminal);
  ASSERT_TRUE(WaitForLine(asked.err_file(), "then press Enter"));
  EXPECT_FALSE(asked.EndsWithin(std::chrono::milliseconds(300))) << "did not wait for Enter";
  ASSERT_EQ(write(pty, "\n", 1), 1);
  const Result done = asked.Wait();
  EXPECT_EQ(done.code, 0) << done.err;
  Process stopped(dir.path(), flow, "", terminal);
  ASSERT_TRUE(WaitForLine(stopped.err_file(), "then press Enter"));
  kill(stopped.pid(), SIGINT);
  EXPECT_TRUE(stopped.EndsWithin(std::chrono::milliseconds(1000)));
  EXPECT_EQ(write(pty, "\n", 1), 1);  // frees a program that missed the signal
  EXPECT_EQ(stopped.Wait().code, 130);
  close(pty);
}

// Programs queued on one simulator state file take turns on the file, not on its inode: each
// sees what the one before saved, and no calibration is lost.
TEST_F(Reliability, ProgramsOnOneStateFileTakeTurns) {
  const std::string sim = "--wait-bus 60 --sim " + state + " --save-state " + state;
  Process p1(dir.path(), sim + " calibrate --temperature 25");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  Process p2(dir.path(), sim + " calibrate --current -500");
  EXPECT_EQ(p1.Wait().code, 0);
  Process p3(dir.path(), sim + " --fast calibrate --system-voltage 12255");
  EXPECT_EQ(p2.Wait().code, 0);
  EXPECT_EQ(p3.Wait().code, 0);
  VirtualPlatform v;
  sim::SimDevice after(v, sim::LoadStateFile(state));
  EXPECT_NEAR((after.TemperatureWord() - 2732) * 0.1, 25.0, 0.1);
  EXPECT_NEAR(after.CurrentReading(), -500, 1);
  EXPECT_NEAR(after.SystemReading(), 12255, 1);
  // A stop while waiting for the device ends the wait.
  Process holder(dir.path(), sim + " calibrate --temperature 25");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(Run("--wait-bus 0 --fast --sim " + state + " read")
                  .Says("is in use by vx58420cal (pid " + std::to_string(holder.pid()) + ")"));
  Process queued(dir.path(), "--wait-bus 20 --fast --sim " + state + " read");
  EXPECT_EQ(Stopped(queued, SIGINT, std::chrono::milliseconds(500)).code, 130);
  holder.Wait();
  // Saving keeps the file's rights and a link; a read-only file is not written.
  const std::string link = Path("link.json");
  std::filesystem::create_symlink(state, link);
  chmod(state.c_str(), 0640);
  EXPECT_EQ(Run("--fast --sim " + link + " --save-state " + link + " read").code, 0);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::filesystem::status(state).permissions(), std::filesystem::perms(0640));
  chmod(state.c_str(), 0444);
  EXPECT_TRUE(
      Ended(Run("--fast --sim " + state + " --save-state " + state + " read"), 3, "is read-only"));
}

// Nothing that is no regular file holds the program: a pipe as its settings or its script.
TEST_F(Reliability, PipesDoNotHoldTheProgram) {
  const std::string fifo = Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_directories(Path("conf"));
  ASSERT_EQ(mkfifo(Path("conf/Config.ini").c_str(), 0600), 0);
  EXPECT_EQ(Run("--fast --config-dir " + Path("conf") + " --sim " + state + " read").code, 0);
  Process script(dir.path(), "--fast --sim " + state + " script " + fifo);
  EXPECT_EQ(Stopped(script, SIGTERM, std::chrono::milliseconds(500)).code, 130);
}

}  // namespace vx::testing
