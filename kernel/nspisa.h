// The instruction-set variants of the kernel's vectorised routines.
//
// The FFT stages (nspfftisa.h) and the polar conversions (nspvmath.h) each
// exist once per vector width. Both name the widths with the enumeration
// below, ask the CPU through nspCpuRuns, and keep the variant in use in an
// NspIsaChoice: the widest one the build and the CPU have, chosen on first
// use; tests and benchmarks may select another.
//
// A wide variant lives in a translation unit of its own, named
// <module>_<isa>.cpp and compiled alone with that instruction set; built
// without it (a compiler or target that lacks it) the unit only says so.
#ifndef VORTIGEN_KERNEL_NSPISA_H
#define VORTIGEN_KERNEL_NSPISA_H

#include <atomic>
#include <iterator>

enum NspIsa { NSP_IsaScalar = 0, NSP_IsaSse2 = 1, NSP_IsaAvx2 = 2, NSP_IsaAvx512 = 3 };

// Every variant, narrowest first, and the names tests, benchmarks and
// messages use for them.
inline constexpr int nspIsaAll[] = {NSP_IsaScalar, NSP_IsaSse2, NSP_IsaAvx2, NSP_IsaAvx512};
inline constexpr const char* nspIsaNames[] = {"scalar", "sse2", "avx2", "avx512"};

// The name of `isa`, or null when there is no such variant.
const char* nspIsaName(int isa);

// The variant named `name` (as in nspIsaNames), or -1.
int nspIsaNamed(const char* name);

// Whether this CPU and system run code built for `isa` (avx2 includes FMA,
// avx512 means AVX-512F). Scalar always; SSE2 wherever this build has it.
bool nspCpuRuns(int isa);

// The variant in use of one routine family. `Built` answers which variants
// this build compiled (null where not); a variant is offered only if the
// CPU runs it as well. Reads and switches are atomic, so a test switching
// variants races no caller into a torn pointer.
template <class Kernels>
class NspIsaChoice {
 public:
  using Built = const Kernels* (*)(int isa);
  explicit constexpr NspIsaChoice(Built built) : built_(built) {}

  // The variant `isa` if this build and CPU have it, else null.
  const Kernels* variant(int isa) const { return nspCpuRuns(isa) ? built_(isa) : nullptr; }

  const Kernels& inUse() {
    const Kernels* kernels = active_.load(std::memory_order_relaxed);
    if (kernels == nullptr) {
      for (int i = static_cast<int>(std::size(nspIsaAll)) - 1; kernels == nullptr; --i) {
        kernels = variant(nspIsaAll[i]);
      }
      active_.store(kernels, std::memory_order_relaxed);
    }
    return *kernels;
  }

  bool select(int isa) {
    const Kernels* kernels = variant(isa);
    if (kernels == nullptr) return false;
    active_.store(kernels, std::memory_order_relaxed);
    return true;
  }

 private:
  Built built_;
  std::atomic<const Kernels*> active_{nullptr};
};

#endif
