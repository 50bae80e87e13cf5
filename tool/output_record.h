// The completion record: a line the tool writes into the tags of every
// output it finishes, naming its version and a digest of what made the
// output (effect, curves, output options, and the input's size and
// modification time). A batch run skips an output only when its record is
// the one this run would write; anything else is done again.
#ifndef VORTIGEN_TOOL_OUTPUT_RECORD_H
#define VORTIGEN_TOOL_OUTPUT_RECORD_H

#include <cstdint>
#include <string>

#include "audio_file.h"
#include "vortigen_commands.h"

namespace vortigen {

// The tool's name and version, as the software tag of outputs holds it.
std::string toolNameAndVersion();

// The run's settings as text (effect, every curve's points, --bits,
// --from, --to and the output's container), the part of a record
// that is the same for every input of a run.
std::string settingsKey(const EffectRun& run, const RunSettings& settings,
                        const std::string& output);

// The record an output of `input` made with these settings carries:
// "vortigen VERSION, settings 0123456789abcdef".
std::string completionRecord(const std::string& settingsKey, const std::string& input);

// The completion record in a file's tags, or an empty text.
std::string recordOf(const std::string& path);

// The sample frames of a sound file as its header states them, and its
// channel count; -1 when it cannot be opened as a sound file.
int64_t soundFileFrames(const std::string& path, int& channels);

enum class OutputState {
  Absent,           // no file of the name
  Complete,         // finished by a run with the same settings on the same input
  ChangedSettings,  // finished by the tool, but with other settings, input or version
  Partial,          // anything else: no record, unreadable, or not as long as the input
};

// What stands at `output` for a run whose outputs carry `record`;
// `input` is read for its length.
OutputState outputState(const std::string& input, const std::string& output,
                        const std::string& record);

}  // namespace vortigen

#endif
