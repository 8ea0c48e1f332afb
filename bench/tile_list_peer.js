// The same tile list, written by a plain Node.js program: the peer the
// native writer is measured against. It computes the same edges in double
// precision and formats them as the native writer does.
//
// Usage: node tile_list_peer.js OUTPUT MINX MAXX MINY MAXY ZOOM
// Prints "seconds=S".

'use strict';
const fs = require('fs');

const [out, minX, maxX, minY, maxY, zoom] = [
  process.argv[2], ...process.argv.slice(3).map(Number)];
const side = 2 ** zoom;
const lon = (x) => x * 360 / side - 180;
const lat = (y) => {
  const r = Math.exp(2 * Math.PI - 4 * Math.PI * y / side);
  return Math.asin((r - 1) / (r + 1)) * 180 / Math.PI;
};
const fixed = (v) => v.toFixed(14).padStart(20);

const start = process.hrtime.bigint();
const fd = fs.openSync(out, 'w');
let chunk = 'ImageFileName    Left_Edge_Longitude    Right_Edge_Longitude   Top_Edge_Latitude      ' +
    'Bottom_Edge_Latitude\r\n';
for (let x = minX; x <= maxX; x++) {
  for (let y = minY; y <= maxY; y++) {
    chunk += `yn_${x}_${y}_${zoom}.png: ${fixed(lon(x))} ${fixed(lon(x + 1))} ` +
        `${fixed(lat(y))} ${fixed(lat(y + 1))}\r\n`;
    if (chunk.length > 1 << 20) {
      fs.writeSync(fd, chunk);
      chunk = '';
    }
  }
}
fs.writeSync(fd, chunk);
fs.closeSync(fd);
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
console.log(`seconds=${seconds.toFixed(3)}`);
