#pragma once
// Sizes as index pages write them: a decimal number, then a power of 1024.

#include <string>
#include <string_view>

namespace GetInfo {

// The leading number of text (digits with at most one point; reading stops at the first
// character that cannot continue it, and no digits give 0) times 2^shift, as the nearest
// double to the number would give it, truncated toward zero and saturated at INT_MAX. Worked
// out on the decimal digits alone, so the answer never depends on the floating-point unit or
// on the precision the calling thread has set.
int scaled_size(std::string_view text, int shift);

// A number as a listing writes it, made plain: commas before groups of three digits are
// thousands separators and go ("1,234,567"); a single comma otherwise, in a number without a
// point, is a decimal comma ("1,5"). Empty when the commas are neither.
std::string plain_number(std::string_view number);

// The power of 1024 a unit's letter stands for: k and K 10, M 20, G 30, T 40, P 50; -1 for any
// other byte.
int unit_letter_shift(char letter);

// The power of 1024 a unit word stands for: "" and "B", "Bytes" 0; "K", "KB", "KiB", "k", "kB"
// 10; M 20, G 30, T 40, P 50 alike. -1 for any other word.
int unit_word_shift(std::string_view unit);

// A size as a listing writes it in a cell of its own or after a time: a number, blanks, a unit
// word ("2.0 MiB", "481 Bytes", "1,234", "12 kB"), nothing else. False when the text is not
// one; size is then left alone.
bool listing_size(std::string_view text, int& size);

}  // namespace GetInfo
