// Runs FFT tests on every vector width of the kernel that this machine has.
#pragma once

#include <vector>

#include "nspfftisa.h"

// The widths to test: all that this build and CPU run, or only the widest.
inline std::vector<int> isasToTest(bool allWidths) {
  std::vector<int> isas;
  for (int isa : {NSP_FftIsaAvx2, NSP_FftIsaSse2, NSP_FftIsaScalar}) {
    if (nspFftSelectIsa(isa)) isas.push_back(isa);
  }
  if (!allWidths) isas.resize(1);
  nspFftSelectIsa(isas.front());
  return isas;
}

inline void selectWidestIsa() { nspFftSelectIsa(isasToTest(false).front()); }

inline const char* isaName(int isa) {
  switch (isa) {
    case NSP_FftIsaAvx2: return "AVX2";
    case NSP_FftIsaSse2: return "SSE2";
    default: return "scalar";
  }
}
