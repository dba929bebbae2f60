// Files the programs write (an export, a report, a simulator state, a trace), written as a
// careful tool writes them. What is at the path decides how: a regular file is replaced whole
// or not at all (a temporary file beside it, renamed over it once complete, its rights kept);
// a device, a FIFO or "-" (standard output) is written through, never replaced; a link is
// followed to what it names; a folder, a read-only file or anything else is refused.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace vx {

struct OutputPath {
  enum Kind { kFile, kStream, kRefused } kind = kRefused;
  std::string path;  // where the bytes go: the link's target, or the path as given
  std::string why;   // for kRefused: why nothing can be written there
};

// What writing to `path` means: a file (there or new in a folder that exists), a stream, or
// why not.
OutputPath OutputAt(const std::string& path);

// Writes to `path` as OutputAt says. Throws std::runtime_error naming the file when it cannot
// (also what `write` throws), with a temporary file removed and anything there left as it was.
void WriteWholeFile(const std::string& path, const std::function<void(std::ostream&)>& write);

}  // namespace vx
