// The reader must refuse pictures it will not decode before it takes their
// memory. The program's allocations are watched through operator new, which
// this test program replaces for all its tests (plain malloc underneath).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "png/png_reader.h"
#include "png/png_test_support.h"

namespace {
std::atomic<bool> watching{false};
std::atomic<std::size_t> largest_request{0};

void* take(std::size_t size) {
    if (watching.load(std::memory_order_relaxed)) {
        std::size_t seen = largest_request.load(std::memory_order_relaxed);
        while (size > seen && !largest_request.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return take(size); }
void* operator new[](std::size_t size) { return take(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too (std::stable_sort's buffer takes one): memory they
// give is freed by the deletes above, so they must come from malloc as well.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

using namespace quarnel;
using namespace quarnel::test;

namespace {

// The largest single allocation made while decoding the file, and whether
// an image came back.
std::pair<std::size_t, bool> decode_watched(const Bytes& file) {
    largest_request = 0;
    watching = true;
    auto image = png_decode(file);
    watching = false;
    return {largest_request.load(), image != nullptr};
}

TEST(PngMemory, PicturesOverTheLimitTakeNoPixelMemory) {
    // 16384 x 16385 grey: 1 GiB of pixels, refused from the header alone.
    const auto [largest, decoded] = decode_watched(make_png(ihdr(16384, 16385, 8, 0), {0, 0}));
    EXPECT_FALSE(decoded);
    EXPECT_LT(largest, std::size_t{1} << 20);
}

TEST(PngMemory, DataTooShortForItsSizeTakesNoRowMemory) {
    // 8000 x 8000 at 16-bit RGBA is within the pixel limit but announces
    // 512 MB of rows; a few bytes of deflate cannot produce them.
    const auto [largest, decoded] = decode_watched(make_png(ihdr(8000, 8000, 16, 6), {0, 0}));
    EXPECT_FALSE(decoded);
    EXPECT_LT(largest, std::size_t{1} << 20);
}

TEST(PngMemory, RowsAreInflatedIntoTheirSizePlusOne) {
    // A valid 64 x 64 RGBA picture: the largest buffers are the rows
    // (64 x (1 + 256) + 1 bytes) and the image (4 + 64 x 64 x 4).
    Bytes raw;
    for (int y = 0; y < 64; ++y) {
        raw.push_back(0);
        for (int i = 0; i < 256; ++i) raw.push_back(static_cast<std::uint8_t>(i * y));
    }
    const auto [largest, decoded] = decode_watched(make_png(ihdr(64, 64, 8, 6), raw));
    EXPECT_TRUE(decoded);
    EXPECT_EQ(largest, std::size_t{64 * 257 + 1});
}

}  // namespace
