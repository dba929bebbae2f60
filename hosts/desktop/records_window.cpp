#include "hosts/desktop/records_window.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "hosts/station/csv_export.h"
#include "records/store.h"

namespace vx {

RecordsWindow::RecordsWindow(std::string where, QWidget* parent)
    : QDialog(parent), where_(std::move(where)) {
  setWindowTitle("Recent records");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromStdString(
      "Records in " + (where_.empty() ? records::DefaultDatabase() : where_))));
  table_ = new QTableWidget(0, 7, this);
  table_->setHorizontalHeaderLabels(
      {"Record", "Time (UTC)", "Station", "Operator", "Unit", "Run", "Outcome"});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  layout->addWidget(table_);
  said_ = new QLabel;
  said_->setWordWrap(true);
  layout->addWidget(said_);
  auto* buttons = new QHBoxLayout;
  auto* reload = new QPushButton("Reload");
  connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
  auto* restore_button = new QPushButton("Restore the selected record…");
  restore_button->setObjectName("restore");
  connect(restore_button, &QPushButton::clicked, this, [this] {
    std::int64_t id = Selected();
    said_->setText(id == 0 || !restore ? "Select a record to restore first."
                                       : QString::fromStdString(restore(id)));
    Reload();
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
  std::vector<records::RunRecord> list;
  try {
    list = records::OpenStore(where_, records::Access::kRead)->List({"", "", "", "", 50});
  } catch (const std::exception& e) {
    table_->setRowCount(0);
    said_->setText(QString::fromStdString(e.what()));
    return false;
  }
  table_->setRowCount(static_cast<int>(list.size()));
  int row = 0;
  for (auto it = list.rbegin(); it != list.rend(); ++it, ++row) {
    const records::RunRecord& r = *it;
    int col = 0;
    for (const std::string& text :
         {std::to_string(r.id), r.time_utc, r.station, r.operator_name, r.unit, r.run, r.outcome}) {
      table_->setItem(row, col++, new QTableWidgetItem(QString::fromStdString(text)));
    }
  }
  table_->resizeColumnsToContents();
  return true;
}

std::string RecordsWindow::Export(const std::string& file) {
  std::string said;
  int broken = 0;
  try {
    said = std::to_string(
               ExportCsv(where_, file, [&](std::int64_t, const std::string&) { ++broken; })) +
           " records written to " + file + "." +
           (broken ? " " + std::to_string(broken) + " damaged records were left out." : "");
  } catch (const std::exception& e) {
    said = std::string("Not exported: ") + e.what();
  }
  said_->setText(QString::fromStdString(said));
  return said;
}

std::int64_t RecordsWindow::Selected() const {
  auto rows = table_->selectionModel()->selectedRows();
  if (rows.empty()) return 0;
  return table_->item(rows.front().row(), 0)->text().toLongLong();
}

}  // namespace vx
