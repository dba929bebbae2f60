// The records of a store as rows of a table, newest first, read a page at a time as the user
// scrolls down: a window on ten million records opens as fast as on ten.
#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <string>
#include <vector>

#include "records/store.h"

namespace vx {

class RecordsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  static constexpr int kPage = 200;

  // Opens the store and reads the first page; false (with why()) when the store cannot be read.
  bool Open(const std::string& where);
  const std::string& why() const { return why_; }
  // The damaged rows of the pages read so far, left out of the table; "" when there were none.
  std::string left_out() const;
  std::int64_t IdAt(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

 signals:
  void failed(const QString& why);
  void leftOut(const QString& said);

 private:
  std::unique_ptr<records::Store> store_;
  std::vector<records::Summary> rows_;
  bool more_ = false;
  // The oldest row read, damaged ones included: the next page begins below it.
  std::int64_t oldest_ = 0;
  int damaged_ = 0;
  std::string why_, first_damaged_;
};

}  // namespace vx
