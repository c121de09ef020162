#include "platform/util/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

struct CpuFeatures {
  bool sha_ni = false;
  bool pclmul = false;
};

CpuFeatures Detect() {
  CpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return f;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  f.pclmul = sse41 && (ecx & bit_PCLMUL) != 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return f;
  f.sha_ni = ssse3 && sse41 && (ebx & bit_SHA) != 0;
#endif
  return f;
}

const CpuFeatures& Features() {
  static const CpuFeatures features = Detect();
  return features;
}

}  // namespace

bool CpuHasShaNi() { return Features().sha_ni; }

bool CpuHasPclmul() { return Features().pclmul; }
