// Splitting one fuzz input into the several files and choices a target
// needs: small numbers from the front, then parts of a length given by a
// u16 each, the last part taking whatever is left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quarnel::fuzzing {

class FuzzInput {
public:
    explicit FuzzInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // The next byte, 0 once the input is used up.
    std::uint8_t byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }

    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }

    // A part of at most the stated length (a u16 read first), cut at the end.
    std::span<const std::uint8_t> part() {
        const std::size_t wanted = u16();
        const std::size_t left = bytes_.size() - pos_;
        const std::size_t taken = wanted < left ? wanted : left;
        const auto result = bytes_.subspan(pos_, taken);
        pos_ += taken;
        return result;
    }

    std::span<const std::uint8_t> rest() {
        const auto result = bytes_.subspan(pos_);
        pos_ = bytes_.size();
        return result;
    }

    static std::string_view text(std::span<const std::uint8_t> bytes) {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
};

}  // namespace quarnel::fuzzing
