// nspdemo: shows the kernel at work on a few samples: 16-bit conversion
// both ways, the Bartlett window, polar form, and an error report.
#include <cstdint>
#include <cstdio>

#include "nsp.h"

namespace {

void printFloats(const char* title, const float* values, int n) {
  std::printf("%-28s", title);
  for (int i = 0; i < n; ++i) std::printf(" %9.4f", values[i]);
  std::printf("\n");
}

}  // namespace

int main() {
  const KernelVersion* version = nspKernelVersion();
  std::printf("%s %s %s (%s)\n\n", version->name, version->version, version->internalVersion,
              version->compilerMaker);

  const int16_t pcm[8] = {0, 12000, 32767, -32768, -5, 7, 20000, -20000};
  float samples[8];
  nspsbIntToFloat(pcm, samples, 8, 16, 0);
  printFloats("16-bit samples as floats:", samples, 8);

  float window[8];
  nspsbSet(1.0f, window, 8);
  nspsWinBartlett(window, 8);
  printFloats("Bartlett window, n=8:", window, 8);

  nspsbMpy2(window, samples, 8);
  printFloats("windowed samples:", samples, 8);

  int16_t back[8];
  nspsbFloatToInt(samples, back, 8, 16, NSP_ConvRoundNearest);
  std::printf("%-28s", "back to 16-bit (nearest):");
  for (int16_t v : back) std::printf(" %9d", v);
  std::printf("\n");

  const ComplexFloat points[4] = {{3, 4}, {-2, 0}, {0, -1}, {1, 1}};
  float magnitude[4], phase[4];
  nspcbCartToPolar(points, magnitude, phase, 4);
  printFloats("|(3,4) (-2,0) (0,-1) (1,1)|:", magnitude, 4);
  printFloats("phases (radians):", phase, 4);

  std::printf("\nA bad argument, reported in silent mode:\n");
  nspErrorModeSet(NSP_ErrorModeSilent);
  nspsbMpy1(2.0f, nullptr, 4);
  std::printf("status %d: %s\n", nspStatusGet(), nspStatusText(nspStatusGet()));
  return 0;
}
