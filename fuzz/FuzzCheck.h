// Shared by the fuzz targets: a check that names the broken rule and aborts,
// so that libFuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                                          \
    do {                                                                                          \
        if (!(cond)) {                                                                            \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

inline std::string FuzzBytes(const uint8_t* data, size_t size)
{
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The text a page buffer keeps of the bytes: everything before the first
// zero byte.
inline std::string FuzzPageText(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }
