// A picture of an open dialog of the Linux dialog runtime, as a person
// would see it on the screen: the window with its caption, every visible
// control where the template puts it, and what has been drawn into the
// dialog (the curves). Written as a PNG file with cairo.
#ifndef VORTIGEN_TOOL_DIALOG_PICTURE_H
#define VORTIGEN_TOOL_DIALOG_PICTURE_H

#include <string>

#include "vtplatform.h"

namespace vortigen {

// Draws the dialog, enlarged by scale, into a PNG file. Throws HostError
// naming the file when it cannot be written.
void writeDialogPicture(HWND dialog, const std::string& pngPath, double scale);

}  // namespace vortigen

#endif
