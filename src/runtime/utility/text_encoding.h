// Unicode forms of texts, for the systems that name files in UTF-16
// (Windows): the program holds paths in UTF-8 and converts them only at the
// system call. The program's own message texts stay bytes of the
// Windows-1250 code page; a line shown on a console may hold both.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarnel {

// Whether the bytes are well-formed UTF-8: no stray or missing continuation
// bytes, no overlong form, no surrogate (U+D800 to U+DFFF), nothing above
// U+10FFFF.
bool is_utf8(std::string_view text);
// The length of the well-formed UTF-8 sequence that starts at text[at]
// (1 for an ASCII byte); 0 when none starts there.
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// Appends the UTF-8 form of the character.
void append_utf8(std::string& out, char32_t c);

// The UTF-16 form of well-formed UTF-8; nothing for any other bytes, so a
// name that cannot be converted never reaches the system as some other
// name.
std::optional<std::u16string> utf16_from_utf8(std::string_view text);

// The UTF-8 form of UTF-16 as the system gives it. An unpaired surrogate
// (which a Windows file name may hold) is written in the three-byte form
// that utf16_from_utf8 refuses: such a name can be shown, but never opens
// another file than the one it came from.
std::string utf8_from_utf16(std::u16string_view text);

// A line as a console shows it: each well-formed UTF-8 sequence as its
// character (the paths), every other byte as its Windows-1250 character
// (the program's texts), an undefined byte as U+FFFD.
std::u16string shown_text(std::string_view bytes);

// Unicode character of a Windows-1250 byte (0 for undefined bytes), and the
// byte of a Unicode character (0 when the code page has none).
std::uint32_t cp1250_to_unicode(std::uint8_t byte);
std::uint8_t unicode_to_cp1250(std::uint32_t code_point);
// A Windows-1250 text as UTF-8 (for the window title).
std::string cp1250_to_utf8(std::string_view text);

}  // namespace quarnel
