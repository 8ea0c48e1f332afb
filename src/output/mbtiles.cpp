#include "output/mbtiles.h"

#include "output/sqlite_tile_sink.h"

namespace tessellon {

namespace {

[[noreturn]] void ThrowMbtilesError(const SqliteFailure& failure) {
    throw EMbtilesError(SqliteFailureText("MBTiles", failure));
}

[[noreturn]] void RefuseMbtiles(const std::string& message) {
    throw EMbtilesError(message);
}

}  // namespace

MbtilesReader::MbtilesReader(const std::string& path)
    : SqliteTileReader(path, ContainerFormat::Mbtiles, RefuseMbtiles, ThrowMbtilesError) {}

std::map<std::string, std::string> MbtilesReader::Metadata() const {
    std::map<std::string, std::string> metadata;
    SqliteStatement rows = Db().Prepare("SELECT name, value FROM metadata");
    while (rows.Step()) {
        metadata[rows.Text(0)] = rows.Text(1);
    }
    return metadata;
}

}  // namespace tessellon
