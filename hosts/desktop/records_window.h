// The recent records of the current database, newest first, in a window of their own.
#pragma once

#include <QDialog>
#include <string>

class QTableWidget;

namespace vx {

class RecordsWindow : public QDialog {
  Q_OBJECT
 public:
  RecordsWindow(std::string where, QWidget* parent = nullptr);
  // Reads the newest records again; false (with the reason shown) when the store cannot be read.
  bool Reload();
  QTableWidget* table() const { return table_; }

 private:
  std::string where_;
  QTableWidget* table_ = nullptr;
};

}  // namespace vx
