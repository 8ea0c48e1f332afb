#include "output/pmtiles.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "net/net_limits.h"
#include "output/task_reader.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/stdio_files.h"

namespace tessellon {

namespace {

constexpr std::size_t kHeaderBytes = 127;
// A reader fetches the first 16 KiB at once: the header and the root
// directory must lie within them.
constexpr std::size_t kRootRegionBytes = 16384;
constexpr std::size_t kLeafEntriesAtLeast = 4096;

enum Compression : std::uint8_t { kUnknownCompression = 0, kNone = 1, kGzip = 2 };
enum TileType : std::uint8_t { kUnknownType = 0, kMvt = 1, kPng = 2, kJpeg = 3, kWebp = 4 };

struct Entry {
    std::uint64_t Id = 0;
    // From the start of the tile data.
    std::uint64_t Offset = 0;
    std::uint32_t Length = 0;
    // Tiles Id, Id + 1, ... of the same bytes; 0 for a leaf directory.
    std::uint32_t Run = 1;
};

void PutVarint(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>((value & 0x7f) | 0x80));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

template <class Integer>
void PutLittleEndian(std::string& out, Integer value) {
    auto bits = static_cast<std::make_unsigned_t<Integer>>(value);
    for (std::size_t i = 0; i < sizeof(Integer); ++i) {
        out.push_back(static_cast<char>(bits & 0xff));
        bits = static_cast<decltype(bits)>(bits >> 8);
    }
}

std::string Gzip(std::string_view bytes) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw ETileContainerError("The PMTiles directories cannot be compressed: out of memory.");
    }
    std::string out(deflateBound(&stream, static_cast<uLong>(bytes.size())) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw ETileContainerError("The PMTiles directories cannot be compressed.");
    }
    return out;
}

// A directory as the format lays it out: the count, then each column of
// the entries (ids as differences), offsets 0 where one follows the last.
std::string Directory(std::span<const Entry> entries) {
    std::string out;
    PutVarint(out, entries.size());
    std::uint64_t lastId = 0;
    for (const Entry& entry : entries) {
        PutVarint(out, entry.Id - lastId);
        lastId = entry.Id;
    }
    for (const Entry& entry : entries) {
        PutVarint(out, entry.Run);
    }
    for (const Entry& entry : entries) {
        PutVarint(out, entry.Length);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const bool follows =
            i > 0 && entries[i].Offset == entries[i - 1].Offset + entries[i - 1].Length;
        PutVarint(out, follows ? 0 : entries[i].Offset + 1);
    }
    return Gzip(out);
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out.append(escaped);
        } else {
            out.push_back(c);
        }
    }
    return out + "\"";
}

std::int32_t E7(double degrees) {
    return static_cast<std::int32_t>(std::lround(degrees * 1e7));
}

TileType TypeOf(const std::string& format) {
    if (format == "png") {
        return kPng;
    }
    if (format == "jpg" || format == "jpeg") {
        return kJpeg;
    }
    if (format == "webp") {
        return kWebp;
    }
    return format == "pbf" ? kMvt : kUnknownType;
}

class PmtilesSink : public TileSink {
public:
    PmtilesSink(const std::string& file, bool existed) : path_(file) {
        if (existed) {
            throw ETileContainerError("The file " + file +
                                      " exists; a PMTiles archive is written whole, so name a "
                                      "new file or remove this one first.");
        }
    }

    void Begin(const std::vector<TaskReader>& projects) override {
        format_ = CommonTileFormat(projects, "", path_, "PMTiles");
        output_.emplace(path_);
        // The header and root directory take their place at the end.
        const std::string reserved(kRootRegionBytes, '\0');
        Write(reserved);
    }

    bool InHilbertOrder() const override { return true; }

    void Put(const TileId& tile, std::string_view bytes) override {
        const std::uint64_t id = HilbertTileId(tile);
        minZoom_ = std::min(minZoom_, tile.Zoom);
        maxZoom_ = std::max(maxZoom_, tile.Zoom);
        if (!entries_.empty() && entries_.back().Id + entries_.back().Run - 1 == id) {
            // A later project's tile of the same place replaces the earlier.
            --addressed_;
            if (--entries_.back().Run == 0) {
                entries_.pop_back();
            }
        }
        gzipped_ += bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b' ? 1 : 0;
        ++addressed_;
        const auto length = static_cast<std::uint32_t>(bytes.size());
        const std::optional<std::uint64_t> stored = StoredCopy(bytes);
        const std::uint64_t offset = stored ? *stored : dataBytes_;
        if (!stored) {
            contents_.emplace(std::hash<std::string_view>{}(bytes), dataBytes_);
            Write(bytes);
            dataBytes_ += bytes.size();
            ++uniqueContents_;
        }
        if (!entries_.empty()) {
            Entry& last = entries_.back();
            if (last.Offset == offset && last.Length == length && last.Id + last.Run == id) {
                ++last.Run;
                return;
            }
        }
        entries_.push_back({id, offset, length, 1});
    }

