/* dialog_template.h - the Fourier plug-in's dialog template 500 and its
 * toolbar bitmap, stated once; the resource script and the Linux resource
 * table are both made from here (frame/dialog_items.h). */
#ifndef VORTIGEN_FOURIER_DIALOG_TEMPLATE_H
#define VORTIGEN_FOURIER_DIALOG_TEMPLATE_H

#include "dialog_items.h"

#define VORTIGEN_PLUGIN_NAME "fourier"
#define VORTIGEN_DIALOG_CAPTION "Fourier Vortigen"

/* The id of the curve control, which the host draws the curve in. */
enum FourierCurveControl { TransferCurveControl = 1023 };

/* One large curve control: Source from 0 to Max below it, Dest from 0 to
 * Max beside it, the word Dest spelt downwards by items 16 to 19. */
#define VORTIGEN_DIALOG_ITEMS(ITEM)                               \
  VORTIGEN_SUNKEN_BOX(ITEM, TransferCurveControl, 4, 6, 188, 167) \
  VORTIGEN_DIALOG_BUTTONS_AND_PRESETS(ITEM)                       \
  VORTIGEN_SEPARATOR(ITEM, 210, 0, 1, 214)                        \
  VORTIGEN_LABEL(ITEM, "Source", 15, 175, 24, 8)                  \
  VORTIGEN_LABEL(ITEM, "0", 4, 175, 6, 8)                         \
  VORTIGEN_LABEL(ITEM, "Max", 178, 175, 15, 8)                    \
  VORTIGEN_LABEL(ITEM, "0", 194, 164, 6, 8)                       \
  VORTIGEN_LABEL(ITEM, "Max", 194, 6, 15, 8)                      \
  VORTIGEN_LABEL(ITEM, "D", 197, 64, 7, 8)                        \
  VORTIGEN_LABEL(ITEM, "e", 197, 70, 6, 8)                        \
  VORTIGEN_LABEL(ITEM, "t", 198, 85, 4, 8)                        \
  VORTIGEN_LABEL(ITEM, "s", 197, 77, 5, 8)                        \
  VORTIGEN_READOUT(ITEM, 88, 179, 80, 8)                          \
  VORTIGEN_SUNKEN_BOX(ITEM, -1, 85, 176, 89, 15)                  \
  VORTIGEN_STATE_HOLDER(ITEM)

/* A transfer curve: black axes, the blue diagonal, three magenta peaks.
 * One string per row of the picture, which the formatter must leave as it
 * is. */
/* clang-format off */
#define VORTIGEN_TOOLBAR_DRAWING \
  {                              \
    "88888888888888888888",      \
    "8FFFFFFFFFFFFFFFFFF8",      \
    "8F0FFFFFFFFFFFFFFCF8",      \
    "8F0FFFFFFFFFFFFFCFF8",      \
    "8F0FFFFFFFFFFFFCFFF8",      \
    "8F0FFFFFFFFFFFCFFFF8",      \
    "8F0FFFFFFFFFFCFFFFF8",      \
    "8F0FFFFFFFFFCFFFFFF8",      \
    "8F0FFFFFFFFCFFFFFFF8",      \
    "8F0FFFFFFFDFFFFFFFF8",      \
    "8F0FFFFFFCDFFFDFFFF8",      \
    "8F0FFFDFCFDFFFDFFFF8",      \
    "8F0FFFDCFFDFFFDFFFF8",      \
    "8F0FFFDFFFDFFFDFFFF8",      \
    "8F0FFCDFFFDFFFDFFFF8",      \
    "8F0FCFDFFFDFFFDFFFF8",      \
    "8F0CFFDFFFDFFFDFFFF8",      \
    "8F0000000000000000F8",      \
    "8FFFFFFFFFFFFFFFFFF8",      \
    "88888888888888888888",      \
  }
/* clang-format on */

#endif
