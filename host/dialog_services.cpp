// The dialog services of the reference host: the slots of a record filled
// from its two parts, the preset book (preset_book.cpp) and the curve
// editor (curve_editor.cpp), and the start of a dialog, which both share.
#include "dialog_services.h"

#include "dialog_service_parts.h"
#include "vthost.h"

namespace vthost {

namespace {

LONG XFMAPI dialogStart(HWND dialog, LONG zero) {
  EffectHost* h = logged(Service::DialogStart, {zero});
  if (h == nullptr) return 0;
  h->dialogSide() = DialogSide{};
  h->dialogSide().dialog = dialog;
  return 0;
}

}  // namespace

void installDialogServices(XfmDoRecord& record) {
  record.dialogStart = dialogStart;
  installPresetBook(record);
  installCurveEditor(record);
}

}  // namespace vthost