    void Finish(const std::vector<TaskReader>& projects, const TileExportOptions& options,
                const StopSignal* stop) override {
        const std::vector<std::pair<int, TileRange>> ranges = CoverRanges(projects);
        const GeoRect bounds = CoveredAtEveryZoom(ranges);
        const std::string name =
            options.Name.empty() ? RemoveFileExt(ExtractFileName(projects.front().ProjectPath()))
                                 : options.Name;
        std::string json = "{\"name\":" + JsonString(name) + ",\"format\":" + JsonString(format_) +
                           ",\"type\":\"baselayer\"";
        const std::string attribution = JoinedAttribution(projects, "");
        if (!attribution.empty()) {
            json += ",\"attribution\":" + JsonString(attribution);
        }
        json += "}";
        const std::string metadata = Gzip(json);

        std::string leaves;
        const std::string root = Directories(leaves);
        const std::uint64_t metadataOffset = kRootRegionBytes + dataBytes_;
        const std::uint64_t leavesOffset = metadataOffset + metadata.size();
        Write(metadata);
        Write(leaves);

        std::string header = "PMTiles";
        header.push_back(3);
        for (const std::uint64_t value :
             {std::uint64_t{kHeaderBytes}, std::uint64_t{root.size()}, metadataOffset,
              std::uint64_t{metadata.size()}, leavesOffset, std::uint64_t{leaves.size()},
              std::uint64_t{kRootRegionBytes}, dataBytes_, addressed_,
              std::uint64_t{entries_.size()}, uniqueContents_}) {
            PutLittleEndian(header, value);
        }
        header.push_back(1);  // clustered
        header.push_back(static_cast<char>(kGzip));
        header.push_back(static_cast<char>(TileCompression()));
        header.push_back(static_cast<char>(TypeOf(format_)));
        // The zooms a reader asks for tiles at: those of the tiles put, or
        // of the covers when none was.
        const bool none = minZoom_ > maxZoom_;
        header.push_back(static_cast<char>(none ? ranges.front().first : minZoom_));
        header.push_back(static_cast<char>(none ? ranges.back().first : maxZoom_));
        for (const double edge : {bounds.Left, bounds.Bottom, bounds.Right, bounds.Top}) {
            PutLittleEndian(header, E7(edge));
        }
        header.push_back(static_cast<char>(ranges.front().first));
        PutLittleEndian(header, E7((bounds.Left + bounds.Right) / 2));
        PutLittleEndian(header, E7((bounds.Top + bounds.Bottom) / 2));
        ThrowIfStopped(stop);
        Seek(0);
        Write(header + root);
        output_->Commit();
    }

private:
    // Where the same bytes already lie in the tile data, if they do: a
    // match of the hash is read back and compared, so no two tiles are
    // taken for one by chance.
    std::optional<std::uint64_t> StoredCopy(std::string_view bytes) {
        const auto [first, last] = contents_.equal_range(std::hash<std::string_view>{}(bytes));
        for (auto candidate = first; candidate != last; ++candidate) {
            if (SameBytesAt(candidate->second, bytes)) {
                return candidate->second;
            }
        }
        return std::nullopt;
    }

    bool SameBytesAt(std::uint64_t offset, std::string_view bytes) {
        if (offset + bytes.size() > dataBytes_) {
            return false;
        }
        readBack_.resize(bytes.size());
        Seek(kRootRegionBytes + offset);
        const bool read =
            std::fread(readBack_.data(), 1, readBack_.size(), output_->File()) == readBack_.size();
        Seek(kRootRegionBytes + dataBytes_);
        return read && readBack_ == bytes;
    }

    // The root directory, and the leaves it points to into `leaves`: all
    // entries in the root when they fit the first 16 KiB, else leaves of
    // more entries each until the root of their first ids fits.
    std::string Directories(std::string& leaves) const {
        std::string root = Directory(entries_);
        if (root.size() <= kRootRegionBytes - kHeaderBytes) {
            return root;
        }
        for (std::size_t perLeaf = std::max(kLeafEntriesAtLeast, entries_.size() / 3500);;
             perLeaf *= 2) {
            leaves.clear();
            std::vector<Entry> rootEntries;
            for (std::size_t start = 0; start < entries_.size(); start += perLeaf) {
                const std::span<const Entry> part(entries_.data() + start,
                                                  std::min(perLeaf, entries_.size() - start));
                const std::string leaf = Directory(part);
                rootEntries.push_back(
                    {part.front().Id, leaves.size(), static_cast<std::uint32_t>(leaf.size()), 0});
                leaves += leaf;
            }
            root = Directory(rootEntries);
            if (root.size() <= kRootRegionBytes - kHeaderBytes) {
                return root;
            }
        }
    }

