// Text values: byte strings with an explicit length, no code-page
// conversion; positions are 1-based. Every failing operation gives the
// empty text or 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quarnel {

std::size_t text_length(std::string_view text);
// 1-based position of pattern at or after start; 0 when not found, when
// start < 1 or beyond the length, when either text is empty, or when the
// pattern is longer than the text.
std::int64_t text_find(std::int64_t start, std::string_view text, std::string_view pattern);
// count < 0 means to the end.
std::string text_mid(std::string_view text, std::int64_t start, std::int64_t count);
std::string text_left(std::string_view text, std::int64_t n);
std::string text_right(std::string_view text, std::int64_t n);
std::string text_lower(std::string_view text);
// The text with every byte but ASCII letters, digits, "-" and "_" made "_":
// a name that any file system and any web address take as it is.
std::string plain_name(std::string_view text);
// 0 equal, -1 / 1 by the first differing byte (unsigned); a prefix is less.
int text_compare(std::string_view a, std::string_view b);
std::string text_from_codes(std::int64_t count, std::span<const std::uint8_t> codes);
std::string decimal_text(std::int32_t value);
std::string decimal_text(std::uint32_t value);
std::string decimal_text(std::int64_t value);
std::string decimal_text(std::uint64_t value);
// A number as the program prints one on a line of its own: a blank before
// one that is not negative (" 0", "-1").
std::string signed_decimal_text(std::int32_t value);
// Leading blanks skipped; &H / &O / &B integers; else the longest leading
// decimal number (sign, digits, point, exponent e/E/d/D); 0 when none.
double number_value(std::string_view text);

inline constexpr std::size_t input_item_limit = 4096;
// Takes one input item from source starting at pos, advancing pos past the
// item and its separator: blanks and tabs skipped, a quoted item taken to the
// closing quote, otherwise up to a comma or line end, cut after 4096
// characters; then blanks, and one comma or one line end (LF, CR, CR LF).
std::string take_input_item(std::string_view source, std::size_t& pos);

}  // namespace quarnel
