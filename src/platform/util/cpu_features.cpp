#include "platform/util/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

struct CpuFeatures {
  bool sha_ni = false;
  bool pclmul = false;
  bool avx_bmi2 = false;
  bool avx2_bmi2 = false;
  bool avx512vl_bmi2 = false;
};

CpuFeatures Detect() {
  CpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return f;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  f.pclmul = sse41 && (ecx & bit_PCLMUL) != 0;
  // AVX needs the system to save the vector registers: XCR0 bits 1 and 2.
  bool avx = (ecx & bit_AVX) != 0 && (ecx & bit_OSXSAVE) != 0;
  // AVX-512 also needs the opmask and upper register state: XCR0 bits 5 to 7.
  bool avx512_state = false;
  if (avx) {
    unsigned xcr0_low = 0, xcr0_high = 0;
    __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
    avx = (xcr0_low & 6) == 6;
    avx512_state = avx && (xcr0_low & 0xE0) == 0xE0;
  }
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return f;
  f.sha_ni = ssse3 && sse41 && (ebx & bit_SHA) != 0;
  f.avx_bmi2 = avx && (ebx & bit_BMI2) != 0;
  f.avx2_bmi2 = f.avx_bmi2 && (ebx & bit_AVX2) != 0;
  f.avx512vl_bmi2 = f.avx2_bmi2 && avx512_state && (ebx & bit_AVX512F) != 0 &&
                    (ebx & bit_AVX512VL) != 0;
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

bool CpuHasAvxBmi2() { return Features().avx_bmi2; }

bool CpuHasAvx2Bmi2() { return Features().avx2_bmi2; }

bool CpuHasAvx512VlBmi2() { return Features().avx512vl_bmi2; }