    Compression TileCompression() const {
        if (format_ != "pbf") {
            return kNone;
        }
        return gzipped_ == addressed_ ? kGzip : gzipped_ == 0 ? kNone : kUnknownCompression;
    }

    void Write(std::string_view bytes) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), output_->File()) != bytes.size()) {
            throw ETileContainerError("Cannot write " + path_ + ": " + std::strerror(errno));
        }
    }

    void Seek(std::uint64_t offset) {
        if (fseeko(output_->File(), static_cast<off_t>(offset), SEEK_SET) != 0) {
            throw ETileContainerError("Cannot write " + path_ + ": " + std::strerror(errno));
        }
    }

    std::string path_;
    std::string format_;
    std::optional<AtomicStdioFile> output_;
    std::vector<Entry> entries_;
    // The tiles' offsets by the hash of their bytes.
    std::unordered_multimap<std::size_t, std::uint64_t> contents_;
    std::uint64_t dataBytes_ = 0;
    std::uint64_t addressed_ = 0;
    std::uint64_t uniqueContents_ = 0;
    std::uint64_t gzipped_ = 0;
    int minZoom_ = std::numeric_limits<int>::max();
    int maxZoom_ = -1;
    std::string readBack_;
};

}  // namespace

std::uint64_t HilbertTileId(const TileId& tile) {
    const auto zoom = static_cast<std::uint64_t>(tile.Zoom);
    // The tiles of the zooms above: (4^zoom - 1) / 3.
    std::uint64_t id = ((std::uint64_t{1} << (2 * zoom)) - 1) / 3;
    const std::uint64_t side = std::uint64_t{1} << zoom;
    auto x = static_cast<std::uint64_t>(tile.X);
    auto y = static_cast<std::uint64_t>(tile.Y);
    for (std::uint64_t s = side / 2; s > 0; s /= 2) {
        const std::uint64_t rx = (x & s) != 0 ? 1 : 0;
        const std::uint64_t ry = (y & s) != 0 ? 1 : 0;
        id += s * s * ((3 * rx) ^ ry);
        if (ry == 0) {
            if (rx == 1) {
                x = side - 1 - x;
                y = side - 1 - y;
            }
            std::swap(x, y);
        }
    }
    return id;
}

std::unique_ptr<TileSink> MakePmtilesSink(const std::string& file, bool existed) {
    return std::make_unique<PmtilesSink>(file, existed);
}

