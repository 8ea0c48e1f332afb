#pragma once
// A plain RGB raster and its two encodings: PNG for the map layer, baseline
// JPEG for the satellite layer. The same raster always gives the same bytes,
// so tiles are reproducible from one run to the next.

#include <cstdint>
#include <string>
#include <vector>

namespace tessellon::tileserver {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

// Rows from the top, three bytes a pixel.
class RgbImage {
public:
    RgbImage(int width, int height, Rgb fill);

    int Width() const { return width_; }
    int Height() const { return height_; }
    const std::uint8_t* Row(int y) const { return pixels_.data() + RowOffset(y); }

    Rgb At(int x, int y) const;
    // Pixels outside the raster are ignored, so shapes may be clipped freely.
    void Set(int x, int y, Rgb colour);
    void FillRect(int left, int top, int width, int height, Rgb colour);

private:
    std::size_t RowOffset(int y) const { return static_cast<std::size_t>(y) * width_ * 3; }

    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

// 8-bit truecolour PNG, one IDAT chunk, zlib's default compression.
std::string EncodePng(const RgbImage& image);
// Baseline JPEG, 4:2:0, at `quality` (1..100). Throws std::runtime_error when
// the encoder refuses the raster.
std::string EncodeJpeg(const RgbImage& image, int quality);

}  // namespace tessellon::tileserver
