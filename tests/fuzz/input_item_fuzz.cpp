// The input-item reader behind setup.txt and every typed answer: items are
// taken until the input is used up; each call must move on or end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/utility/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view source(reinterpret_cast<const char*>(data), size);
    std::size_t pos = 0;
    while (pos < source.size()) {
        const std::size_t before = pos;
        const auto item = quarnel::take_input_item(source, pos);
        if (item.size() > quarnel::input_item_limit || pos > source.size()) __builtin_trap();
        if (pos == before) __builtin_trap();  // no progress would hang the reader
    }
    return 0;
}
