// The CPU check and the names shared by every variant family (nspisa.h).
#include "nspisa.h"

#include <cstring>
#include <iterator>

const char* nspIsaName(int isa) {
  return isa >= 0 && isa < static_cast<int>(std::size(nspIsaNames)) ? nspIsaNames[isa] : nullptr;
}

int nspIsaNamed(const char* name) {
  for (int isa : nspIsaAll) {
    if (name != nullptr && std::strcmp(name, nspIsaNames[isa]) == 0) return isa;
  }
  return -1;
}

bool nspCpuRuns(int isa) {
  switch (isa) {
    case NSP_IsaScalar: return true;
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    // The compiler's checks include the system's: AVX state saved by the
    // operating system, not only the CPU's feature bits.
    case NSP_IsaSse2: __builtin_cpu_init(); return __builtin_cpu_supports("sse2");
    case NSP_IsaAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case NSP_IsaAvx512: __builtin_cpu_init(); return __builtin_cpu_supports("avx512f");
#endif
    default: return false;
  }
}
