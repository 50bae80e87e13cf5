// Runs FFT tests on every vector width of the kernel that this machine has.
#pragma once

#include <vector>

#include "nspfftisa.h"

// The widths to test, widest first: all that this build and CPU run, or
// only the widest. Leaves the widest selected.
inline std::vector<int> isasToTest(bool allWidths) {
  std::vector<int> isas;
  for (int i = static_cast<int>(std::size(nspIsaAll)) - 1; i >= 0; --i) {
    if (nspFftSelectIsa(nspIsaAll[i])) isas.push_back(nspIsaAll[i]);
  }
  if (!allWidths) isas.resize(1);
  nspFftSelectIsa(isas.front());
  return isas;
}

inline void selectWidestIsa() { nspFftSelectIsa(isasToTest(false).front()); }

inline const char* isaName(int isa) { return nspIsaName(isa); }
