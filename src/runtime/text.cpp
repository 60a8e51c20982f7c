// Provisional: the pieces the console needs; the rest comes next.
#include "runtime/text.h"

namespace quarnel {

std::string decimal_text(std::int32_t value) { return std::to_string(value); }
std::string decimal_text(std::uint32_t value) { return std::to_string(value); }
std::string decimal_text(std::int64_t value) { return std::to_string(value); }

std::string take_input_item(std::string_view source, std::size_t& pos) {
    std::string item;
    while (pos < source.size() && source[pos] != ',' && source[pos] != '\n') item.push_back(source[pos++]);
    if (pos < source.size()) ++pos;
    return item;
}

}  // namespace quarnel
