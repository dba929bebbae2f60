// Writers of one SQLite file take turns in the order they asked. SQLite gives its write lock to
// whoever asks while it is free, and a waiting writer only asks again after a sleep: a station
// that stores record after record keeps the lock while the others wait many times as long. The
// turn is a lock on a file beside the store ("-writers"), and the kernel wakes its waiters
// in turn.
#pragma once

#include <chrono>
#include <string>

namespace vx::records {

class WriterTurns {
 public:
  // Nothing is opened before the first turn.
  explicit WriterTurns(std::string store_path) : path_(std::move(store_path) + "-writers") {}
  ~WriterTurns();
  WriterTurns(const WriterTurns&) = delete;
  WriterTurns& operator=(const WriterTurns&) = delete;

  // Waits for this writer's turn until `deadline` or a stop since `mark` (Outside()); throws
  // StoreError naming `store` then. Where the file cannot be kept (a read-only folder, no
  // locks on the file system, something other than a file at its place), the turn is given at
  // once: SQLite's own lock still keeps the writes apart.
  void Take(std::chrono::steady_clock::time_point deadline, int mark, const std::string& store);
  void Give();

 private:
  std::string path_;
  int fd_ = -1;
  bool opened_ = false;
  bool held_ = false;
};

// Holds a turn for as long as it lives.
class WriterTurn {
 public:
  WriterTurn(WriterTurns& turns, std::chrono::steady_clock::time_point deadline, int mark,
             const std::string& store)
      : turns_(turns) {
    turns_.Take(deadline, mark, store);
  }
  ~WriterTurn() { turns_.Give(); }
  WriterTurn(const WriterTurn&) = delete;
  WriterTurn& operator=(const WriterTurn&) = delete;

 private:
  WriterTurns& turns_;
};

}  // namespace vx::records
