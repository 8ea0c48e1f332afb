#pragma once
// MBTiles files: the single-file tile sets that map programs open. The reader
// here shows a file's metadata and tiles by XYZ rows, whatever rows the file
// keeps (MBTiles keeps TMS rows, counted from the south).

#include <map>
#include <string>

#include "output/sqlite_tile_reader.h"

namespace tessellon {

// An MBTiles file that cannot be used: it cannot be opened, is no SQLite
// database, lacks the tables of an MBTiles file, is locked by another
// program, or holds tiles of another format. The message names the file.
class EMbtilesError : public ETileContainerError {
public:
    using ETileContainerError::ETileContainerError;
};

// Opens the file read-only and never changes it, as a file from elsewhere
// (ForeignContainerGuard). Calls may come from several threads; each runs its
// own statement on the one connection.
class MbtilesReader : public SqliteTileReader {
public:
    // Throws EMbtilesError when the file cannot be opened, is no SQLite
    // database, has no tiles or metadata table, or is locked, or when either
    // table is a view or carries a trigger; Range throws it for a zoom
    // without tiles.
    explicit MbtilesReader(const std::string& path);

    std::map<std::string, std::string> Metadata() const;
};

}  // namespace tessellon
