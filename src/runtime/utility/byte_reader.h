// Bounds-checked cursor over little-endian binary data.
//
// Every format reads its input through this one reader. Each read checks
// `n <= size - pos` (never `pos + n`, which can wrap) and, when the data is
// too short, marks the reader as ended and yields zeros instead of reading on.
// Callers test `ended()` where running out of data changes what they do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace quarnel {

class ByteReader {
public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> data, std::size_t start = 0)
        : data_(data), pos_(start <= data.size() ? start : data.size()), ended_(start > data.size()) {}

    std::size_t size() const { return data_.size(); }
    std::size_t position() const { return pos_; }
    std::size_t remaining() const { return data_.size() - pos_; }
    bool ended() const { return ended_; }
    bool has(std::size_t n) const { return n <= data_.size() - pos_; }

    // Moves to an absolute offset; an offset past the end leaves the reader
    // at the end, marked as ended.
    void seek(std::size_t offset) {
        if (offset > data_.size()) {
            pos_ = data_.size();
            ended_ = true;
        } else {
            pos_ = offset;
        }
    }

    void skip(std::size_t n) {
        if (!has(n)) {
            pos_ = data_.size();
            ended_ = true;
        } else {
            pos_ += n;
        }
    }

    std::uint8_t u8() {
        if (!has(1)) return fail<std::uint8_t>();
        return data_[pos_++];
    }
    std::uint16_t u16le() {
        if (!has(2)) return fail<std::uint16_t>();
        std::uint16_t v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    std::uint32_t u32le() {
        if (!has(4)) return fail<std::uint32_t>();
        std::uint32_t v = static_cast<std::uint32_t>(data_[pos_]) |
                          (static_cast<std::uint32_t>(data_[pos_ + 1]) << 8) |
                          (static_cast<std::uint32_t>(data_[pos_ + 2]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos_ + 3]) << 24);
        pos_ += 4;
        return v;
    }
    // Big-endian reads, for formats that store their numbers that way (PNG).
    std::uint16_t u16be() {
        if (!has(2)) return fail<std::uint16_t>();
        std::uint16_t v = static_cast<std::uint16_t>((data_[pos_] << 8) | data_[pos_ + 1]);
        pos_ += 2;
        return v;
    }
    std::uint32_t u32be() {
        if (!has(4)) return fail<std::uint32_t>();
        std::uint32_t v = (static_cast<std::uint32_t>(data_[pos_]) << 24) |
                          (static_cast<std::uint32_t>(data_[pos_ + 1]) << 16) |
                          (static_cast<std::uint32_t>(data_[pos_ + 2]) << 8) |
                          static_cast<std::uint32_t>(data_[pos_ + 3]);
        pos_ += 4;
        return v;
    }
    std::int16_t i16le() { return static_cast<std::int16_t>(u16le()); }
    std::int32_t i32le() { return static_cast<std::int32_t>(u32le()); }

    // The next n bytes as a span; a shorter (possibly empty) span and the
    // ended mark when fewer remain.
    std::span<const std::uint8_t> bytes(std::size_t n) {
        if (!has(n)) {
            auto rest = data_.subspan(pos_);
            pos_ = data_.size();
            ended_ = true;
            return rest;
        }
        auto out = data_.subspan(pos_, n);
        pos_ += n;
        return out;
    }

    // n bytes as a byte string (zero bytes kept), shorter when the data ends.
    std::string text(std::size_t n) {
        auto b = bytes(n);
        return std::string(reinterpret_cast<const char*>(b.data()), b.size());
    }

private:
    template <typename T>
    T fail() {
        pos_ = data_.size();
        ended_ = true;
        return T{0};
    }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ended_ = false;
};

// Little-endian stores into a growing byte vector, the writing twin of ByteReader.
template <typename Vec>
inline void put_u8(Vec& out, std::uint8_t v) { out.push_back(v); }
template <typename Vec>
inline void put_u16le(Vec& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
template <typename Vec>
inline void put_u32le(Vec& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace quarnel
