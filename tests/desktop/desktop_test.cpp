// The desktop host under the offscreen platform: the page as widgets, both-way binding, a full
// calibration by widget clicks, and waits that keep the event loop live.
#include <sys/prctl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QtTest/QtTest>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

#include "device/utils.h"
#include "hosts/desktop/main_window.h"
#include "hosts/desktop/meter_assistant.h"
#include "hosts/desktop/records_model.h"
#include "hosts/desktop/records_window.h"
#include "hosts/station/bus_lock.h"
#include "records/store.h"
#include "silent_server.h"
#include "sim/sim_device.h"
#include "sim/sim_meter.h"
#include "sim/sim_state.h"

using namespace vx;

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Answers the next modal message boxes with their OK button, remembering title and text.
struct BoxAnswerer {
  QStringList seen;
  void Arm(int boxes = 1, QMessageBox::StandardButton answer = QMessageBox::Ok) {
    QTimer::singleShot(10, [this, boxes, answer] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen << box->windowTitle() + "|" + box->text();
        box->button(answer)->click();
        if (boxes > 1) Arm(boxes - 1, answer);
      } else {
        Arm(boxes, answer);
      }
    });
  }
};

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT
 private:
  std::filesystem::path dir_;
  std::unique_ptr<MainWindow> Window(const std::string& state_file, bool virtual_time = true,
                                     const std::string& meter = "") {
    DesktopOptions o;
    o.meter = meter;
    o.plugin = VX_PLUGIN_PATH;
    o.device.sim_state = state_file;
    o.config_dir = dir_.string();
    o.virtual_time = virtual_time;
    o.station.records = (dir_ / "records.sqlite").string();
    auto w = std::make_unique<MainWindow>(o);
    std::string error;
    if (!w->LoadPlugin(error)) qFatal("%s", error.c_str());
    w->show();
    if (!w->ConnectAndShow(error)) qFatal("%s", error.c_str());
    return w;
  }
  template <typename T = QWidget>
  T* W(MainWindow& w, const char* key) {
    return qobject_cast<T*>(w.renderer()->WidgetFor(key));
  }
  QCheckBox* Box(MainWindow& w, const char* key) {
    return W(w, key)->findChild<QCheckBox*>("indicator");
  }
  void Retype(MainWindow& w, const char* key, const QString& text) {
    auto* e = W<QLineEdit>(w, key);
    e->selectAll();
    QTest::keyClicks(e, text);
  }
  void Shot(QWidget* w, const char* name) {
    if (const char* out = std::getenv("VX_SCREENSHOT_DIR"))
      w->grab().save(QString(out) + "/" + name);
  }

 private slots:
  void initTestCase() {
    // The suite runs as a user in a decimal-comma locale would (LANG=de_DE.UTF-8, which
    // QApplication hands to the C library): the page's numbers must not follow it.
    QVERIFY2(std::string(setlocale(LC_NUMERIC, nullptr)).rfind("de_DE", 0) == 0,
             "de_DE.UTF-8 is missing: scripts/install-deps.sh generates it");
    dir_ = std::filesystem::temp_directory_path() / "vx58420-desktop-test";
    std::filesystem::create_directories(dir_);
    std::ofstream(dir_ / "Config.ini") << "";
    sim::SimState s = sim::MiscalibratedState(5);
    s.busy_ms = {300, 300, 300, 300, 300};
    s.truth.temperature_C = 25.3;
    sim::SaveStateFile(s, (dir_ / "mis.json").string());
  }
  void cleanupTestCase() { std::filesystem::remove_all(dir_); }

  void everyVisibleControlIsDrawnWithItsTextAtItsPlace() {
    std::ofstream(dir_ / "Config.ini") << "[D800]\nDVMAC=70000\n";
    auto w = Window("");
    std::ofstream(dir_ / "Config.ini") << "";
    QVERIFY2(w->StatusText().contains("DVMAC = 70000 does not fit 16 bits; its default 0 is used"),
             qPrintable(w->StatusText()));
    FormModel& f = w->cal()->Form();
    int checked = 0;
    for (const auto& c : f.controls()) {
      if (c->kind == Kind::kTimer || !f.EffectiveVisible(*c)) continue;
      QWidget* x = w->renderer()->WidgetFor(c->Key());
      QVERIFY2(x, c->Key().c_str());
      QVERIFY2(x->isVisible(), c->Key().c_str());
      auto px = [&](int t) { return w->renderer()->Pixels(t); };
      QCOMPARE(x->geometry(),
               QRect(px(c->rect.left), px(c->rect.top), px(c->rect.width), px(c->rect.height)));
      QString text = QString::fromStdString(c->text());
      if (auto* l = qobject_cast<QLabel*>(x); l && c->kind == Kind::kLabel)
        QCOMPARE(l->text(), text);
      if (auto* e = qobject_cast<QLineEdit*>(x)) QCOMPARE(e->text(), text);
      if (c->kind == Kind::kFrame && c->border && !text.isEmpty())
        QVERIFY2(qobject_cast<QGroupBox*>(x), c->Key().c_str());
      if (auto* g = qobject_cast<QGroupBox*>(x)) QCOMPARE(g->title(), text);
      if (auto* b = qobject_cast<QPushButton*>(x)) QCOMPARE(b->text().replace('\n', ' '), text);
      if (c->kind == Kind::kCheckBox) {
        QCOMPARE(x->findChild<QLabel*>("caption")->text(), text);
      }
      ++checked;
    }
    QVERIFY(checked > 60);
    // On a 1280 x 1024 screen at 96 dpi the window shows the whole page, no scroll bars.
    auto* scroll = w->findChild<QScrollArea*>();
    QTRY_VERIFY(!scroll->verticalScrollBar()->isVisible());
    QVERIFY(!scroll->horizontalScrollBar()->isVisible());
    QCOMPARE(w->findChild<QTabWidget*>()->tabText(0), QString("Supercapacitor Calibration"));
    QVERIFY(!W(*w, "Frame1(4)")->isVisible());
    QCOMPARE(W<QLineEdit>(*w, "txtVoltage(0)")->maxLength(), 5);
    QVERIFY(W<QLineEdit>(*w, "txtCalMeasVoltage(0)")->isReadOnly());
    QVERIFY(!W(*w, "txtVoltage(5)")->isEnabled());
    QCOMPARE(W(*w, "btnCalibrate")->toolTip(),
             QString("Check the calibrations to perform below. Click this button to calibrate."));
    // The sensor box ticked by default lies on top of the two it overlaps.
    QWidget* top = W(*w, "Frame1(2)")->childAt(W(*w, "chkExtTS1")->geometry().center());
    QVERIFY(top && (top == W(*w, "chkExtTS1") || top->parentWidget() == W(*w, "chkExtTS1")));
    Shot(w->page(), "page-after-setup.png");
    // Clicks on a check box's caption, on an option, and typing reach the model; the model's
    // enabled state reaches the widgets.
    QTest::mouseClick(W(*w, "chkTempCal")->findChild<QLabel*>("caption"), Qt::LeftButton);
    QCOMPARE(f.At("chkTempCal").value(), 1);
    QTest::mouseClick(W<QRadioButton>(*w, "OptionByPass"), Qt::LeftButton);
    QCOMPARE(f.At("OptionUse").value(), 0);
    Retype(*w, "txtVoltage(0)", "2222");
    QCOMPARE(QString::fromStdString(f.At("txtVoltage", 0).text()), QString("2222"));
    f.At("Frame1", 1).SetEnabled(false);
    QVERIFY(!W(*w, "txtVoltage(0)")->isEnabled());
  }

  void fullCalibrationByWidgetClicks() {
    auto w = Window((dir_ / "mis.json").string());
    FormModel& f = w->cal()->Form();
    f.Tick("tmrScan");
    Retype(*w, "txtActualSystemVoltage", "1999");
    QTest::mouseClick(Box(*w, "chkSystemVoltage"), Qt::LeftButton);
    // The host asks first (1999 mV is far from the reading); answered OK, the page's own check
    // refuses it.
    BoxAnswerer answer;
    answer.Arm(2);
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QCOMPARE(answer.seen.size(), 2);
    QVERIFY2(answer.seen[0].contains("actual system voltage 1999 mV against the reading 12561 mV"),
             qPrintable(answer.seen[0]));
    QCOMPARE(answer.seen[1], QString("vx58420Cal|Actual system voltage entered appears low. "
                                     "Please check this value and retry calibration."));
    QVERIFY(W(*w, "btnCalibrate")->isEnabled());

    const char* taps[] = {"2050", "4160", "6240", "8360", "10455"};
    for (int k = 0; k < 5; ++k) {
      Retype(*w, ("txtVoltage(" + std::to_string(k) + ")").c_str(), taps[k]);
    }
    Retype(*w, "txtActualSystemVoltage", "12255");
    Retype(*w, "txtTemperature", "25.3");
    Retype(*w, "txtCurrent", "-500");
    for (const char* c : {"chkVoltageCal", "chkTempCal", "chkCurrentCal"}) {
      QTest::mouseClick(Box(*w, c), Qt::LeftButton);
    }
    w->findChild<QLineEdit*>("unit")->setText("SN-7");
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY(W(*w, "imgCalDoneBox")->isVisible());
    QCOMPARE(qobject_cast<QProgressBar*>(W(*w, "prgCal"))->value(), 100);
    // Both runs are recorded, the newest first in the records window.
    RecordsWindow records((dir_ / "records.sqlite").string());
    QVERIFY(records.Reload());
    QCOMPARE(records.model()->rowCount(), 2);
    QCOMPARE(records.Cell(0, 4), QString("SN-7"));
    QCOMPARE(records.Cell(0, 6), QString("done"));
    QCOMPARE(records.Cell(1, 6), QString("refused"));
    f.Tick("tmrScan");
    for (int k = 0; k < 5; ++k) {
      double v = W<QLineEdit>(*w, ("txtCalMeasVoltage(" + std::to_string(k) + ")").c_str())
                     ->text()
                     .toDouble();
      QVERIFY(std::abs(v - std::stod(taps[k])) <= 1.0);
    }
    QVERIFY(std::abs(W<QLineEdit>(*w, "txtMeasuredSystemVoltage")->text().toDouble() - 12255) <= 1);
    QCOMPARE(W<QLineEdit>(*w, "txtCalMeasTemperature")->text(), QString("25.3"));
    QCOMPARE(W<QLineEdit>(*w, "txtCalMeasCurrent")->text(), QString("-500"));
    Shot(w->page(), "page-after-calibration.png");
  }

  // Closing the window in the middle of a run: the run ends at its next safe point, leaves
  // calibration mode and switches the FETs off, and only then does the window go.
  void closeDuringARunLeavesTheDeviceSafeFirst() {
    auto w = Window((dir_ / "mis.json").string());
    FormModel& f = w->cal()->Form();
    f.Tick("tmrScan");
    Retype(*w, "txtTemperature", "25.3");
    Retype(*w, "txtCurrent", "-500");
    QTest::mouseClick(Box(*w, "chkTempCal"), Qt::LeftButton);
    QTest::mouseClick(Box(*w, "chkCurrentCal"), Qt::LeftButton);
    sim::SimDevice* dev = w->simulator();
    bool asked = false, gone_in_mode = false;
    int requests_after = 0;
    dev->on_transfer = [&](const sim::Transfer& t) {
      if (!asked && t.method == AdapterMethod::kWriteSMBusWord &&
          t.bytes == std::vector<std::uint8_t>{0, 0x40}) {
        asked = true;  // calibration mode entered: the user closes the window
        QMetaObject::invokeMethod(w.get(), "close", Qt::QueuedConnection);
      }
      requests_after += asked && t.cmd == 0x51;
      gone_in_mode = gone_in_mode || (!w->isVisible() && dev->InCalibrationMode());
    };
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY(asked);
    QVERIFY(w->StatusText().startsWith("Closing"));
    QTRY_VERIFY(!w->isVisible());
    dev->on_transfer = nullptr;
    QVERIFY(!gone_in_mode);
    QCOMPARE(requests_after, 0);
    QVERIFY(!dev->InCalibrationMode());
    QVERIFY(!dev->state().fets_on);
  }

  // The meter assistant takes each reference the ticked calibrations need and types it into
  // the page; the user still presses the page's button, and the record names the meter.
  void meterAssistantFillsThePagesReferences() {
    sim::SimMeter dmm;
    dmm.SetReadings([] { return 12.2553; });
    auto w = Window((dir_ / "mis.json").string(), true, dmm.Address());
    FormModel& f = w->cal()->Form();
    f.Tick("tmrScan");
    QTest::mouseClick(Box(*w, "chkSystemVoltage"), Qt::LeftButton);
    QTest::mouseClick(Box(*w, "chkTempCal"), Qt::LeftButton);
    MeterAssistant* a = w->OpenMeterAssistant();
    QVERIFY2(a, qPrintable(w->StatusText()));
    QVERIFY(a->position_label()->text().startsWith("Put the meter across the system power input"));
    a->take_button()->click();
    QTRY_COMPARE(QString::fromStdString(f.At("txtActualSystemVoltage").text()), QString("12255"));
    QVERIFY(a->position_label()->text().contains("temperature probe"));
    if (const char* out = std::getenv("VX_SCREENSHOT_DIR")) {
      QTest::qWait(200);  // the live reading of the next position
      a->grab().save(QString(out) + "/meter-assistant.png");
    }
    dmm.SetFunction("TEMP");
    dmm.SetReadings([] { return 25.34; });
    a->take_button()->click();
    QTRY_COMPARE(QString::fromStdString(f.At("txtTemperature").text()), QString("25.3"));
    QVERIFY(a->position_label()->text().startsWith("Every reference is on the page"));
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY(W(*w, "imgCalDoneBox")->isVisible());
    auto record = records::OpenStore((dir_ / "records.sqlite").string())->List({}).back();
    QCOMPARE(record.references.size(), std::size_t{2});
    QCOMPARE(record.references[0].source["meter"]["model"].get<std::string>(),
             std::string("34405A"));
    QVERIFY(record.references[1].source["readings"].size() >= 5);
  }

  // While the desktop's run has the device, nobody else gets it; while somebody else has it,
  // the run does not start and the status bar says who holds it.
  void aRunHoldsTheDevicesLock() {
    const std::string state = (dir_ / "mis.json").string();
    auto w = Window(state);
    FormModel& f = w->cal()->Form();
    f.Tick("tmrScan");
    Retype(*w, "txtTemperature", "25.3");
    QTest::mouseClick(Box(*w, "chkTempCal"), Qt::LeftButton);
    std::string held_by;
    w->simulator()->on_transfer = [&](const sim::Transfer&) {
      std::string error;
      if (held_by.empty() &&
          !BusLock::Acquire(BusLock::LockFileFor(state), std::chrono::milliseconds(0), error)) {
        held_by = error;
      }
    };
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY2(held_by.find("in use by") != std::string::npos, held_by.c_str());
    w->simulator()->on_transfer = nullptr;
    std::string error;
    auto mine = BusLock::Acquire(BusLock::LockFileFor(state), std::chrono::milliseconds(0), error);
    QVERIFY(mine);
    w->simulator()->ClearLog();
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY(w->simulator()->log().empty());
    QVERIFY(w->StatusText().startsWith("The run did not start"));
  }

  // What the window adds around the page, from the station core it shares with the command
  // line: limits judged, restore and export in the records window, a device switch that fails
  // leaves the device that is connected (and the bar says so).
  void limitsRestoreExportAndAFailedSwitch() {
    const std::string state = (dir_ / "window.json").string();
    sim::SaveStateFile(sim::MiscalibratedState(5), state);
    const auto original = sim::LoadStateFile(state).dataflash;
    auto w = Window(state);
    w->station().limits = Limits{"strict.json", {{"System voltage", 0.5}}};
    FormModel& f = w->cal()->Form();
    f.Tick("tmrScan");
    Retype(*w, "txtActualSystemVoltage", "12255");
    QTest::mouseClick(Box(*w, "chkSystemVoltage"), Qt::LeftButton);
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY2(w->StatusText().contains("out of limits; System voltage 1 (at most 0.5)"),
             qPrintable(w->StatusText()));
    QVERIFY(sim::LoadStateFile(state).dataflash != original);  // the window saved the device

    RecordsWindow* records = w->OpenRecords();
    QCOMPARE(records->Cell(0, 6), QString("out of limits"));
    records->table()->selectRow(0);
    BoxAnswerer answer;
    answer.Arm();
    records->findChild<QPushButton*>("restore")->click();
    QVERIFY2(records->said()->text().startsWith("Restored and verified"),
             qPrintable(records->said()->text()));
    QCOMPARE(sim::LoadStateFile(state).dataflash, original);
    QCOMPARE(records->Cell(0, 5), QString("restore"));
    Shot(records, "records-window.png");
    const std::string csv = (dir_ / "export.csv").string();
    QVERIFY(records->Export(csv).find(" records written to ") != std::string::npos);
    std::ifstream in(csv);
    std::string header;
    std::getline(in, header);
    QVERIFY(header.rfind("id,time_utc,station,operator,unit,run,outcome,Capacitor 1 residual", 0) ==
            0);
    QUrl opened;
    w->open_url = [&](const QUrl& url) { return opened = url, false; };
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir_.string()));
    QVERIFY2(
        w->OpenStatistics().find(" runs: no station calibrates differently") != std::string::npos,
        qPrintable(w->StatusText()));
    QVERIFY(opened.toLocalFile().startsWith(QString::fromStdString(dir_.string())));
    QVERIFY(w->StatusText().contains("(no browser could be started)"));
    std::ifstream report(opened.toLocalFile().toStdString());
    std::string page((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
    QVERIFY(page.find("<h1>Line statistics</h1>") != std::string::npos);

    w->findChild<QComboBox*>("kind")->setCurrentIndex(1);
    w->findChild<QLineEdit*>("device")->setText("/dev/i2c-77");
    w->findChild<QPushButton*>("connect")->click();
    QVERIFY2(
        w->StatusText().contains("still connected to simulator " + QString::fromStdString(state)),
        qPrintable(w->StatusText()));
    QCOMPARE(w->findChild<QComboBox*>("kind")->currentIndex(), 0);
    QCOMPARE(w->findChild<QLineEdit*>("device")->text().toStdString(), state);
  }

  // A run on the page's own example values is put to the user first; Cancel (the default)
  // leaves the device untouched.
  void untypedExamplesAreAskedAbout() {
    auto w = Window((dir_ / "mis.json").string());
    w->cal()->Form().Tick("tmrScan");
    QTest::mouseClick(Box(*w, "chkVoltageCal"), Qt::LeftButton);
    w->simulator()->ClearLog();
    BoxAnswerer answer;
    answer.Arm(1, QMessageBox::Cancel);
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QCOMPARE(answer.seen.size(), 1);
    QVERIFY2(answer.seen[0].contains("Capacitor 1 holds 2100, which nobody gave for this unit"),
             qPrintable(answer.seen[0]));
    for (const auto& t : w->simulator()->log())
      QVERIFY(!IsWrite(t.method) || t.cmd == 0x77);
    QVERIFY(w->StatusText().startsWith("The run did not start"));
  }

  // A database that never answers holds neither the window nor the device: the window stays
  // live while it waits, and closing it ends the wait within a second, the record in a file.
  void aSilentDatabaseDoesNotHoldTheWindow() {
    testing::Silent db;
    auto w = Window((dir_ / "mis.json").string());
    w->station().info.records = "postgresql://u@127.0.0.1:" + std::to_string(db.port()) + "/r";
    w->cal()->Form().Tick("tmrScan");
    Retype(*w, "txtTemperature", "25.3");
    QTest::mouseClick(Box(*w, "chkTempCal"), Qt::LeftButton);
    w->simulator()->ClearLog();
    int ticks = 0;
    QTimer live;
    connect(&live, &QTimer::timeout, [&] { ++ticks; });
    live.start(50);
    QElapsedTimer closing;
    QTimer::singleShot(1000, [&] {
      closing.start();
      w->close();
    });
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 3000);
    QVERIFY2(closing.elapsed() < 1000, qPrintable(QString::number(closing.elapsed())));
    QVERIFY(ticks >= 10);  // the window's events went on while it waited
    for (const auto& t : w->simulator()->log())
      QVERIFY(!IsWrite(t.method) || t.cmd == 0x77);
  }

  // Help without a display, and a one-shot run that cannot do its job ends with an error.
  void errorsEndTheProgram() {
    auto run = [](const QStringList& args, QString* err = nullptr) {
      QProcess p;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.remove("QT_QPA_PLATFORM");
      env.remove("DISPLAY");
      if (args.contains("--screenshot")) env.insert("QT_QPA_PLATFORM", "offscreen");
      p.setProcessEnvironment(env);
      p.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
      p.start(VX_HOST_PATH, args);
      if (!p.waitForFinished(20000)) return -1;
      if (err) *err = p.readAllStandardError() + p.readAllStandardOutput();
      return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    };
    QString out;
    QCOMPARE(run({"--help"}, &out), 0);
    QVERIFY(out.contains("--screenshot"));
    QCOMPARE(run({"--bogus"}, &out), 2);
    QVERIFY(out.startsWith("vx58420-host: "));
    QCOMPARE(run({"--sim", "/nonexistent.json", "--screenshot", "/tmp/x.png"}, &out), 3);
    QVERIFY(out.contains("/nonexistent.json"));
    QCOMPARE(run({"--bus", "/dev/i2c-77", "--screenshot", "/tmp/x.png"}), 4);
  }

  void waitKeepsTheEventLoopLiveWithoutBurningACore() {
    auto w = Window("", /*virtual_time=*/false);
    QtPlatform& p = w->platform();
    QElapsedTimer clock;
    clock.start();
    qint64 fired_at = -1;
    QTimer::singleShot(500, [&] { fired_at = clock.elapsed(); });
    double cpu0 = CpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    DelaySeconds(p, 2.5f);
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double cpu = CpuSeconds() - cpu0;
    QVERIFY2(fired_at >= 500 && fired_at < 550, qPrintable(QString::number(fired_at)));
    QVERIFY(wall >= 2.5);
    QVERIFY2(cpu < 0.05 * wall, qPrintable(QString("cpu %1 s of %2 s").arg(cpu).arg(wall)));
    std::printf("2.5 s wait: wall %.3f s, cpu %.4f s (%.2f %%), timer late %lld ms\n", wall, cpu,
                100.0 * cpu / wall, static_cast<long long>(fired_at - 500));
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
