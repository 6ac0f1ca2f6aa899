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

std::string plain_number(std::string_view number) {
  const std::string_view::size_type first = number.find(',');
  if (first == std::string_view::npos) return std::string(number);
  // Thousands: a first group of one to three digits, then only ",ddd" groups, maybe a fraction.
  bool thousands = first >= 1 && first <= 3;
  std::string plain(number.substr(0, first));
  std::size_t at = first;
  while (thousands && at < number.size() && number[at] == ',') {
    const std::string_view group = number.substr(at + 1, 3);
    if (group.size() != 3 || !is_digit(group[0]) || !is_digit(group[1]) || !is_digit(group[2])) {
      thousands = false;
      break;
    }
    plain.append(group);
    at += 4;
    if (at < number.size() && is_digit(number[at])) thousands = false;
  }
  if (thousands) {
    const std::string_view rest = number.substr(at);
    if (rest.find(',') == std::string_view::npos) return plain + std::string(rest);
    return std::string();
  }
  // A decimal comma: the only comma, no point.
  if (number.find(',', first + 1) == std::string_view::npos &&
      number.find('.') == std::string_view::npos) {
    std::string decimal(number);
    decimal[first] = '.';
    return decimal;
  }
  return std::string();
}

int unit_letter_shift(char letter) {
  switch (letter) {
    case 'k':
    case 'K':
      return 10;
    case 'M':
      return 20;
    case 'G':
      return 30;
    case 'T':
      return 40;
    case 'P':
      return 50;
    default:
      return -1;
  }
}

int unit_word_shift(std::string_view unit) {
  if (unit.empty() || unit == "B" || unit == "Bytes" || unit == "bytes") return 0;
  const int shift = unit_letter_shift(unit[0]);
  const std::string_view rest = unit.substr(1);
  if (shift >= 0 && (rest.empty() || rest == "B" || rest == "iB")) return shift;
  return -1;
}

bool listing_size(std::string_view text, int& size) {
  std::size_t at = 0;
  while (at < text.size() && (is_digit(text[at]) || text[at] == '.' || text[at] == ',')) ++at;
  if (at == 0 || !is_digit(text[0])) return false;
  const std::string number = plain_number(text.substr(0, at));
  if (number.empty()) return false;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  std::size_t end = text.size();
  while (end > at && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  const int shift = unit_word_shift(text.substr(at, end - at));
  if (shift < 0) return false;
  size = scaled_size(number, shift);
  return true;
}

}  // namespace GetInfo
