// FNV-1a, 64 bits: a quick fingerprint of bytes, to tell whether something changed (not for
// security). Hashing in pieces gives the same value as hashing them joined.
#pragma once

#include <cstdint>
#include <string_view>

namespace rv {

inline constexpr uint64_t kFnvOffsetBasis = 14695981039346656037ull;

inline uint64_t fnvHash(std::string_view bytes, uint64_t hash = kFnvOffsetBasis) {
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

}  // namespace rv
