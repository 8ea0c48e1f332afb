"""The peer of the MBTiles export benchmark: the same tile files into an
MBTiles file with Python's standard sqlite3 module, in one transaction.

Usage: python3 mbtiles_peer.py IMAGE_FOLDER OUTPUT_FILE
Prints "tiles=N seconds=S"; the time covers opening the database to the
commit, as the native side's does.
"""

import os
import sqlite3
import sys
import time


def main():
    folder, output = sys.argv[1], sys.argv[2]
    start = time.perf_counter()
    db = sqlite3.connect(output)
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
            with open(entry.path, "rb") as tile:
                yield z, int(x), (1 << z) - 1 - int(y), tile.read()

    with db:
        db.executemany("INSERT OR REPLACE INTO tiles VALUES (?, ?, ?, ?)", rows())
        db.execute("INSERT INTO metadata VALUES ('format', 'png')")
    count = db.execute("SELECT count(*) FROM tiles").fetchone()[0]
    db.close()
    print("tiles=%d seconds=%.3f" % (count, time.perf_counter() - start))


main()
