#pragma once
// A task of side x side tiles at zoom 13 with its tiles written, for the
// benchmarks that combine one: smooth shading with fine grain, different in
// every tile, so that the codecs find some but not much to compress, as in
// aerial imagery. PNG tiles for a map task, JPEG for a satellite one.

#include <jpeglib.h>
#include <png.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "geo/tile_math.h"
#include "platform/message_sink.h"
#include "task/md_task.h"

namespace tessellon::bench {

inline constexpr int kTaskZoom = 13;
inline constexpr int kTaskMinX = 6700;
inline constexpr int kTaskMinY = 3000;

class StderrMessages : public MessageSink {
public:
    void ShowMessage(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
};

inline std::vector<std::uint8_t> TilePixels(int column, int row) {
    std::vector<std::uint8_t> pixels(256 * 256 * 3);
    std::uint32_t noise = static_cast<std::uint32_t>(column * 7919 + row * 104729 + 1);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int grain = static_cast<int>(noise >> 28);
            std::uint8_t* at = pixels.data() + (y * 256 + x) * 3;
            at[0] = static_cast<std::uint8_t>((x + column * 2 + grain) & 0xff);
            at[1] = static_cast<std::uint8_t>((y + row * 2 + grain) & 0xff);
            at[2] = static_cast<std::uint8_t>(((x ^ y) / 2 + grain * 2) & 0xff);
        }
    }
    return pixels;
}

inline void WritePngTile(const std::string& path, const std::vector<std::uint8_t>& pixels) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 256;
    image.height = 256;
    image.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr)) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline void WriteJpegTile(const std::string& path, const std::vector<std::uint8_t>& pixels) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = 256;
    info.image_height = 256;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 85, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < 256) {
        auto row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * 256 * 3);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// Writes the task `name` into `folder` and its tiles; returns the tiles'
// paths, row by row.
inline std::vector<std::string> MakeTileTask(const std::string& folder, const std::string& name,
                                             int side, bool jpeg) {
    TaskParameters params;
    params.Zoom = kTaskZoom;
    params.LeftLongitude = TileXToLongitude(kTaskMinX + 0.5, kTaskZoom);
    params.RightLongitude = TileXToLongitude(kTaskMinX + side - 0.5, kTaskZoom);
    params.TopLatitude = TileYToLatitude(kTaskMinY + 0.5, kTaskZoom);
    params.BottomLatitude = TileYToLatitude(kTaskMinY + side - 0.5, kTaskZoom);
    params.MapsType = jpeg ? kMapsTypeSatellite : kMapsTypeMap;
    params.SavePath = folder;
    params.TaskName = name;
    StderrMessages messages;
    const MDTask task(&params, messages);
    task.WriteTaskFiles({});
    std::vector<std::string> tiles;
    for (int row = 0; row < side; ++row) {
        for (int column = 0; column < side; ++column) {
            tiles.push_back(
                task.GetTilePath({task.Params->Zoom, kTaskMinX + column, kTaskMinY + row}));
            const std::vector<std::uint8_t> pixels = TilePixels(column, row);
            if (jpeg) {
                WriteJpegTile(tiles.back(), pixels);
            } else {
                WritePngTile(tiles.back(), pixels);
            }
        }
    }
    return tiles;
}

}  // namespace tessellon::bench
