// The plug-in's resources as the Linux dialog runtime finds them (Windows
// reads the resource script instead): dialog template 500 and the
// "TOOLBARICON" bitmap, both from the plug-in's dialog_resources.cpp.
#include "dialog_resources.h"
#include "exports.h"

extern "C" VORTIGEN_EXPORT const VtModuleResource vtModuleResources[] = {
    {VT_RESOURCE_DIALOG, DialogTemplateId, nullptr, &vortigenDialogTemplate,
     sizeof vortigenDialogTemplate},
    {VT_RESOURCE_BITMAP, 0, "TOOLBARICON", &vortigenToolbarBitmap, sizeof vortigenToolbarBitmap},
    {0, 0, nullptr, nullptr, 0}};
