// Hot loops are compiled twice, for baseline x86-64 and for AVX2, and the
// dynamic loader picks the version the processor can run. Both versions do
// the same single-precision operations in the same order (the DSP folders
// build without fused multiply-adds), so their results are bit-identical;
// the wider registers only run more butterflies and bins side by side.
// Functions a cloned function calls inside its own file are inlined into
// each version.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define TONEWELL_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TONEWELL_VECTOR_CLONES
#endif
