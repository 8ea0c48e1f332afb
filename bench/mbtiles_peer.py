"""The peer of the MBTiles and GeoPackage export benchmarks: the same tile
files into an MBTiles file, or the tiles table of a GeoPackage, with Python's
standard sqlite3 module, in one transaction.

Usage: python3 mbtiles_peer.py IMAGE_FOLDER OUTPUT_FILE [mbtiles|gpkg]
Prints "tiles=N seconds=S"; the time covers opening the database to the
commit, as the native side's does.
"""

import os
import sqlite3
import sys
import time


def main():
    folder, output = sys.argv[1], sys.argv[2]
    gpkg = len(sys.argv) > 3 and sys.argv[3] == "gpkg"
    start = time.perf_counter()
    db = sqlite3.connect(output)
    if gpkg:
        db.executescript(
            "CREATE TABLE tiles (id INTEGER PRIMARY KEY AUTOINCREMENT, zoom_level INTEGER NOT"
            " NULL, tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL, tile_data BLOB NOT"
            " NULL, UNIQUE (zoom_level, tile_column, tile_row));"
            "CREATE TABLE metadata (name text, value text);")
    else:
        db.executescript(
            "CREATE TABLE metadata (name text, value text);"
            "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer,"
            " tile_data blob);"
            "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);")

    def rows():
        for entry in os.scandir(folder):
            stem, _ = os.path.splitext(entry.name)
            _, x, y, z = stem.split("_")
            z = int(z)
            row = int(y) if gpkg else (1 << z) - 1 - int(y)
            with open(entry.path, "rb") as tile:
                yield z, int(x), row, tile.read()

    with db:
        db.executemany("INSERT OR REPLACE INTO tiles (zoom_level, tile_column, tile_row,"
                       " tile_data) VALUES (?, ?, ?, ?)", rows())
        db.execute("INSERT INTO metadata VALUES ('format', 'png')")
    count = db.execute("SELECT count(*) FROM tiles").fetchone()[0]
    db.close()
    print("tiles=%d seconds=%.3f" % (count, time.perf_counter() - start))


main()
