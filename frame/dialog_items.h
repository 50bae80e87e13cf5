/* dialog_items.h - the parts of dialog template 500 both plug-ins share.
 *
 * Each plug-in states its whole template once, in its dialog_template.h,
 * as VORTIGEN_DIALOG_ITEMS(ITEM): one ITEM(id, class, text, style, x, y,
 * width, height) per control in template order, positions and sizes in
 * dialog units, id -1 for a control without one. The same list becomes
 * the Windows resource script (rcgen.cpp) and the Linux resource table
 * (resource_table.cpp). The macros below are its common pieces.
 */
#ifndef VORTIGEN_FRAME_DIALOG_ITEMS_H
#define VORTIGEN_FRAME_DIALOG_ITEMS_H

#include "dialog_controls.h"
#include "win32.h"

/* Popup with caption and system menu in a modal frame, at (73, 38),
 * 302 x 214 dialog units, in 8-point "MS Sans Serif". */
#define VORTIGEN_DIALOG_STYLE (DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define VORTIGEN_DIALOG_X 73
#define VORTIGEN_DIALOG_Y 38
#define VORTIGEN_DIALOG_WIDTH 302
#define VORTIGEN_DIALOG_HEIGHT 214
#define VORTIGEN_DIALOG_FONT "MS Sans Serif"
#define VORTIGEN_DIALOG_FONT_SIZE 8

#define VORTIGEN_CHILD (WS_CHILD | WS_VISIBLE)

/* OK, Cancel, help and the preset pane: items 2 to 9 of both templates.
 * OK is not the default push button. */
#define VORTIGEN_DIALOG_BUTTONS_AND_PRESETS(ITEM)                                                  \
  ITEM(1, "BUTTON", "OK", BS_PUSHBUTTON | VORTIGEN_CHILD | WS_GROUP | WS_TABSTOP, 3, 196, 40, 14)  \
  ITEM(2, "BUTTON", "Cancel", BS_PUSHBUTTON | VORTIGEN_CHILD | WS_TABSTOP, 49, 196, 40, 14)        \
  ITEM(HelpButton, "BUTTON", "?", BS_PUSHBUTTON | VORTIGEN_CHILD | WS_TABSTOP, 187, 196, 16, 14)   \
  ITEM(-1, "STATIC", "&Presets", SS_LEFT | VORTIGEN_CHILD | WS_GROUP, 215, 2, 30, 8)               \
  ITEM(PresetList, "LISTBOX", "",                                                                  \
       LBS_SORT | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | VORTIGEN_CHILD | WS_BORDER | WS_VSCROLL |    \
           WS_TABSTOP,                                                                             \
       216, 13, 83, 169)                                                                           \
  ITEM(PresetNameBox, "EDIT", "",                                                                  \
       ES_LEFT | ES_AUTOHSCROLL | VORTIGEN_CHILD | WS_BORDER | WS_TABSTOP, 216, 184, 84, 12)       \
  ITEM(AddPresetButton, "BUTTON", "Add", BS_PUSHBUTTON | VORTIGEN_CHILD | WS_TABSTOP, 216, 199,    \
       29, 11)                                                                                     \
  ITEM(DeletePresetButton, "BUTTON", "Del", BS_PUSHBUTTON | VORTIGEN_CHILD | WS_TABSTOP, 271, 199, \
       29, 11)

/* A static sunken grey box (the system's grey-frame style): a curve
 * control (the plug-in's curve control ids) or the box around the readout
 * (id -1). */
#define VORTIGEN_SUNKEN_BOX(ITEM, id, x, y, width, height) \
  ITEM(id, "STATIC", "", SS_GRAYFRAME | SS_SUNKEN | VORTIGEN_CHILD, x, y, width, height)

/* The etched vertical line between the curve area and the preset pane. */
#define VORTIGEN_SEPARATOR(ITEM, x, y, width, height) \
  ITEM(-1, "STATIC", "", SS_ETCHEDVERT | VORTIGEN_CHILD, x, y, width, height)

/* A label without an id. */
#define VORTIGEN_LABEL(ITEM, text, x, y, width, height) \
  ITEM(-1, "STATIC", text, SS_LEFT | VORTIGEN_CHILD, x, y, width, height)

/* The value readout the host writes into. */
#define VORTIGEN_READOUT(ITEM, x, y, width, height) \
  ITEM(ValueReadout, "STATIC", "data", SS_LEFT | VORTIGEN_CHILD, x, y, width, height)

/* The state holder: never visible. */
#define VORTIGEN_STATE_HOLDER(ITEM) \
  ITEM(StateHolder, "STATIC", "", SS_LEFT | WS_CHILD, 93, 200, 8, 7)

#endif
