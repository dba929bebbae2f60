#include "hosts/desktop/records_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

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
  layout->addWidget(table_);
  auto* reload = new QPushButton("Reload");
  connect(reload, &QPushButton::clicked, this, [this] { Reload(); });
  layout->addWidget(reload);
  resize(820, 420);
}

bool RecordsWindow::Reload() {
  std::vector<records::RunRecord> list;
  try {
    list = records::OpenStore(where_)->List({"", "", "", 50});
  } catch (const std::exception& e) {
    table_->setRowCount(1);
    table_->setItem(0, 0, new QTableWidgetItem(QString::fromStdString(e.what())));
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

}  // namespace vx
