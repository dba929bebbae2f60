// What the desktop tests share: a window on a simulator in a folder of their own, the page's
// widgets by key, and answers to the message boxes the window puts up.
#pragma once

#include <sys/prctl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QtTest/QtTest>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>

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
#include "test_files.h"
#include "traffic.h"

namespace vx::testing {

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

// Each test program runs in a folder of its own (ctest runs them side by side, and two trees may
// run the same program at once; a killed run's leftovers are not the next one's), in a
// decimal-comma locale, with a miscalibrated five-capacitor unit in mis.json.
class DesktopFixture : public QObject {
 protected:
  std::unique_ptr<TempDir> folder_;
  std::filesystem::path dir_;
  void Prepare() {
    // The suite runs as a user in a decimal-comma locale would (LANG=de_DE.UTF-8, which
    // QApplication hands to the C library): the page's numbers must not follow it.
    QVERIFY2(std::string(setlocale(LC_NUMERIC, nullptr)).rfind("de_DE", 0) == 0,
             "de_DE.UTF-8 is missing: scripts/install-deps.sh generates it");
    folder_ = std::make_unique<TempDir>();
    dir_ = folder_->path();
    std::ofstream(dir_ / "Config.ini") << "";
    sim::SimState s = sim::MiscalibratedState(5);
    s.busy_ms = {300, 300, 300, 300, 300};
    s.truth.temperature_C = 25.3;
    sim::SaveStateFile(s, (dir_ / "mis.json").string());
  }
  std::unique_ptr<MainWindow> Window(const std::string& state_file, bool virtual_time = true,
                                     const std::string& meter = "",
                                     const std::function<void(DesktopOptions&)>& more = {}) {
    DesktopOptions o;
    o.meter.address = meter;
    o.plugin = VX_PLUGIN_PATH;
    o.device.sim_state = state_file;
    o.config_dir = dir_.string();
    o.virtual_time = virtual_time;
    o.station.records = (dir_ / "records.sqlite").string();
    if (more) more(o);
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
  // As a user readies a run: the page scanned once, boxes retyped, check boxes clicked.
  void Ready(MainWindow& w, std::initializer_list<std::pair<const char*, const char*>> typed,
             std::initializer_list<const char*> ticked, bool scan = true) {
    if (scan) w.cal()->Form().Tick("tmrScan");
    for (const auto& [key, text] : typed)
      Retype(w, key, text);
    for (const char* box : ticked)
      QTest::mouseClick(Box(w, box), Qt::LeftButton);
  }
  void Shot(QWidget* w, const char* name) {
    if (const char* out = std::getenv("VX_SCREENSHOT_DIR"))
      w->grab().save(QString(out) + "/" + name);
  }
};

}  // namespace vx::testing
