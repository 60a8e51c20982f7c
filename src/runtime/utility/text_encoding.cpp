#include "runtime/utility/text_encoding.h"

#include <array>
#include <cstdint>

namespace quarnel {

namespace {
// Unicode characters of the Windows-1250 bytes 128 to 255 (0: undefined).
constexpr std::array<std::uint16_t, 128> cp1250_upper = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
}  // namespace

std::uint32_t cp1250_to_unicode(std::uint8_t byte) { return byte < 128 ? byte : cp1250_upper[byte - 128u]; }

std::uint8_t unicode_to_cp1250(std::uint32_t code_point) {
    if (code_point < 128) return static_cast<std::uint8_t>(code_point);
    for (std::size_t i = 0; i < cp1250_upper.size(); ++i)
        if (cp1250_upper[i] != 0 && cp1250_upper[i] == code_point) return static_cast<std::uint8_t>(128 + i);
    return 0;
}

std::string cp1250_to_utf8(std::string_view text) {
    std::string out;
    for (const char c : text) {
        std::uint32_t u = cp1250_to_unicode(static_cast<std::uint8_t>(c));
        if (u == 0 && c != '\0') u = '?';
        if (u == 0) continue;  // SDL titles end at a zero byte
        append_utf8(out, u);
    }
    return out;
}

namespace {

constexpr char32_t replacement_character = 0xFFFD;

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The character of the well-formed UTF-8 sequence at text[at], and its
// length; a length of 0 when no well-formed sequence starts there.
struct Decoded {
    char32_t character = 0;
    std::size_t length = 0;
};

Decoded decode_utf8(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t c = 0;
    char32_t smallest = 0;  // below it the form is overlong
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07u, smallest = 0x10000;
    } else {
        return {};  // a continuation byte, C0, C1 or F5 to FF
    }
    if (text.size() - at < length) return {};
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<std::uint8_t>(text[at + i]);
        if ((next & 0xC0u) != 0x80u) return {};
        c = (c << 6) | (next & 0x3Fu);
    }
    if (c < smallest || c > 0x10FFFF || is_surrogate(c)) return {};
    return {c, length};
}

void append_utf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

}  // namespace

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
    return at < text.size() ? decode_utf8(text, at).length : 0;
}

bool is_utf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const Decoded d = decode_utf8(text, at);
        if (d.length == 0) return false;
        at += d.length;
    }
    return true;
}

std::optional<std::u16string> utf16_from_utf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const Decoded d = decode_utf8(text, at);
        if (d.length == 0) return std::nullopt;
        append_utf16(out, d.character);
        at += d.length;
    }
    return out;
}

std::string utf8_from_utf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        char32_t c = text[at];
        if (c >= 0xD800 && c <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[at + 1] - 0xDC00u);
            ++at;
        }
        append_utf8(out, c);  // an unpaired surrogate keeps its own three bytes
    }
    return out;
}

std::u16string shown_text(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        const Decoded d = decode_utf8(bytes, at);
        if (d.length != 0) {
            append_utf16(out, d.character);
            at += d.length;
            continue;
        }
        const char32_t c = cp1250_to_unicode(static_cast<std::uint8_t>(bytes[at]));
        append_utf16(out, c == 0 ? replacement_character : c);
        ++at;
    }
    return out;
}

}  // namespace quarnel
