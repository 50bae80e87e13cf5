// What the two parts of the reference host's dialog services share: the
// logging of a service call, and each part's filling of the record's
// slots. Only the host's own files include it.
#ifndef VORTIGEN_HOST_DIALOG_SERVICE_PARTS_H
#define VORTIGEN_HOST_DIALOG_SERVICE_PARTS_H

#include <string>
#include <utility>
#include <vector>

#include "dialog_services.h"
#include "vthost.h"

namespace vthost {

inline std::string textOf(LPCSTR text) { return text != nullptr ? text : ""; }

inline long handleOf(UINT curve) { return static_cast<long>(curve); }

// The host whose export call is running, with the call logged; null when
// the service was called outside every export call.
inline EffectHost* logged(Service service, std::vector<long> args, std::string text = {}) {
  EffectHost* h = callingHost(serviceName(service));
  if (h != nullptr) h->log(HostCall{service, std::move(args), 0.0, std::move(text)});
  return h;
}

// The preset services (preset_book.cpp).
void installPresetBook(XfmDoRecord& record);
// The curve services (curve_editor.cpp).
void installCurveEditor(XfmDoRecord& record);

}  // namespace vthost

#endif  // VORTIGEN_HOST_DIALOG_SERVICE_PARTS_H
