// load_bmp on any bytes, into a 32-bit and an 8-bit picture and onto the
// screen. The bytes are handed over as an in-memory file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/image/bmp.h"
#include "runtime/image/image.h"
#include "runtime/screen/screen.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    quarnel::set_screen(18, 32, 2);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = memfd_create("bmp", 0);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const std::string name = "/proc/self/fd/" + std::to_string(fd);
    auto colour = quarnel::create_image(37, 19, 0, 32);
    auto indexed = quarnel::create_image(40, 21, 0, 8);
    std::array<std::uint32_t, 256> palette{};
    quarnel::load_bmp(name, colour.get());
    quarnel::load_bmp(name, indexed.get(), &palette);
    quarnel::load_bmp(name, nullptr, &palette);
    close(fd);
    return 0;
}
