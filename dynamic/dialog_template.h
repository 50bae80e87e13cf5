/* dialog_template.h - the Dynamic plug-in's dialog template 500 and its
 * toolbar bitmap, stated once; the resource script and the Linux resource
 * table are both made from here (frame/dialog_items.h). */
#ifndef VORTIGEN_DYNAMIC_DIALOG_TEMPLATE_H
#define VORTIGEN_DYNAMIC_DIALOG_TEMPLATE_H

#include "dialog_items.h"

#define VORTIGEN_PLUGIN_NAME "dynamic"
#define VORTIGEN_DIALOG_CAPTION "Dynamic Vortigen"

/* The ids of the curve controls, which the host draws the curves in. */
enum DynamicCurveControl {
  AttackCurveControl = 1023,
  ReleaseCurveControl = 1026,
  ChaosCurveControl = 1028
};

/* Three curve controls one above the other (Attack, Release, Chaos), each
 * with its name, its frequency ends and its level ends. */
#define VORTIGEN_DIALOG_ITEMS(ITEM)                              \
  VORTIGEN_SUNKEN_BOX(ITEM, AttackCurveControl, 6, 9, 186, 52)   \
  VORTIGEN_DIALOG_BUTTONS_AND_PRESETS(ITEM)                      \
  VORTIGEN_SEPARATOR(ITEM, 213, 0, 1, 213)                       \
  VORTIGEN_READOUT(ITEM, 108, 198, 69, 8)                        \
  VORTIGEN_SUNKEN_BOX(ITEM, -1, 105, 195, 75, 15)                \
  VORTIGEN_STATE_HOLDER(ITEM)                                    \
  VORTIGEN_SUNKEN_BOX(ITEM, ReleaseCurveControl, 6, 73, 186, 52) \
  VORTIGEN_SUNKEN_BOX(ITEM, ChaosCurveControl, 6, 137, 186, 52)  \
  VORTIGEN_LABEL(ITEM, "Attack", 90, 0, 20, 8)                   \
  VORTIGEN_LABEL(ITEM, "Release", 86, 64, 27, 8)                 \
  VORTIGEN_LABEL(ITEM, "Chaos", 88, 128, 21, 8)                  \
  VORTIGEN_LABEL(ITEM, "Low Frec.", 7, 0, 30, 8)                 \
  VORTIGEN_LABEL(ITEM, "Low Frec.", 6, 64, 30, 8)                \
  VORTIGEN_LABEL(ITEM, "Low Frec.", 7, 128, 30, 8)               \
  VORTIGEN_LABEL(ITEM, "High Frec.", 158, 0, 32, 8)              \
  VORTIGEN_LABEL(ITEM, "High Frec.", 158, 64, 32, 8)             \
  VORTIGEN_LABEL(ITEM, "High Frec.", 157, 128, 32, 8)            \
  VORTIGEN_LABEL(ITEM, "Hard", 193, 9, 16, 8)                    \
  VORTIGEN_LABEL(ITEM, "Soft", 193, 53, 13, 8)                   \
  VORTIGEN_LABEL(ITEM, "Hard", 193, 73, 16, 8)                   \
  VORTIGEN_LABEL(ITEM, "Soft", 193, 117, 13, 8)                  \
  VORTIGEN_LABEL(ITEM, "0", 195, 181, 8, 8)                      \
  VORTIGEN_LABEL(ITEM, "Max.", 193, 137, 16, 8)

/* Three small curves on white: a red attack rising to hard, a green
 * release falling to soft, a blue chaos line. One string per row of the
 * picture, which the formatter must leave as it is. */
/* clang-format off */
#define VORTIGEN_TOOLBAR_DRAWING \
  {                              \
    "88888888888888888888",      \
    "8FFFFFFFFFFFFFFFFFF8",      \
    "8FFFFFFF9999999999F8",      \
    "8FFFFFF9FFFFFFFFFFF8",      \
    "8FFFFF9FFFFFFFFFFFF8",      \
    "8F9999FFFFFFFFFFFFF8",      \
    "87777777777777777778",      \
    "8FFFFFFFFFFFFFFFFFF8",      \
    "8F222222222FFFFFFFF8",      \
    "8FFFFFFFFFF2FFFFFFF8",      \
    "8FFFFFFFFFFF2FFFFFF8",      \
    "8FFFFFFFFFFFF22222F8",      \
    "87777777777777777778",      \
    "8FFFFCFFFFCFFFFFCFF8",      \
    "8FFCFCFFCFCFFFCFCFF8",      \
    "8FFCCFCCCFCCCFCCCFF8",      \
    "8FCFCFCFFCFCCCFCFCF8",      \
    "8FCFFFCFFCFFFCFFFCF8",      \
    "8FFFFFFFFFFFFFFFFFF8",      \
    "88888888888888888888",      \
  }
/* clang-format on */

#endif
