// The effect commands' part of the command line: the subcommand of one
// effect, whose options fill an EffectRun, and the examples the tool's
// help and each effect's help end with.
#ifndef VORTIGEN_TOOL_EFFECT_OPTIONS_H
#define VORTIGEN_TOOL_EFFECT_OPTIONS_H

#include "vortigen_commands.h"
#include "vortigen_plugins.h"

namespace CLI {
class App;
}

namespace vortigen {

extern const char* const commandExamples;

// Adds the effect's subcommand to app; parsing fills run.
void addEffectCommand(CLI::App& app, const EffectCommand& effect, EffectRun& run);

}  // namespace vortigen

#endif  // VORTIGEN_TOOL_EFFECT_OPTIONS_H
