#pragma once
// The PMTiles container (version 3), the single file web maps read by HTTP
// range requests: a 127-byte header, a gzip-compressed root directory in the
// first 16 KiB, the tiles ordered by their Hilbert id (clustered) with tiles
// of identical bytes stored once, JSON metadata and leaf directories. An
// archive is written whole: an existing file is refused, not rewritten.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "output/tile_export.h"
#include "platform/random_access_file.h"

namespace tessellon {

// A tile's id in the archive: the tiles of all lower zooms counted, then the
// tile's place on the Hilbert curve over its zoom.
std::uint64_t HilbertTileId(const TileId& tile);

// Writes an archive at `file` under a temporary name, renamed when whole;
// refuses a file that exists.
std::unique_ptr<TileSink> MakePmtilesSink(const std::string& file, bool existed);

// Reads an archive's tiles by XYZ tiles, through its root and leaf
// directories. A file from elsewhere: a directory larger than kMaxDirectoryBytes
// unpacked, leaves nested deeper than the format makes them, entries pointing
// past the file and tiles larger than a download takes are refused or read
// as no tile. Reads may come from several threads at once.
class PmtilesReader {
public:
    static constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{64} << 20;

    // Throws ETileContainerError when the file cannot be opened, is no
    // PMTiles archive of version 3, or its root directory cannot be read.
    explicit PmtilesReader(const std::string& path);
    ~PmtilesReader();

    int MinZoom() const { return minZoom_; }
    int MaxZoom() const { return maxZoom_; }
    // The area the header gives, in degrees.
    const GeoRect& Bounds() const { return bounds_; }
    // The tile's bytes as stored, if the archive has it.
    std::optional<std::string> Tile(const TileId& tile) const;

private:
    struct Entry {
        std::uint64_t Id = 0;
        std::uint64_t Offset = 0;
        std::uint64_t Length = 0;
        std::uint64_t Run = 0;
    };
    // The entries of the directory at `offset`, `length` bytes, packed as
    // the header says; throws ETileContainerError.
    std::vector<Entry> ReadDirectory(std::uint64_t offset, std::uint64_t length) const;
    // The leaf at `offset` from the leaves' start, through a cache of one.
    std::shared_ptr<const std::vector<Entry>> Leaf(std::uint64_t offset,
                                                   std::uint64_t length) const;

    std::unique_ptr<RandomAccessFile> file_;
    std::uint64_t leavesOffset_ = 0;
    std::uint64_t dataOffset_ = 0;
    int compression_ = 0;
    int minZoom_ = 0;
    int maxZoom_ = 0;
    GeoRect bounds_;
    std::vector<Entry> root_;
    mutable std::mutex leafMutex_;
    mutable std::uint64_t leafOffset_ = 0;
    mutable std::shared_ptr<const std::vector<Entry>> leaf_;
};

}  // namespace tessellon
