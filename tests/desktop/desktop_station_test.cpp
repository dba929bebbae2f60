// What the desktop adds around the page, from the station core it shares with the command
// line: limits, restore and export, a silent database, and a
// program that ends with an error when it cannot do its job.
#include <sqlite3.h>

#include "bench/sim_line.h"
#include "desktop/desktop_fixture.h"

using namespace vx;
using vx::testing::BoxAnswerer;

class DesktopStationTest : public testing::DesktopFixture {
  Q_OBJECT
 private slots:
  void initTestCase() { Prepare(); }
  void cleanupTestCase() { folder_.reset(); }

  // What the window adds around the page, from the station core it shares with the command
  // line: limits judged, restore and export in the records window, a device switch that fails
  // leaves the device that is connected (and the bar says so).
  void recordsExportStatisticsAndAFailedSwitch() {
    const std::string state = (dir_ / "window.json").string();
    sim::SaveStateFile(sim::MiscalibratedState(5), state);
    const auto original = sim::LoadStateFile(state).dataflash;
    auto w = Window(state);
    Ready(*w, {{"txtActualSystemVoltage", "12255"}}, {"chkSystemVoltage"});
    QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
    QVERIFY(sim::LoadStateFile(state).dataflash != original);  // the window saved the device
    RecordsWindow* records = w->OpenRecords();
    QCOMPARE(records->Cell(0, 6), QString("done"));
    // An index a view kept from before the rows changed reads nothing instead of past them.
    struct Probe : RecordsModel {
      QModelIndex Stale(int row) const { return createIndex(row, 0); }
    } model;
    QVERIFY(model.Open(w->station().info.store()));
    QCOMPARE(model.data(model.Stale(0), Qt::DisplayRole).isValid(), true);
    QCOMPARE(model.data(model.Stale(model.rowCount()), Qt::DisplayRole).isValid(), false);
    QVERIFY(model.IdAt(0) != 0 && model.IdAt(model.rowCount()) == 0);
    Shot(records, "records-window.png");
    const std::string csv = (dir_ / "export.csv").string();
    QVERIFY2(records->Export(csv).find(" written to ") != std::string::npos,
             qPrintable(records->said()->text()));
    std::ifstream in(csv);
    std::string header;
    std::getline(in, header);
    QVERIFY(header.rfind("id,time_utc,station,operator,unit,run,outcome,Capacitor 1 residual", 0) ==
            0);
    QPointer<RecordsWindow> gone(records);  // a closed records window does not linger
    records->close();
    QTRY_VERIFY(gone.isNull());
    QUrl opened;
    w->open_url = [&](const QUrl& url) { return opened = url, false; };
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(dir_.string()));
    QVERIFY2(w->OpenStatistics().find(" runs written to ") != std::string::npos,
             qPrintable(w->Said()));
    QVERIFY(opened.toLocalFile().startsWith(QString::fromStdString(dir_.string())));
    QVERIFY(w->Said().contains("No browser could be started to show it."));
    std::ifstream report(opened.toLocalFile().toStdString());
    std::string page((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
    QVERIFY(page.find("<h1>Line statistics</h1>") != std::string::npos);

    w->findChild<QComboBox*>("kind")->setCurrentIndex(1);
    w->findChild<QLineEdit*>("device")->setText("/dev/i2c-77");
    w->findChild<QPushButton*>("connect")->click();
    QVERIFY2(w->Said().contains("still connected to simulator " + QString::fromStdString(state)),
             qPrintable(w->Said()));
    QCOMPARE(w->findChild<QComboBox*>("kind")->currentIndex(), 0);
    QCOMPARE(w->findChild<QLineEdit*>("device")->text().toStdString(), state);
    for (int i = 0; i < 50; ++i) {  // a day's messages: the last 50 are kept
      w->findChild<QComboBox*>("kind")->setCurrentIndex(1);
      w->findChild<QPushButton*>("connect")->click();
    }
    QCOMPARE(w->findChild<QListWidget*>()->count(), 50);
  }

  // A damaged row is left out of the records window and said; the pages go on past it, also
  // past a page of nothing but damaged rows.
  void recordsWindowPagesPastDamagedRows() {
    const std::string db = (dir_ / "damaged.sqlite").string();
    std::vector<records::RunRecord> rs;
    for (int i = 1; i <= 3 * RecordsModel::kPage; ++i)
      rs.push_back(sim::LineRecord({}, i));
    records::OpenStore(db)->AddAll(rs);
    sqlite3* raw = nullptr;
    sqlite3_open(db.c_str(), &raw);
    QCOMPARE(sqlite3_exec(
                 raw, "UPDATE vx_runs SET res_cap1 = 'x' WHERE id = 590 OR id BETWEEN 201 AND 400",
                 nullptr, nullptr, nullptr),
             SQLITE_OK);
    sqlite3_close(raw);
    const QString first =
        "record 590 is damaged (its residual of Capacitor 1 is not a number); left out";
    RecordsWindow window(db);
    QVERIFY(window.Reload());
    QCOMPARE(window.said()->text(), first);
    RecordsModel model;
    QSignalSpy said(&model, &RecordsModel::leftOut);
    QVERIFY(model.Open(db));
    for (int pages = 0; pages < 10 && model.canFetchMore({}); ++pages)
      model.fetchMore({});
    QCOMPARE(model.rowCount(), 3 * RecordsModel::kPage - 201);
    QCOMPARE(model.IdAt(model.rowCount() - 1), 1);
    QCOMPARE(said.count(), 2);
    QCOMPARE(QString::fromStdString(model.left_out()), first + "; and 200 more damaged rows");
  }

  // The same scenario through both faces leaves the same records, apart from station, time
  // and program: a run out of limits, and its restore onto another unit, gone on past the
  // difference (the command line's --force, the window's OK).
  void bothFacesRecordTheSame() {
    const std::string limits = (dir_ / "l.json").string(), db = (dir_ / "faces.sqlite").string();
    std::ofstream(limits) << R"({"System voltage": 0})";
    std::vector<records::RunRecord> made;
    for (const char* face : {"cli", "window"}) {
      const std::string state = (dir_ / (std::string(face) + ".json")).string();
      sim::SaveStateFile(sim::MiscalibratedState(5), state);
      const std::string at =
          "--records " + db + " --limits " + limits + " --sim " + state + " --save-state " + state;
      auto cli = [&](const std::string& args) {
        return std::system(
            (std::string(VX_CLI_PATH) + " --fast " + at + " " + args + " >/dev/null 2>&1").c_str());
      };
      const std::size_t before = records::OpenStore(db)->List({}).size();
      if (std::string(face) == "cli") {
        QVERIFY(cli("--unit SN-A calibrate --system-voltage 12255") != 0);
        const auto id = records::OpenStore(db)->List({}).back().id;
        QCOMPARE(cli("--unit SN-B restore --force --yes " + std::to_string(id)), 0);
      } else {
        auto w = Window(state, true, "", [&](DesktopOptions& o) {
          o.station.records = db;
          o.limits = LoadLimits(limits);
          o.station.unit = "SN-A";
        });
        Ready(*w, {{"txtActualSystemVoltage", "12255"}}, {"chkSystemVoltage"});
        QTest::mouseClick(W<QPushButton>(*w, "btnCalibrate"), Qt::LeftButton);
        QVERIFY(w->verdict()->text().contains("Out of limits\nSystem voltage 1 (at most 0)"));
        QTRY_VERIFY(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
        Shot(w.get(), "desktop-verdict-out-of-limits.png");
        QApplication::activeModalWidget()->close();
        w->findChild<QLineEdit*>("unit")->setText("SN-B");
        const std::int64_t id = records::OpenStore(db)->List({}).back().id;
        QTimer::singleShot(10, [&] {  // Cancel, the default, when the differences are shown
          auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
          Shot(box, "desktop-restore-differences.png");
          box->button(QMessageBox::Cancel)->click();
        });
        w->RestoreRecord(id);
        QVERIFY2(w->Said().startsWith("Not restored"), qPrintable(w->Said()));
        BoxAnswerer answer;
        answer.Arm(2);
        w->RestoreRecord(id);
        QVERIFY2(answer.seen.size() == 2 && answer.seen[0].contains("the record is of unit SN-A, "
                                                                    "not SN-B"),
                 qPrintable(answer.seen.join("\n")));
        QVERIFY2(w->Said().startsWith("Restored and verified"), qPrintable(w->Said()));
      }
      auto mine = records::OpenStore(db)->List({});
      QCOMPARE(mine.size(), before + 2);
      for (std::size_t i = before; i < mine.size(); ++i) {
        records::RunRecord r = mine[i];
        r.id = 0;
        r.uid = r.time_utc = r.station = r.operator_name = r.device = r.program = "";
        if (r.extra.is_object()) r.extra.erase("restored_record"), r.extra.erase("restored_uid");
        made.push_back(r);
      }
    }
    QCOMPARE(made.size(), std::size_t{4});
    for (std::size_t i = 0; i < 2; ++i) {
      QVERIFY2(
          records::ToJson(made[i]) == records::ToJson(made[i + 2]),
          (records::ToJson(made[i]).dump() + "\n" + records::ToJson(made[i + 2]).dump()).c_str());
    }
    QCOMPARE(made[0].outcome, std::string("out of limits"));
    QCOMPARE(made[1].unit, std::string("SN-B"));
  }

  // A database that never answers holds neither the window nor the device: the window stays
  // live while it waits, and closing it ends the wait within a second, the record in a file.
  void aSilentDatabaseDoesNotHoldTheWindow() {
    testing::Silent db;
    auto w = Window((dir_ / "mis.json").string());
    w->station().info.records = "postgresql://u@127.0.0.1:" + std::to_string(db.port()) + "/r";
    Ready(*w, {{"txtTemperature", "25.3"}}, {"chkTempCal"});
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
    QVERIFY(!testing::Writes(*w->simulator()));
  }

  // Help without a display, and a one-shot run that cannot do its job ends with an error.
  void errorsEndTheProgram() {
    auto run = [](const QStringList& args, QString* err = nullptr) {
      QProcess p;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.remove("QT_QPA_PLATFORM");
      env.remove("DISPLAY");
      if (args.contains("--screenshot") || args.contains("--measure-startup"))
        env.insert("QT_QPA_PLATFORM", "offscreen");
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
    const QString state = QString::fromStdString((dir_ / "mis.json").string());
    QCOMPARE(run({"--measure-startup", "--sim", state}, &out), 0);  // no window to save
    QVERIFY2(out.contains("first readings painted after"), qPrintable(out));
    QCOMPARE(run({"--bogus"}, &out), 2);
    QVERIFY(out.startsWith("vx58420-host: "));
    QCOMPARE(run({"--sim", "/nonexistent.json", "--screenshot", "/tmp/x.png"}, &out), 3);
    QVERIFY(out.contains("/nonexistent.json"));
    QCOMPARE(run({"--bus", "/dev/i2c-77", "--screenshot", "/tmp/x.png"}), 4);
  }
};

QTEST_MAIN(DesktopStationTest)
#include "desktop_station_test.moc"
