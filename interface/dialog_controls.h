/* dialog_controls.h - the ids of the controls of dialog template 500 that
 * both plug-ins' templates carry and that code refers to: the frame's
 * dialog procedure, the host's dialog services and the templates
 * themselves (dialog_items.h). Hosts address the controls by these
 * numbers, so they never change. The curve controls belong to each plug-in
 * (its dialog_template.h).
 */
#ifndef VORTIGEN_INTERFACE_DIALOG_CONTROLS_H
#define VORTIGEN_INTERFACE_DIALOG_CONTROLS_H

enum DialogControl {
  HelpButton = 300,
  AddPresetButton = 325,
  PresetList = 1005,
  PresetNameBox = 1006,
  ValueReadout = 1024,
  StateHolder = 1025,
  DeletePresetButton = 1109
};

#endif
