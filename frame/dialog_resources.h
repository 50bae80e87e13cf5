// The settings dialog's resources as a plug-in hands them to the frame:
// dialog template 500, the "TOOLBARICON" bitmap and the plug-in's name.
// Each plug-in defines the three objects below in its dialog_resources.cpp
// by expanding VORTIGEN_DEFINE_DIALOG_RESOURCES after its own
// dialog_template.h; the frame's resource table (Linux) and the resource
// script generator rcgen (Windows) read them through these declarations,
// so the frame never needs to find a plug-in's header.
#ifndef VORTIGEN_FRAME_DIALOG_RESOURCES_H
#define VORTIGEN_FRAME_DIALOG_RESOURCES_H

#include "toolbar_bitmap.h"
#include "vtplatform.h"

extern const char vortigenPluginName[];  // "dynamic": the name of the .rc rcgen writes
extern const VtDialogTemplate vortigenDialogTemplate;  // template 500, with DS_SETFONT
extern const ToolbarBitmap vortigenToolbarBitmap;      // the .bmp file's bytes

// Expanded once in a plug-in's dialog_resources.cpp, after its
// dialog_template.h (VORTIGEN_PLUGIN_NAME, VORTIGEN_DIALOG_ITEMS,
// VORTIGEN_DIALOG_CAPTION, VORTIGEN_TOOLBAR_DRAWING).
#define VORTIGEN_ITEM_TEMPLATE(id, className, text, style, x, y, width, height) \
  {id, className, text, style, x, y, width, height},
#define VORTIGEN_DEFINE_DIALOG_RESOURCES                                                          \
  namespace {                                                                                     \
  constexpr VtDialogItemTemplate dialogItems[] = {VORTIGEN_DIALOG_ITEMS(VORTIGEN_ITEM_TEMPLATE)}; \
  constexpr ToolbarDrawing toolbarDrawing = VORTIGEN_TOOLBAR_DRAWING;                             \
  static_assert(isToolbarDrawing(toolbarDrawing), "the toolbar drawing is 20 rows of 20 digits"); \
  }                                                                                               \
  extern const char vortigenPluginName[] = VORTIGEN_PLUGIN_NAME;                                  \
  extern const VtDialogTemplate vortigenDialogTemplate{                                           \
      VORTIGEN_DIALOG_STYLE | DS_SETFONT,                                                         \
      VORTIGEN_DIALOG_X,                                                                          \
      VORTIGEN_DIALOG_Y,                                                                          \
      VORTIGEN_DIALOG_WIDTH,                                                                      \
      VORTIGEN_DIALOG_HEIGHT,                                                                     \
      VORTIGEN_DIALOG_CAPTION,                                                                    \
      VORTIGEN_DIALOG_FONT,                                                                       \
      VORTIGEN_DIALOG_FONT_SIZE,                                                                  \
      dialogItems,                                                                                \
      sizeof dialogItems / sizeof dialogItems[0]};                                                \
  extern const ToolbarBitmap vortigenToolbarBitmap = toolbarBitmap(toolbarDrawing);

#endif
