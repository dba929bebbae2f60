#include "hosts/desktop/records_model.h"

#include "hosts/analytics/record_words.h"

namespace vx {

namespace {

const char* const kHeaders[] = {"Record", "Time (UTC)", "Station", "Operator",
                                "Unit",   "Run",        "Outcome"};

}  // namespace

bool RecordsModel::Open(const std::string& where) {
  beginResetModel();
  rows_.clear();
  store_.reset();
  more_ = false;
  oldest_ = 0;
  damaged_ = 0;
  why_.clear();
  first_damaged_.clear();
  try {
    store_ = records::OpenStore(where, records::Access::kRead);
    more_ = true;
  } catch (const std::exception& e) {
    why_ = e.what();
  }
  endResetModel();
  if (more_) fetchMore({});
  return why_.empty();
}

std::string RecordsModel::left_out() const {
  if (damaged_ < 2) return first_damaged_;
  return first_damaged_ + "; and " + std::to_string(damaged_ - 1) + " more damaged rows";
}

std::int64_t RecordsModel::IdAt(int row) const {
  return row >= 0 && row < rowCount() ? rows_[static_cast<std::size_t>(row)].id : 0;
}

int RecordsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::size(kHeaders));
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const records::Summary& r = rows_[static_cast<std::size_t>(index.row())];
  const std::string* texts[] = {&r.time_utc, &r.station, &r.operator_name,
                                &r.unit,     &r.run,     &r.outcome};
  if (index.column() == 0) return QString::number(r.id);
  if (index.column() > static_cast<int>(std::size(texts))) return {};
  return QString::fromStdString(records::Printable(*texts[index.column() - 1]));
}

QVariant RecordsModel::headerData(int section, Qt::Orientation o, int role) const {
  if (role != Qt::DisplayRole || o != Qt::Horizontal || section < 0 || section >= columnCount()) {
    return {};
  }
  return QString(kHeaders[section]);
}

bool RecordsModel::canFetchMore(const QModelIndex& parent) const {
  return !parent.isValid() && more_;
}

void RecordsModel::fetchMore(const QModelIndex& parent) {
  if (!canFetchMore(parent)) return;
  records::Query q;
  q.newest_first = true;
  q.limit = kPage;
  q.before_id = oldest_;
  std::vector<records::Summary> page;
  // A damaged row counts towards the page: a page short of its size is the last one.
  int read = 0;
  const int damaged_before = damaged_;
  try {
    store_->EachSummary(
        q,
        [&](const records::Summary& r) {
          ++read;
          oldest_ = r.id;
          page.push_back(r);
        },
        [&](std::int64_t id, const std::string& why) {
          ++read;
          oldest_ = id;
          if (damaged_++ == 0) first_damaged_ = DamagedSentence(id, why);
        });
  } catch (const std::exception& e) {
    more_ = false;
    why_ = e.what();
    emit failed(QString::fromStdString(why_));
    return;
  }
  more_ = read == kPage;
  if (damaged_ > damaged_before) emit leftOut(QString::fromStdString(left_out()));
  if (page.empty()) return;
  beginInsertRows({}, rowCount(), rowCount() + static_cast<int>(page.size()) - 1);
  for (auto& r : page)
    rows_.push_back(std::move(r));
  endInsertRows();
}

}  // namespace vx
