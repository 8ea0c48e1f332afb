#include "combine_fixture.h"

#include <jpeglib.h>
#include <png.h>
#include <sys/wait.h>
#include <webp/encode.h>

#include <csetjmp>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "geo/tile_math.h"
#include "platform/files.h"

namespace tessellon::test {

namespace {

std::vector<std::uint8_t> Solid(Rgb colour, int side) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(side) * side * 3);
    for (std::size_t i = 0; i < pixels.size(); i += 3) {
        pixels[i] = colour[0];
        pixels[i + 1] = colour[1];
        pixels[i + 2] = colour[2];
    }
    return pixels;
}

}  // namespace

std::string EncodePng(Rgb colour, int side) {
    const std::vector<std::uint8_t> pixels = Solid(colour, side);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(side);
    image.height = static_cast<png_uint_32>(side);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(
        png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels.data(), 0, nullptr));
    bytes.resize(size);
    return bytes;
}

std::string EncodeJpeg(Rgb colour) {
    const std::vector<std::uint8_t> pixels = Solid(colour, 256);
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = 256;
    info.image_height = 256;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < 256) {
        auto row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * 256 * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

std::string EncodeWebp(Rgb colour) {
    const std::vector<std::uint8_t> pixels = Solid(colour, 256);
    std::uint8_t* output = nullptr;
    const std::size_t size = WebPEncodeLosslessRGB(pixels.data(), 256, 256, 256 * 3, &output);
    std::string bytes(reinterpret_cast<const char*>(output), size);
    WebPFree(output);
    return bytes;
}

Rgb Decoded::At(int x, int y) const {
    const std::size_t at = (static_cast<std::size_t>(y) * Width + x) * 3;
    return {Pixels[at], Pixels[at + 1], Pixels[at + 2]};
}

Decoded DecodePngFile(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Decoded decoded;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return decoded;
    }
    image.format = PNG_FORMAT_RGB;
    decoded.Width = static_cast<int>(image.width);
    decoded.Height = static_cast<int>(image.height);
    decoded.Pixels.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, decoded.Pixels.data(), 0, nullptr))
        << image.message;
    return decoded;
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

TaskReader SmallTask::Open() const {
    return TaskReader(dir.File("newtask.tsln"), blankFolder);
}

void SmallTask::PutTile(std::int32_t x, std::int32_t y, const std::string& bytes) const {
    WriteFileAtomic(task->GetTilePath({task->Params->Zoom, x, y}), bytes);
}

}  // namespace tessellon::test
