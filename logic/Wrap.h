#pragma once

#include <cstdint>

namespace vesmira {

// Year arithmetic wraps around like 32-bit two's-complement hardware: a Heisei
// year of 2147483647 yields a negative Western year that validation rejects.
// Computed in unsigned so it is defined behaviour; the conversion back is
// modular since C++20.
constexpr int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t WrapSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace vesmira
