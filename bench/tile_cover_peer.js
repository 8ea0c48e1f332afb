// The tiles of a GeoJSON area at one zoom, from the field's reference
// tile-cover module (@mapbox/tile-cover): the peer the cover of tessellon-cli
// estimate is measured against, on the same geometry.
//
// Usage: node tile_cover_peer.js MODULES AREA.geojson ZOOM [TILES]
// MODULES is the node_modules folder that holds @mapbox/tile-cover. Prints
// the number of tiles; with TILES, also writes them there as "Z/X/Y" lines.

'use strict';
const fs = require('fs');
const path = require('path');

const [modules, areaFile, zoomText, tilesFile] = process.argv.slice(2);
const cover = require(path.resolve(modules, '@mapbox', 'tile-cover'));
const zoom = Number(zoomText);

// A Feature or FeatureCollection gives its geometries; a geometry itself.
const geometries = (json) => {
  if (json.type === 'FeatureCollection') return json.features.flatMap(geometries);
  if (json.type === 'Feature') return json.geometry ? [json.geometry] : [];
  if (json.type === 'GeometryCollection') return json.geometries.flatMap(geometries);
  return [json];
};

const limits = {min_zoom: zoom, max_zoom: zoom};
const parts = geometries(JSON.parse(fs.readFileSync(areaFile, 'utf8')));
let tiles;
if (parts.length === 1) {
  tiles = cover.tiles(parts[0], limits);
} else {
  // Tiles that two geometries share count once.
  const seen = new Map();
  for (const part of parts) {
    for (const t of cover.tiles(part, limits)) seen.set(`${t[2]}/${t[0]}/${t[1]}`, t);
  }
  tiles = [...seen.values()];
}
if (tilesFile) {
  fs.writeFileSync(tilesFile, tiles.map((t) => `${t[2]}/${t[0]}/${t[1]}\n`).join(''));
}
console.log(tiles.length);
