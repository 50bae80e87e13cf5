// The Fourier plug-in's dialog template 500, toolbar bitmap and name as the
// frame reads them (frame/dialog_resources.h), made from dialog_template.h.
#include "dialog_template.h"

#include "dialog_resources.h"

VORTIGEN_DEFINE_DIALOG_RESOURCES
