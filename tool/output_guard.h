// The checks that keep the tool from destroying what it was not asked to
// write: no destination may be an input or another destination of the same
// run (judged by the file itself, so links and other spellings are
// caught), and a file the user could not write is not replaced.
#ifndef VORTIGEN_TOOL_OUTPUT_GUARD_H
#define VORTIGEN_TOOL_OUTPUT_GUARD_H

#include <string>
#include <vector>

namespace vortigen {

// A file a run writes, and what the user called it ("the output",
// "the spectrogram").
struct Destination {
  std::string path;
  std::string role;
};

// What tells two spellings of one file apart from two files, as a key: its
// device and inode when it is there (links followed), else its absolute
// path with "." and ".." and the links of its directories resolved.
std::string fileIdentity(const std::string& path);

// Throws UsageError when a destination is one of the inputs or shares its
// file with another destination. `inPlace` lets a single output be its
// input. Standard input and output ("-") take part in nothing.
void refuseOverlaps(const std::vector<std::string>& inputs,
                    const std::vector<Destination>& destinations, bool inPlace);

// Throws AudioError ("Permission denied") when `path` is there and the user
// could not write it: no write permission for them, or, for a user who may
// write anything, none for anyone (a read-only file).
void refuseUnwritable(const std::string& path);

}  // namespace vortigen

#endif
