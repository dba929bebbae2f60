// What a station asks of the host in front of it, as small as the platform seam: a question, a
// warning, a run's progress, how an operation ended. The command line answers on the console,
// the desktop with its window, the tests with a script.
#pragma once

#include <string>
#include <vector>

namespace vx {

struct Outcome;
struct RunKind;

enum class Question {
  kObjections,   // what speaks against starting a run (its references)
  kDifferences,  // how the device differs from the unit a record is of
  kConfirm,      // the last question before the device is written
};

class StationUi {
 public:
  virtual ~StationUi() = default;
  // A question with its points, each a sentence; Cancel is the default. true: the user goes on.
  virtual bool Ask(Question kind, const std::string& question,
                   const std::vector<std::string>& points) = 0;
  // Something the user must be able to read afterwards (a state that was not saved, say).
  virtual void Warn(const std::string& text) = 0;
  // A run starts (its progress is shown while it lasts), and has ended.
  virtual void RunStarts(const RunKind& kind) = 0;
  virtual void RunEnds() = 0;
  // How an operation ended.
  virtual void Show(const Outcome& outcome) = 0;
};

}  // namespace vx
