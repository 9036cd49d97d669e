// Sixteen bytes at a time, for the finds that run over whole pages: the
// compiler's vector extension (GCC and Clang), with the lanes turned into a
// bit mask by SSE2 where the machine has it.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using TByteLanes = unsigned char __attribute__((vector_size(16)));
// What comparing two TByteLanes gives: all ones in a lane that holds.
using TLaneFlags = signed char __attribute__((vector_size(16)));
constexpr int64_t kByteLanes = 16;

// The sixteen bytes at p, which need not be aligned.
inline TByteLanes LoadLanes(const unsigned char* p)
{
    TByteLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// c in every lane.
inline TByteLanes SplatLanes(unsigned char c) { return TByteLanes{} + c; }

// Bit j set where lane j holds.
inline uint32_t LaneMask(TLaneFlags flags)
{
#if defined(__SSE2__)
    return static_cast<uint32_t>(_mm_movemask_epi8(reinterpret_cast<__m128i>(flags)));
#else
    uint32_t mask = 0;
    for (int j = 0; j < kByteLanes; ++j)
        if (flags[j])
            mask |= uint32_t(1) << j;
    return mask;
#endif
}
