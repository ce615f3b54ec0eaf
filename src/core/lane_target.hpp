// src/core/lane_target.hpp: the names a lane file gives its loops, one per instruction set it is built for
#pragma once

#if !defined(VANTOREL_LANES_TARGET)
#error "VANTOREL_LANES_TARGET names the instruction set: baseline, avx2 or avx512"
#endif

#define VANTOREL_LANES_CAT2(a, b) a##b
#define VANTOREL_LANES_CAT(a, b) VANTOREL_LANES_CAT2(a, b)
// name_baseline, name_avx2 or name_avx512, as the build defines VANTOREL_LANES_TARGET.
#define VANTOREL_PER_TARGET(name) VANTOREL_LANES_CAT(name, VANTOREL_LANES_TARGET)
