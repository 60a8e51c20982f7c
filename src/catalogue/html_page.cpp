#include "catalogue/html_page.h"

#include "runtime/utility/text.h"
#include "runtime/utility/text_encoding.h"

namespace quarnel {

std::string html_text(std::string_view bytes) {
    const bool utf8 = is_utf8(bytes);
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        const auto byte = static_cast<unsigned char>(bytes[at]);
        switch (byte) {
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        case '&': out += "&amp;"; continue;
        case '"': out += "&quot;"; continue;
        case '\'': out += "&#39;"; continue;
        case '\n': case '\t': out.push_back(static_cast<char>(byte)); continue;
        case '\r': continue;
        default: break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            append_utf8(out, byte == 0x7F ? 0x2421 : 0x2400 + byte);  // the control pictures: NUL shows as a small "NUL"
        } else if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
        } else if (utf8) {
            const std::size_t length = utf8_sequence_length(bytes, at);
            out.append(bytes.substr(at, length));
            at += length - 1;
        } else {
            append_utf8(out, cp1250_to_unicode(byte));
        }
    }
    return out;
}

std::string html_page(std::string_view title, std::string_view body, bool front_page) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                       html_text(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + std::string(site_style_file_name) +
                       "\">\n</head>\n<body>\n";
    if (!front_page) page += "<nav><a href=\"index.html\">&larr; the whole game</a></nav>\n";
    page += "<h1>" + html_text(title) + "</h1>\n";
    page += body;
    page += "</body>\n</html>\n";
    return page;
}

std::string site_style_sheet() {
    return "body { font-family: sans-serif; background: #2b2b2b; color: #e8e8e8; margin: 1em 2em; }\n"
           "a { color: #9cc8ff; }\n"
           "h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 1.5em; }\n"
           "nav { margin-bottom: 1em; }\n"
           ".sheet { display: flex; flex-wrap: wrap; gap: 10px; align-items: flex-end; }\n"
           "figure { margin: 0; padding: 6px; background: #404040; }\n"
           "figure img { display: block; image-rendering: pixelated; object-fit: none; }\n"
           "figcaption { font-size: 11px; margin-top: 4px; color: #cfcfcf; white-space: nowrap; }\n"
           ".problems { color: #ffb0a0; }\n"
           "table.counts td { padding: 2px 12px 2px 0; }\n"
           ".swatches { display: grid; grid-template-columns: repeat(16, 34px); gap: 2px; }\n"
           ".swatch { width: 34px; height: 26px; font-size: 10px; text-align: center; line-height: 26px;"
           " color: #fff; text-shadow: 0 0 2px #000, 0 0 2px #000; }\n"
           "pre { background: #1e1e1e; padding: 8px; overflow: auto; max-height: 40em; }\n";
}

std::string css_colour(std::uint32_t colour) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4) text.push_back(digits[(colour >> shift) & 0xF]);
    return text;
}

std::string palette_swatches(const Palette& colours) {
    std::string out = "<div class=\"swatches\">\n";
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::string colour = css_colour(colours[i]);
        const std::string index = decimal_text(static_cast<std::uint32_t>(i));
        out += "<div class=\"swatch\" style=\"background:" + colour + "\" title=\"" + index + ": " + colour + "\">" + index +
               "</div>";
        if (i % 16 == 15) out += "\n";
    }
    out += "</div>\n";
    return out;
}

}  // namespace quarnel
