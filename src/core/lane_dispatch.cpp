// src/core/lane_dispatch.cpp: the choice of the lane loops' instruction set, once per process
#include "core/lane_loops.hpp"

#include <cstdlib>
#include <cstring>

namespace vantorel::lanes {

namespace {

// From narrow to wide; a CPU that runs one runs those before it.
const Table* const by_width[] = {
    &table_baseline,
#if defined(VANTOREL_LANES_X86)
    &table_avx2,
    &table_avx512,
#endif
};
constexpr int target_count = sizeof by_width / sizeof by_width[0];

int widest_supported() noexcept {
#if defined(VANTOREL_LANES_X86)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return 2;
    if (__builtin_cpu_supports("avx2")) return 1;
#endif
    return 0;
}

const Table* choose() noexcept {
    const int widest = widest_supported();
    const char* wanted = std::getenv("VANTOREL_SIMD");
    if (wanted == nullptr || *wanted == '\0') return by_width[widest];
    // The names of every target are known, also those this build lacks.
    const char* const names[] = {"baseline", "avx2", "avx512"};
    for (int i = 0; i < 3; ++i) {
        if (std::strcmp(wanted, names[i]) != 0) continue;
        const int pick = i < widest ? i : widest;
        return by_width[pick < target_count ? pick : target_count - 1];
    }
    return nullptr;
}

}  // namespace

const Table* active() noexcept {
    static const Table* const chosen = choose();
    return chosen;
}

}  // namespace vantorel::lanes
