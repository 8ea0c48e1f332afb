// The image writers on their own: rows in, a file that readers of the
// format give back pixel for pixel, and a full disk reported as such.

#include "output/image_writer.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstring>

#include "combine_fixture.h"
#include "output/tile_decoder.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace tessellon {
namespace {

// What is written: every pixel different from its neighbours, so a row or
// a column out of place shows.
struct Image {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint8_t> Rgb;

    const std::uint8_t* Row(int y) const {
        return Rgb.data() + static_cast<std::size_t>(y) * Width * 3;
    }
    test::Rgb At(int x, int y) const {
        const std::uint8_t* at = Row(y) + static_cast<std::size_t>(x) * 3;
        return {at[0], at[1], at[2]};
    }
};

Image Pattern(int width, int height, bool smooth = false) {
    Image image{width, height, {}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.Rgb.push_back(static_cast<std::uint8_t>(x));
            image.Rgb.push_back(static_cast<std::uint8_t>(y));
            image.Rgb.push_back(static_cast<std::uint8_t>(smooth ? 128 : x * 7 + y * 13));
        }
    }
    return image;
}

const Georeference kWhere{-1000.5, 2000.25, 19.109257071294};

// Writes `image` into `path` row by row.
void Write(ImageFormat format, const std::string& path, const Image& image) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        const auto writer = MakeImageWriter(format, file, image.Width, image.Height, kWhere);
        for (int y = 0; y < image.Height; ++y) {
            writer->WriteRow(image.Row(y));
        }
        writer->Finish();
    }
    ASSERT_EQ(std::fclose(file), 0);
}

// How many pixels of `read` differ from `image` by more than `tolerance`.
template <typename ReadPixel>
int Mismatches(const Image& image, int tolerance, ReadPixel read) {
    int wrong = 0;
    for (int y = 0; y < image.Height; ++y) {
        for (int x = 0; x < image.Width; ++x) {
            const test::Rgb got = read(x, y);
            const test::Rgb want = image.At(x, y);
            for (int i = 0; i < 3; ++i) {
                if (std::abs(got[i] - want[i]) > tolerance) {
                    ++wrong;
                    break;
                }
            }
        }
    }
    return wrong;
}

std::uint32_t LittleEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

class ImageWriterTest : public ::testing::Test {
protected:
    test::TempDir dir;
    // Neither side a multiple of a TIFF tile, a BMP row padded by 3 bytes.
    Image odd = Pattern(301, 259);
};

TEST_F(ImageWriterTest, PngRowsReadBackPixelForPixel) {
    const std::string path = dir.File("map.png");
    Write(ImageFormat::Png, path, odd);
    const test::Decoded read = test::DecodePngFile(path);
    ASSERT_EQ(read.Width, odd.Width);
    ASSERT_EQ(read.Height, odd.Height);
    EXPECT_EQ(Mismatches(odd, 0, [&](int x, int y) { return read.At(x, y); }), 0);
}

TEST_F(ImageWriterTest, JpegRowsReadBackClose) {
    const Image smooth = Pattern(kTileSide, kTileSide, true);
    const std::string path = dir.File("map.jpg");
    Write(ImageFormat::Jpeg, path, smooth);
    std::vector<std::uint8_t> read(kTileRowBytes * kTileSide);
    ASSERT_EQ(DecodeTile(ReadFileBytes(path), read.data(), kTileRowBytes), "");
    EXPECT_EQ(Mismatches(smooth, 6,
                         [&](int x, int y) {
                             const std::uint8_t* at = read.data() + y * kTileRowBytes + x * 4;
                             return test::Rgb{at[0], at[1], at[2]};
                         }),
              0);
}

// Read by hand, byte by byte: the header a viewer goes by, rows top down
// (a negative height) in BGR order, each padded to four bytes.
TEST_F(ImageWriterTest, BmpIsTopDownBgrWithPaddedRows) {
    const std::string path = dir.File("map.bmp");
    Write(ImageFormat::Bmp, path, odd);
    const std::string bytes = ReadFileBytes(path);
    const std::size_t rowBytes = 904;  // 301 * 3 = 903, padded
    ASSERT_EQ(bytes.size(), 54 + rowBytes * 259);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(LittleEndian(bytes, 2), bytes.size());
    EXPECT_EQ(LittleEndian(bytes, 10), 54u);
    EXPECT_EQ(LittleEndian(bytes, 18), 301u);
    EXPECT_EQ(static_cast<std::int32_t>(LittleEndian(bytes, 22)), -259);
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(Mismatches(odd, 0,
                         [&](int x, int y) {
                             const auto* at = reinterpret_cast<const std::uint8_t*>(bytes.data()) +
                                              54 + y * rowBytes + x * 3;
                             return test::Rgb{at[2], at[1], at[0]};
                         }),
              0);
    for (int y = 0; y < odd.Height; ++y) {
        EXPECT_EQ(bytes[54 + y * rowBytes + 903], 0) << y;
    }
}

