// The PngSuite corpus: every valid file decodes to libpng's pixels, every
// file made broken on purpose (names starting with x) is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "png/png_reader.h"
#include "png/png_test_support.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

std::vector<std::filesystem::path> suite_files() {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path folder = std::filesystem::path(QUARNEL_TEST_DATA_DIR) / "pngsuite" / "png";
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".png") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

Bytes file_bytes(const std::filesystem::path& path) {
    const std::string text = read_file(path.string());
    return Bytes(text.begin(), text.end());
}

TEST(PngSuite, CorpusIsPresent) {
    // 161 valid and 14 broken files; fewer means the tests below prove little.
    EXPECT_GE(suite_files().size(), 175u);
}

TEST(PngSuite, ValidFilesDecodeToLibpngPixels) {
    int checked = 0;
    for (const auto& path : suite_files()) {
        const std::string name = path.filename().string();
        if (name[0] == 'x') continue;
        SCOPED_TRACE(name);
        const Bytes file = file_bytes(path);
        const auto reference = libpng_decode(file);
        ASSERT_TRUE(reference) << "libpng refused a valid file";
        auto image = png_load(path.string());
        ASSERT_TRUE(image);
        const auto layout = image_layout(*image);
        ASSERT_TRUE(layout);
        EXPECT_TRUE(layout->compact);
        const auto pixels = image_pixels(*image);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(pixels->width, reference->width);
        EXPECT_EQ(pixels->height, reference->height);
        if (pixels->argb != reference->argb) {
            for (std::size_t i = 0; i < pixels->argb.size() && i < reference->argb.size(); ++i) {
                if (pixels->argb[i] != reference->argb[i]) {
                    ADD_FAILURE() << "first difference at pixel " << i << ": " << std::hex << pixels->argb[i]
                                  << " against libpng's " << reference->argb[i];
                    break;
                }
            }
        }
        ++checked;
    }
    EXPECT_EQ(checked, 161);
}

TEST(PngSuite, BrokenFilesAreRefused) {
    int checked = 0;
    for (const auto& path : suite_files()) {
        const std::string name = path.filename().string();
        if (name[0] != 'x') continue;
        EXPECT_FALSE(png_load(path.string())) << name;
        EXPECT_FALSE(png_decode(file_bytes(path))) << name;
        ++checked;
    }
    EXPECT_EQ(checked, 14);
}

}  // namespace
