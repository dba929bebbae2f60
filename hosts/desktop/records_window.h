// The records of the station's store, newest first, in a window of their own that reads more
// as the user scrolls: a selected record can be restored to the connected device (after a
// question), and the records exported as CSV.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "records/limits.h"

class QLabel;
class QUrl;
class QTableView;

namespace vx {

class RecordsWindow : public QDialog {
  Q_OBJECT
 public:
  RecordsWindow(std::string where, QWidget* parent = nullptr);
  // Reads the newest records again; false (with the reason shown) when the store cannot be read.
  bool Reload();
  // A cell's text as the table shows it ("" beyond the rows read).
  QString Cell(int row, int column) const;
  // Writes every record to a CSV file; what happened, in a sentence (also shown).
  std::string Export(const std::string& file);
  // The selected record's id, 0 when none is.
  std::int64_t Selected() const;
  QTableView* table() const { return table_; }
  class RecordsModel* model() const {
    return model_;
  }
  QLabel* said() const { return said_; }

  // Restores a record to the connected device; what happened, in a sentence.
  std::function<std::string(std::int64_t id)> restore;

 private:
  std::string where_;
  QTableView* table_ = nullptr;
  class RecordsModel* model_ = nullptr;
  QLabel* said_ = nullptr;
};

// The line's statistics of the store at `where` as a report, written to the cache folder and
// handed to open_url (the default browser); what happened, in a sentence.
std::string OpenLineStatistics(const std::string& where, const Limits& limits,
                               const std::function<bool(const QUrl&)>& open_url);

}  // namespace vx