TEST_F(ImageWriterTest, TiffReadsBackPixelForPixelInTiles) {
    const std::string path = dir.File("map.tif");
    Write(ImageFormat::Tiff, path, odd);
    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t tileWidth = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth);
    EXPECT_EQ(width, 301u);
    EXPECT_EQ(height, 259u);
    EXPECT_EQ(tileWidth, 256u);
    std::vector<std::uint32_t> abgr(std::size_t{width} * height);
    ASSERT_EQ(TIFFReadRGBAImageOriented(tiff, width, height, abgr.data(), ORIENTATION_TOPLEFT, 0),
              1);
    TIFFClose(tiff);
    EXPECT_EQ(Mismatches(odd, 0,
                         [&](int x, int y) {
                             const std::uint32_t pixel = abgr[std::size_t{width} * y + x];
                             return test::Rgb{static_cast<std::uint8_t>(TIFFGetR(pixel)),
                                              static_cast<std::uint8_t>(TIFFGetG(pixel)),
                                              static_cast<std::uint8_t>(TIFFGetB(pixel))};
                         }),
              0);
}

// A disk that fills up is reported, naming the format, never taken for a
// finished image. The image is noise, so that no encoder can keep it all in
// its buffers.
TEST_F(ImageWriterTest, AFullDiskFailsTheWriteNamingTheFormat) {
    if (!FileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    Image noise{2000, 64, std::vector<std::uint8_t>(2000 * 64 * 3)};
    std::uint32_t state = 1;
    for (std::uint8_t& byte : noise.Rgb) {
        state = state * 1664525 + 1013904223;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    for (const auto& [format, name] :
         {std::pair{ImageFormat::Png, "PNG"}, std::pair{ImageFormat::Jpeg, "JPEG"},
          std::pair{ImageFormat::Bmp, "BMP"}, std::pair{ImageFormat::Tiff, "TIFF"}}) {
        SCOPED_TRACE(name);
        std::FILE* file = std::fopen("/dev/full", "wb");
        ASSERT_NE(file, nullptr);
        try {
            const auto writer = MakeImageWriter(format, file, noise.Width, noise.Height, kWhere);
            for (int y = 0; y < noise.Height; ++y) {
                writer->WriteRow(noise.Row(y));
            }
            writer->Finish();
            ADD_FAILURE() << "the write went through";
        } catch (const EImageWriteError& error) {
            EXPECT_TRUE(std::string(error.what())
                            .starts_with(std::string("Writing the ") + name + " image failed: "))
                << error.what();
        }
        std::fclose(file);
    }
}

TEST(ImageFormats, NamesExtensionsAndWorldFiles) {
    const struct {
        const char* Path;
        std::optional<ImageFormat> Format;
        const char* WorldFile;
    } cases[] = {
        {"/maps/big.PNG", ImageFormat::Png, "/maps/big.pgw"},
        {"/maps/big.jpeg", ImageFormat::Jpeg, "/maps/big.jgw"},
        {"/maps/big.jpg", ImageFormat::Jpeg, "/maps/big.jgw"},
        {"/maps/big.bmp", ImageFormat::Bmp, "/maps/big.bpw"},
        {"/maps/big.tif", ImageFormat::Tiff, ""},
        {"/maps/big.tiff", ImageFormat::Tiff, ""},
        {"/maps/big.gif", std::nullopt, nullptr},
        {"/maps.png/big", std::nullopt, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Path);
        EXPECT_EQ(ImageFormatOfPath(c.Path), c.Format);
        if (c.Format) {
            EXPECT_EQ(WorldFileNameOf(c.Path, *c.Format), c.WorldFile);
        }
    }
    EXPECT_EQ(ImageFormatNamed("TIFF"), ImageFormat::Tiff);
    EXPECT_EQ(ImageFormatNamed("webp"), std::nullopt);
}

}  // namespace
}  // namespace tessellon
