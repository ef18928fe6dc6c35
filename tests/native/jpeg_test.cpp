#include "base/jpeg.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

std::vector<uint8_t> Logo() {
    std::ifstream in(VALMORIN_RES_DIR "/logo.jpg", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Jpeg, DecodesTheProgressiveLogo) {
    const std::vector<uint8_t> data = Logo();
    ASSERT_GT(data.size(), 1000u);
    base::JpegImage image;
    ASSERT_TRUE(base::DecodeJpeg(data, image));
    EXPECT_EQ(image.width, 306);
    EXPECT_EQ(image.height, 322);
    ASSERT_EQ(image.bgr.size(), 306u * 322u * 3u);
    // Not a flat picture: the decode produced real content.
    size_t distinct = 0;
    for (size_t i = 3; i < image.bgr.size(); i += 3) distinct += image.bgr[i] != image.bgr[i - 3];
    EXPECT_GT(distinct, 1000u);
}

TEST(Jpeg, BrokenDataFailsCleanly) {
    const std::vector<uint8_t> data = Logo();
    base::JpegImage image;
    EXPECT_FALSE(base::DecodeJpeg({}, image));
    EXPECT_FALSE(base::DecodeJpeg({0xFF, 0xD8, 0xFF}, image));
    EXPECT_FALSE(
        base::DecodeJpeg(std::vector<uint8_t>(data.begin(), data.begin() + 40), image));
    EXPECT_TRUE(image.bgr.empty());
    std::vector<uint8_t> garbage(5000, 0x5A);
    EXPECT_FALSE(base::DecodeJpeg(garbage, image));
}

}  // namespace
