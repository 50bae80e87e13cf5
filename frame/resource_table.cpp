// The plug-in's resources as the Linux dialog runtime finds them (Windows
// reads the resource script instead): dialog template 500 and the
// "TOOLBARICON" bitmap, both made from the plug-in's dialog_template.h.
#include "dialog_template.h"
#include "exports.h"
#include "toolbar_bitmap.h"
#include "vtplatform.h"

namespace {

#define VORTIGEN_ITEM_TEMPLATE(id, className, text, style, x, y, width, height) \
  {id, className, text, style, x, y, width, height},

constexpr VtDialogItemTemplate dialogItems[] = {VORTIGEN_DIALOG_ITEMS(VORTIGEN_ITEM_TEMPLATE)};

#undef VORTIGEN_ITEM_TEMPLATE

constexpr VtDialogTemplate dialogTemplate{VORTIGEN_DIALOG_STYLE | DS_SETFONT,
                                          VORTIGEN_DIALOG_X,
                                          VORTIGEN_DIALOG_Y,
                                          VORTIGEN_DIALOG_WIDTH,
                                          VORTIGEN_DIALOG_HEIGHT,
                                          VORTIGEN_DIALOG_CAPTION,
                                          VORTIGEN_DIALOG_FONT,
                                          VORTIGEN_DIALOG_FONT_SIZE,
                                          dialogItems,
                                          sizeof dialogItems / sizeof dialogItems[0]};

constexpr ToolbarDrawing toolbarDrawing = VORTIGEN_TOOLBAR_DRAWING;
static_assert(isToolbarDrawing(toolbarDrawing), "the toolbar drawing is 20 rows of 20 digits");
constexpr ToolbarBitmap toolbar = toolbarBitmap(toolbarDrawing);

}  // namespace

extern "C" VORTIGEN_EXPORT const VtModuleResource vtModuleResources[] = {
    {VT_RESOURCE_DIALOG, DialogTemplateId, nullptr, &dialogTemplate, sizeof dialogTemplate},
    {VT_RESOURCE_BITMAP, 0, "TOOLBARICON", toolbar.data(), toolbar.size()},
    {0, 0, nullptr, nullptr, 0}};
