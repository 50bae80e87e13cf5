// A built-in preset of a plug-in: the key it goes under in the profile
// section ("Item1") and its text ("Flat (no effect),3,..."). Each plug-in
// holds its presets as one table of these; its dialog seeds an empty
// profile section from the table, and the engine lists the same table, so
// the plug-in and every door see one record. A plain record, as the
// plug-ins' code is.
#ifndef VORTIGEN_INTERFACE_BUILT_IN_PRESET_H
#define VORTIGEN_INTERFACE_BUILT_IN_PRESET_H

struct BuiltInPreset {
  const char* key;
  const char* text;
};

#endif  // VORTIGEN_INTERFACE_BUILT_IN_PRESET_H
