#include "hosts/desktop/records_window.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include "hosts/analytics/csv_export.h"
#include "hosts/analytics/line_report.h"
#include "hosts/analytics/line_words.h"
#include "hosts/desktop/records_model.h"
#include "records/store.h"

namespace vx {

RecordsWindow::RecordsWindow(std::string where, QWidget* parent)
    : QDialog(parent), where_(std::move(where)) {
  setWindowTitle("Recent records");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString(
      "Records in " + (where_.empty() ? records::DefaultDatabase() : where_))));
  model_ = new RecordsModel;
  model_->setParent(this);
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(table_);
  said_ = new QLabel;
  said_->setWordWrap(true);
  layout->addWidget(said_);
  connect(model_, &RecordsModel::failed, said_, &QLabel::setText);
  connect(model_, &RecordsModel::leftOut, said_, &QLabel::setText);
  auto* buttons = new QHBoxLayout;
  auto* reload = new QPushButton("Reload");
  connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
  auto* restore_button = new QPushButton("Restore the selected record…");
  restore_button->setObjectName("restore");
  connect(restore_button, &QPushButton::clicked, this, [this] {
    std::int64_t id = Selected();
    const QString said = id == 0 || !restore ? "Select a record to restore first."
                                             : QString::fromStdString(restore(id));
    Reload();
    if (model_->why().empty()) said_->setText(said);
  });
  auto* export_button = new QPushButton("Export as CSV…");
  connect(export_button, &QPushButton::clicked, this, [this] {
    QString f = QFileDialog::getSaveFileName(this, "Export records", "records.csv", "CSV (*.csv)");
    if (!f.isEmpty()) Export(f.toStdString());
  });
  for (QPushButton* b : {reload, restore_button, export_button})
    buttons->addWidget(b);
  layout->addLayout(buttons);
  resize(820, 460);
}

bool RecordsWindow::Reload() {
  const bool read = model_->Open(where_);
  said_->setText(
      QString::fromStdString(model_->why().empty() ? model_->left_out() : model_->why()));
  if (read) table_->resizeColumnsToContents();
  return read;
}

QString RecordsWindow::Cell(int row, int column) const {
  return model_->index(row, column).data().toString();
}

std::string RecordsWindow::Export(const std::string& file) {
  std::string said;
  std::size_t broken = 0;
  try {
    const std::size_t n =
        ExportCsv(where_, file, [&](std::int64_t, const std::string&) { ++broken; });
    said = ExportedSentence(n, file, broken) + ".";
  } catch (const std::exception& e) {
    said = std::string("Not exported: ") + e.what();
  }
  said_->setText(QString::fromStdString(said));
  return said;
}

std::int64_t RecordsWindow::Selected() const {
  auto rows = table_->selectionModel()->selectedRows();
  return rows.empty() ? 0 : model_->IdAt(rows.front().row());
}

std::string OpenLineStatistics(const std::string& where, const Limits& limits,
                               const std::function<bool(const QUrl&)>& open_url) {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
  QDir().mkpath(folder);
  const std::string file = (folder + "/line-statistics.html").toStdString();
  std::string said;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    std::size_t broken = 0;
    const LineStats stats = WriteLineReport(where, {}, GroupBy::kStation, limits, file,
                                            [&](std::int64_t, const std::string&) { ++broken; });
    said = ReportSentence(stats, file, broken) + ".";
    if (!open_url(QUrl::fromLocalFile(QString::fromStdString(file)))) {
      said += " No browser could be started to show it.";
    }
  } catch (const std::exception& e) {
    said = std::string("No statistics: ") + e.what();
  }
  QApplication::restoreOverrideCursor();
  return said;
}

}  // namespace vx
