// Reads a PMTiles archive with the npm pmtiles package, which the export
// tests take as the reader nobody here wrote. Prints one line each:
//   header MINZOOM MAXZOOM TILETYPE CLUSTERED INTERNAL TILECOMPRESSION
//          ADDRESSED ENTRIES CONTENTS MINLON MINLAT MAXLON MAXLAT
//   metadata JSON
//   tile Z/X/Y HEX   (or "tile Z/X/Y none" for a tile the archive lacks)
// Usage: node read_pmtiles.mjs ARCHIVE [Z/X/Y...]

import { readFileSync } from 'node:fs';
import { PMTiles } from 'pmtiles';

const [archive, ...tiles] = process.argv.slice(2);
const bytes = readFileSync(archive);

// The whole file in memory, handed out by range as a server would.
class FileSource {
  getKey() { return archive; }
  async getBytes(offset, length) {
    const part = bytes.subarray(offset, offset + length);
    return { data: part.buffer.slice(part.byteOffset, part.byteOffset + part.byteLength) };
  }
}

const pmtiles = new PMTiles(new FileSource());
const h = await pmtiles.getHeader();
console.log(['header', h.minZoom, h.maxZoom, h.tileType, h.clustered ? 1 : 0, h.internalCompression,
  h.tileCompression, h.numAddressedTiles, h.numTileEntries, h.numTileContents, h.minLon, h.minLat,
  h.maxLon, h.maxLat].join(' '));
console.log('metadata ' + JSON.stringify(await pmtiles.getMetadata()));
for (const tile of tiles) {
  const [z, x, y] = tile.split('/').map(Number);
  const found = await pmtiles.getZxy(z, x, y);
  console.log(`tile ${tile} ` + (found ? Buffer.from(found.data).toString('hex') : 'none'));
}
