#pragma once

// Instruction-set extensions the digest code can use, read once from cpuid.
[[nodiscard]] bool CpuHasShaNi();     // SHA extensions with SSSE3 and SSE4.1
[[nodiscard]] bool CpuHasPclmul();    // carry-less multiply with SSE4.1
[[nodiscard]] bool CpuHasAvxBmi2();   // AVX enabled by the system, and BMI2
[[nodiscard]] bool CpuHasAvx2Bmi2();  // the same with AVX2
// The same with AVX-512F and AVX-512VL, their register state enabled by the system.
[[nodiscard]] bool CpuHasAvx512VlBmi2();
