// Text values: byte strings with an explicit length; positions are 1-based.
// Every operation that cannot give a meaningful result gives the empty text
// or 0, never an error.
#include "runtime/utility/text.h"

#include <cmath>
#include <cstdlib>

namespace quarnel {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Value of one digit in the given base, or -1 when it is not one.
int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

}  // namespace

std::size_t text_length(std::string_view text) { return text.size(); }

std::int64_t text_find(std::int64_t start, std::string_view text, std::string_view pattern) {
    const auto length = static_cast<std::int64_t>(text.size());
    if (start < 1 || start > length || text.empty() || pattern.empty() || pattern.size() > text.size()) return 0;
    const auto at = text.find(pattern, static_cast<std::size_t>(start - 1));
    return at == std::string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::string text_mid(std::string_view text, std::int64_t start, std::int64_t count) {
    const auto length = static_cast<std::int64_t>(text.size());
    if (start < 1 || start > length || count == 0) return {};
    const std::int64_t left = length - start + 1;
    const std::int64_t take = (count < 0 || count > left) ? left : count;
    return std::string(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(take)));
}

std::string text_left(std::string_view text, std::int64_t n) {
    if (n <= 0) return {};
    if (static_cast<std::uint64_t>(n) >= text.size()) return std::string(text);
    return std::string(text.substr(0, static_cast<std::size_t>(n)));
}

std::string text_right(std::string_view text, std::int64_t n) {
    if (n <= 0) return {};
    if (static_cast<std::uint64_t>(n) >= text.size()) return std::string(text);
    return std::string(text.substr(text.size() - static_cast<std::size_t>(n)));
}

std::string text_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string plain_name(std::string_view text) {
    std::string plain;
    for (const char c : text) {
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        plain.push_back(kept ? c : '_');
    }
    return plain;
}

int text_compare(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string text_from_codes(std::int64_t count, std::span<const std::uint8_t> codes) {
    if (count < 1) return {};
    const std::size_t take = static_cast<std::uint64_t>(count) < codes.size() ? static_cast<std::size_t>(count) : codes.size();
    return std::string(reinterpret_cast<const char*>(codes.data()), take);
}

std::string decimal_text(std::int32_t value) { return std::to_string(value); }
std::string decimal_text(std::uint32_t value) { return std::to_string(value); }
std::string decimal_text(std::int64_t value) { return std::to_string(value); }
std::string decimal_text(std::uint64_t value) { return std::to_string(value); }

double number_value(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && is_blank(text[i])) ++i;
    if (i >= text.size()) return 0.0;

    // &H1F, &O17, &B101: an integer in that base; digits that do not belong
    // to the base end the number.
    if (text[i] == '&' && i + 1 < text.size()) {
        const char letter = text[i + 1];
        int base = 0;
        if (letter == 'H' || letter == 'h') base = 16;
        else if (letter == 'O' || letter == 'o') base = 8;
        else if (letter == 'B' || letter == 'b') base = 2;
        if (base == 0) return 0.0;
        double value = 0.0;
        for (std::size_t j = i + 2; j < text.size(); ++j) {
            const int d = digit_value(text[j], base);
            if (d < 0) break;
            value = value * base + d;
        }
        return value;
    }

    // The longest leading decimal number: sign, digits, point, digits, then
    // an exponent (e, E, d or D, optional sign, digits) only when it has digits.
    std::string number;
    std::size_t j = i;
    if (text[j] == '+' || text[j] == '-') number.push_back(text[j++]);
    bool mantissa_digits = false;
    while (j < text.size() && is_digit(text[j])) {
        number.push_back(text[j++]);
        mantissa_digits = true;
    }
    if (j < text.size() && text[j] == '.') {
        number.push_back(text[j++]);
        while (j < text.size() && is_digit(text[j])) {
            number.push_back(text[j++]);
            mantissa_digits = true;
        }
    }
    if (!mantissa_digits) return 0.0;
    if (j < text.size() && (text[j] == 'e' || text[j] == 'E' || text[j] == 'd' || text[j] == 'D')) {
        std::size_t k = j + 1;
        std::string exponent = "e";
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) exponent.push_back(text[k++]);
        bool exponent_digits = false;
        while (k < text.size() && is_digit(text[k])) {
            exponent.push_back(text[k++]);
            exponent_digits = true;
        }
        if (exponent_digits) number += exponent;
    }
    // strtod accepts exactly this form; an overflowing exponent gives
    // infinity (HUGE_VAL), as the number is too large to hold.
    return std::strtod(number.c_str(), nullptr);
}

std::string signed_decimal_text(std::int32_t value) { return (value >= 0 ? " " : "") + decimal_text(value); }

std::string take_input_item(std::string_view source, std::size_t& pos) {
    std::string item;
    if (pos > source.size()) pos = source.size();
    while (pos < source.size() && is_blank(source[pos])) ++pos;
    if (pos >= source.size()) return item;

    if (source[pos] == '"') {
        // Quoted: everything to the next quote, commas and line ends included.
        ++pos;
        while (pos < source.size() && source[pos] != '"' && item.size() < input_item_limit) item.push_back(source[pos++]);
        if (pos < source.size() && source[pos] == '"') ++pos;
    } else {
        while (pos < source.size() && item.size() < input_item_limit) {
            const char c = source[pos];
            if (c == ',' || c == '\n' || c == '\r') break;
            item.push_back(c);
            ++pos;
        }
    }

    // After the item: blanks and tabs, then one comma or one line end.
    // Anything else (the rest of a cut item, text after a closing quote) is
    // left to start the next item.
    while (pos < source.size() && is_blank(source[pos])) ++pos;
    if (pos < source.size()) {
        const char c = source[pos];
        if (c == ',' || c == '\n') {
            ++pos;
        } else if (c == '\r') {
            ++pos;
            if (pos < source.size() && source[pos] == '\n') ++pos;
        }
    }
    return item;
}

}  // namespace quarnel
