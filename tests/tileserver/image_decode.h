#pragma once
// Independent checks of the server's images: the PNG is decoded by libpng
// (every CRC checked, warnings taken as failures) and the JPEG by libjpeg,
// so a tile that a viewer would reject fails here too.

#include <string>
#include <vector>

namespace tessellon::test {

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;  // rows from the top, three bytes a pixel

    const unsigned char* Pixel(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
};

// Truecolour 8-bit PNGs without interlace, as the server writes them, that
// end at IEND. False, with `error` saying why, for anything else or anything
// broken.
bool DecodePng(const std::string& png, DecodedImage& image, std::string& error);
bool DecodeJpeg(const std::string& jpeg, DecodedImage& image, std::string& error);

// Width and height from the JPEG's first start-of-frame marker; false if none.
bool JpegFrameSize(const std::string& jpeg, int& width, int& height);

}  // namespace tessellon::test
