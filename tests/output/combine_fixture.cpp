#include "combine_fixture.h"

#include <jpeglib.h>
#include <png.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <webp/encode.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "geo/tile_math.h"
#include "platform/files.h"

namespace tessellon::test {

const std::string kSolidPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x01\x00\x00\x00"
    "\x01\x00\x01\x03\x00\x00\x00\x66\xbc\x3a\x25\x00\x00\x00\x03\x50\x4c\x54\x45\xc8\x1e\x28"
    "\xd9\x32\x6d\x07\x00\x00\x00\x1f\x49\x44\x41\x54\x78\xda\xed\xc1\x01\x0d\x00\x00\x00\xc2"
    "\xa0\xf7\x4f\x6d\x0e\x37\xa0\x00\x00\x00\x00\x00\x00\x00\x00\xbe\x0d\x21\x00\x00\x01\x60"
    "\xe4\x9d\x97\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    103);

Raster SolidRaster(Rgb colour, int side) {
    Raster raster{side, side, 3, {}};
    raster.Pixels.resize(static_cast<std::size_t>(side) * side * 3);
    for (std::size_t i = 0; i < raster.Pixels.size(); i += 3) {
        raster.Pixels[i] = colour[0];
        raster.Pixels[i + 1] = colour[1];
        raster.Pixels[i + 2] = colour[2];
    }
    return raster;
}

std::string PngOf(const Raster& raster) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(raster.Width);
    image.height = static_cast<png_uint_32>(raster.Height);
    image.format = raster.Channels == 1   ? PNG_FORMAT_GRAY
                   : raster.Channels == 4 ? PNG_FORMAT_RGBA
                                          : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(
        png_image_write_to_memory(&image, nullptr, &size, 0, raster.Pixels.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, raster.Pixels.data(), 0,
                                          nullptr));
    bytes.resize(size);
    return bytes;
}

std::string JpegOf(const Raster& raster, int quality) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(raster.Width);
    info.image_height = static_cast<JDIMENSION>(raster.Height);
    info.input_components = raster.Channels;
    info.in_color_space = raster.Channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const std::size_t rowBytes = static_cast<std::size_t>(raster.Width) * raster.Channels;
    while (info.next_scanline < info.image_height) {
        auto row = const_cast<JSAMPROW>(raster.Pixels.data() + info.next_scanline * rowBytes);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

std::string WebpOf(const Raster& raster, std::optional<float> quality) {
    const bool alpha = raster.Channels == 4;
    const int stride = raster.Width * raster.Channels;
    const std::uint8_t* pixels = raster.Pixels.data();
    std::uint8_t* output = nullptr;
    std::size_t size = 0;
    if (quality) {
        size = alpha
                   ? WebPEncodeRGBA(pixels, raster.Width, raster.Height, stride, *quality, &output)
                   : WebPEncodeRGB(pixels, raster.Width, raster.Height, stride, *quality, &output);
    } else {
        size = alpha ? WebPEncodeLosslessRGBA(pixels, raster.Width, raster.Height, stride, &output)
                     : WebPEncodeLosslessRGB(pixels, raster.Width, raster.Height, stride, &output);
    }
    EXPECT_GT(size, 0u);
    std::string bytes(reinterpret_cast<const char*>(output), size);
    WebPFree(output);
    return bytes;
}

std::string EncodePng(Rgb colour, int side) {
    return PngOf(SolidRaster(colour, side));
}

std::string EncodeJpeg(Rgb colour) {
    return JpegOf(SolidRaster(colour));
}

std::string EncodeWebp(Rgb colour) {
    return WebpOf(SolidRaster(colour));
}

Rgb Decoded::At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * Width + x) * Channels;
    return {Pixels[at], Pixels[at + 1], Pixels[at + 2]};
}

std::uint8_t Decoded::Alpha(int x, int y) const {
    return Channels == 4 ? Pixels[(static_cast<std::size_t>(y) * Width + x) * 4 + 3] : 255;
}

Decoded DecodePngFile(const std::string& path, bool withAlpha) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded decoded;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return decoded;
    }
    image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    decoded.Channels = withAlpha ? 4 : 3;
    decoded.Width = static_cast<int>(image.width);
    decoded.Height = static_cast<int>(image.height);
    decoded.Pixels.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, decoded.Pixels.data(), 0, nullptr))
        << image.message;
    return decoded;
}

void MakeMbtiles(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string all =
        "CREATE TABLE metadata (name text, value text);"
        "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer,"
        " tile_data blob);" +
        sql;
    EXPECT_EQ(sqlite3_exec(db, all.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
}

Run RunCommand(const std::string& command) {
    Run run;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        run.Output.append(buffer, read);
    }
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool ToolInstalled(const std::string& tool) {
    return RunCommand("command -v " + tool + " >/dev/null").Status == 0;
}

std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string GdalInfo(const std::string& path) {
    const Run run = RunCommand("gdalinfo -json " + Quoted(path));
    EXPECT_EQ(run.Status, 0) << run.Output;
    std::string packed;
    for (const char c : run.Output) {
        if (c != ' ' && c != '\n' && c != '\r') {
            packed += c;
        }
    }
    return packed;
}

std::vector<double> GeoTransformIn(const std::string& info) {
    const std::string key = "\"geoTransform\":[";
    const std::size_t start = info.find(key);
    std::vector<double> numbers;
    if (start == std::string::npos) {
        ADD_FAILURE() << "no geotransform in " << info.substr(0, 400);
        return numbers;
    }
    const std::size_t from = start + key.size();
    std::istringstream list(info.substr(from, info.find(']', from) - from));
    std::string number;
    while (numbers.size() < 6 && std::getline(list, number, ',')) {
        numbers.push_back(std::stod(number));
    }
    return numbers;
}

Rgb GdalPixel(const std::string& path, int x, int y) {
    Rgb colour{};
    for (int band = 1; band <= 3; ++band) {
        const Run run =
            RunCommand("gdallocationinfo -valonly -b " + std::to_string(band) + " " + Quoted(path) +
                       " " + std::to_string(x) + " " + std::to_string(y));
        EXPECT_EQ(run.Status, 0) << run.Output;
        colour[band - 1] = static_cast<std::uint8_t>(std::stoi(run.Output));
    }
    return colour;
}

SmallTask::SmallTask() {
    // Through the middle of the edge tiles: the range is 2 x 3 tiles, the
    // typed area half a tile in from each edge.
    params.LeftLongitude = TileXToLongitude(kMinX + 0.5, 13);
    params.RightLongitude = TileXToLongitude(kMinX + 1.5, 13);
    params.TopLatitude = TileYToLatitude(kMinY + 0.5, 13);
    params.BottomLatitude = TileYToLatitude(kMinY + 2.5, 13);
    std::filesystem::create_directories(blankFolder);
}

void SmallTask::Start() {
    Create().WriteTaskFiles({});
}

void SmallTask::StartShaped(int zoomTo) {
    MakeSampleTriangle(params, zoomTo);
    Start();
}

TaskReader SmallTask::Open() const {
    return TaskReader(dir.File("newtask.tsln"), blankFolder);
}

void SmallTask::PutTile(std::int32_t x, std::int32_t y, const std::string& bytes) const {
    PutTile({task->Params->Zoom, x, y}, bytes);
}

void SmallTask::PutTile(const TileId& tile, const std::string& bytes) const {
    WriteFileAtomic(task->GetTilePath(tile), bytes);
}

}  // namespace tessellon::test
