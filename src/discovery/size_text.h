#pragma once
// Sizes as index pages write them: a decimal number, then a power of 1024.

#include <string_view>

namespace GetInfo {

// The leading number of text (digits with at most one point; reading stops at the first
// character that cannot continue it, and no digits give 0) times 2^shift, as the nearest
// double to the number would give it, truncated toward zero and saturated at INT_MAX. Worked
// out on the decimal digits alone, so the answer never depends on the floating-point unit or
// on the precision the calling thread has set.
int scaled_size(std::string_view text, int shift);

}  // namespace GetInfo