namespace {

// Leaves point to leaves no deeper than this in any archive the format's
// writers make; a loop of leaves in a hostile one ends here.
constexpr int kLeafDepth = 4;

[[noreturn]] void RefuseArchive(const std::string& path, std::string_view why) {
    throw ETileContainerError("The file " + path + " is not a PMTiles archive that can be read: " +
                              std::string(why) + ".");
}

// The bytes of a gzip stream, at most `limit` of them; nothing when the
// stream is broken or longer.
std::optional<std::string> Gunzip(std::string_view packed, std::uint64_t limit) {
    z_stream stream{};
    if (inflateInit2(&stream, 15 + 16) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::string out;
    int result = Z_OK;
    while (result == Z_OK) {
        const std::size_t done = out.size();
        out.resize(done + 65536);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + done);
        stream.avail_out = 65536;
        result = inflate(&stream, Z_NO_FLUSH);
        out.resize(done + 65536 - stream.avail_out);
        if (out.size() > limit) {
            result = Z_BUF_ERROR;
        }
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END ? std::optional(std::move(out)) : std::nullopt;
}

bool GetVarint(std::string_view& bytes, std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64 && !bytes.empty(); shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes.front());
        bytes.remove_prefix(1);
        value |= std::uint64_t{byte & 0x7fu} << shift;
        if ((byte & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

template <class Integer>
Integer LittleEndianAt(std::string_view bytes, std::size_t at) {
    std::make_unsigned_t<Integer> value = 0;
    for (std::size_t i = sizeof(Integer); i-- > 0;) {
        value =
            static_cast<decltype(value)>(value << 8 | static_cast<unsigned char>(bytes[at + i]));
    }
    return static_cast<Integer>(value);
}

}  // namespace

PmtilesReader::PmtilesReader(const std::string& path) {
    try {
        file_ = std::make_unique<RandomAccessFile>(path);
    } catch (const EFileError& e) {
        throw ETileContainerError(e.what());
    }
    std::string header;
    if (!file_->ReadAt(0, kHeaderBytes, header) || !header.starts_with("PMTiles") ||
        header[7] != 3) {
        RefuseArchive(path, "it has no header of version 3");
    }
    const auto rootOffset = LittleEndianAt<std::uint64_t>(header, 8);
    const auto rootLength = LittleEndianAt<std::uint64_t>(header, 16);
    leavesOffset_ = LittleEndianAt<std::uint64_t>(header, 40);
    dataOffset_ = LittleEndianAt<std::uint64_t>(header, 56);
    compression_ = static_cast<unsigned char>(header[97]);
    minZoom_ = static_cast<unsigned char>(header[100]);
    maxZoom_ = static_cast<unsigned char>(header[101]);
    bounds_ = {LittleEndianAt<std::int32_t>(header, 102) / 1e7,
               LittleEndianAt<std::int32_t>(header, 110) / 1e7,
               LittleEndianAt<std::int32_t>(header, 114) / 1e7,
               LittleEndianAt<std::int32_t>(header, 106) / 1e7};
    if (compression_ != kNone && compression_ != kGzip) {
        RefuseArchive(path, "its directories are packed otherwise than by gzip");
    }
    if (minZoom_ > maxZoom_ || maxZoom_ > 30) {
        RefuseArchive(path, "its zooms are none a map has");
    }
    root_ = ReadDirectory(rootOffset, rootLength);
}

PmtilesReader::~PmtilesReader() = default;

std::vector<PmtilesReader::Entry> PmtilesReader::ReadDirectory(std::uint64_t offset,
                                                               std::uint64_t length) const {
    std::string packed;
    if (length > kMaxDirectoryBytes || !file_->ReadAt(offset, length, packed)) {
        RefuseArchive(file_->Path(), "a directory lies past its end");
    }
    std::optional<std::string> unpacked =
        compression_ == kGzip ? Gunzip(packed, kMaxDirectoryBytes) : std::optional(packed);
    std::string_view bytes = unpacked ? std::string_view(*unpacked) : std::string_view();
    std::uint64_t count = 0;
    // Each entry takes four bytes at least.
    if (!unpacked || !GetVarint(bytes, count) || count > bytes.size() / 4 + 1) {
        RefuseArchive(file_->Path(), "a directory cannot be unpacked");
    }
    std::vector<Entry> entries(count);
    bool whole = true;
    std::uint64_t id = 0;
    for (Entry& entry : entries) {
        std::uint64_t step = 0;
        whole = whole && GetVarint(bytes, step);
        id += step;
        entry.Id = id;
    }
    for (Entry& entry : entries) {
        whole = whole && GetVarint(bytes, entry.Run);
    }
    for (Entry& entry : entries) {
        whole = whole && GetVarint(bytes, entry.Length);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::uint64_t value = 0;
        whole = whole && GetVarint(bytes, value);
        entries[i].Offset =
            value == 0 && i > 0 ? entries[i - 1].Offset + entries[i - 1].Length : value - 1;
    }
    if (!whole) {
        RefuseArchive(file_->Path(), "a directory is cut short");
    }
    return entries;
}

std::shared_ptr<const std::vector<PmtilesReader::Entry>> PmtilesReader::Leaf(
    std::uint64_t offset, std::uint64_t length) const {
    {
        const std::lock_guard lock(leafMutex_);
        if (leaf_ && leafOffset_ == offset) {
            return leaf_;
        }
    }
    auto leaf =
        std::make_shared<const std::vector<Entry>>(ReadDirectory(leavesOffset_ + offset, length));
    const std::lock_guard lock(leafMutex_);
    leafOffset_ = offset;
    leaf_ = leaf;
    return leaf;
}

std::optional<std::string> PmtilesReader::Tile(const TileId& tile) const {
    if (tile.Zoom < minZoom_ || tile.Zoom > maxZoom_) {
        return std::nullopt;
    }
    const std::uint64_t id = HilbertTileId(tile);
    std::shared_ptr<const std::vector<Entry>> leaf;
    const std::vector<Entry>* entries = &root_;
    for (int depth = 0; depth <= kLeafDepth; ++depth) {
        // The last entry at or before the id.
        const auto after = std::upper_bound(
            entries->begin(), entries->end(), id,
            [](std::uint64_t value, const Entry& entry) { return value < entry.Id; });
        if (after == entries->begin()) {
            return std::nullopt;
        }
        const Entry& entry = *std::prev(after);
        if (entry.Run > 0) {
            std::string bytes;
            if (id - entry.Id >= entry.Run || entry.Length > kDefaultMaxTileBytes ||
                !file_->ReadAt(dataOffset_ + entry.Offset, entry.Length, bytes)) {
                return std::nullopt;
            }
            return bytes;
        }
        try {
            leaf = Leaf(entry.Offset, entry.Length);
        } catch (const ETileContainerError&) {
            // A broken leaf: its tiles cannot be shown, the others may.
            return std::nullopt;
        }
        entries = leaf.get();
    }
    return std::nullopt;
}

}  // namespace tessellon
