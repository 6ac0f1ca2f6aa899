#include "discovery/size_text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

namespace GetInfo {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The s decimal digits after the point of 1 - 2^-s (= (10^s - 5^s) / 10^s), s <= 64.
std::string one_minus_power_of_half(int s) {
  std::string five(static_cast<std::size_t>(s), '0');  // 5^s, most significant digit first
  five.back() = '1';
  for (int k = 0; k < s; ++k) {
    int carry = 0;
    for (auto digit = five.rbegin(); digit != five.rend(); ++digit) {
      const int value = (*digit - '0') * 5 + carry;
      *digit = static_cast<char>('0' + value % 10);
      carry = value / 10;
    }
  }
  // 10^s - 5^s, digit by digit from the right.
  std::string result(five.size(), '0');
  int borrow = 0;
  for (std::size_t i = five.size(); i-- > 0;) {
    int value = (i + 1 == five.size() ? 10 : 9) - (five[i] - '0') - borrow;
    borrow = 0;
    if (value < 0) {
      value += 10;
      borrow = 1;
    }
    result[i] = static_cast<char>('0' + value);
  }
  return result;
}

}  // namespace

int scaled_size(std::string_view text, int shift) {
  std::size_t at = 0;
  while (at < text.size() && is_digit(text[at])) ++at;
  const std::string_view whole_digits = text.substr(0, at);
  std::string_view fraction;
  if (at < text.size() && text[at] == '.') {
    std::size_t end = at + 1;
    while (end < text.size() && is_digit(text[end])) ++end;
    fraction = text.substr(at + 1, end - at - 1);
  }
  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);

  // The whole part times 2^shift; anything from 2^31 up saturates.
  std::uint64_t whole = 0;
  for (char c : whole_digits) {
    whole = whole * 10 + static_cast<unsigned>(c - '0');
    if (whole > INT_MAX) return INT_MAX;
  }
  if (whole != 0 && (shift > 31 || whole >= (std::uint64_t{1} << (31 - shift)))) return INT_MAX;
  whole <<= shift;

  // The fraction times 2^shift: its whole part is the carry out of the top digit, its digits
  // what is left (carries stay below 2^shift, so nothing overflows for shifts up to 40).
  std::string rest(fraction);
  std::uint64_t carry = 0;
  for (std::size_t i = rest.size(); i-- > 0;) {
    const std::uint64_t value = (static_cast<std::uint64_t>(rest[i] - '0') << shift) + carry;
    rest[i] = static_cast<char>('0' + value % 10);
    carry = value / 10;
  }
  const std::uint64_t below = whole + carry;
  if (below >= INT_MAX) return INT_MAX;

  // The nearest double lies in [below, below + 1]; it is below + 1 exactly when the exact value
  // is at least the midpoint between below + 1 and the double just under it (a tie goes to
  // below + 1, whose last mantissa bit is 0). Under an integer N of e + 1 bits the doubles are
  // 2^(e - 52) apart, or 2^(e - 53) when N is a power of two: the midpoint is 1 - 2^-s past
  // below.
  const std::uint64_t next = below + 1;
  int e = 0;
  while ((next >> (e + 1)) != 0) ++e;
  const bool power_of_two = (next & (next - 1)) == 0;
  const int s = (power_of_two ? 54 : 53) - e;
  // 1 - 2^-s begins with six nines (s >= 23): most fractions are decided by their first digit.
  if (rest.compare(0, 6, "999999") != 0) return static_cast<int>(below);
  const std::string midpoint = one_minus_power_of_half(s);
  rest.resize(std::max(rest.size(), midpoint.size()), '0');
  return static_cast<int>(rest.compare(0, midpoint.size(), midpoint) >= 0 ? next : below);
}

}  // namespace GetInfo
