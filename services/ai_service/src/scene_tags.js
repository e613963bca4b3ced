'use strict';
// Cheap scene tags from an RGB raster: the shape of the photo, whether it
// has colour and whether it is dark.

const grayChroma = 12;   // mean max-min channel spread (0..255) below which a photo is gray
const nightLuma = 55;    // mean luma (0..255) below which a photo counts as taken at night
const squareSlack = 0.02;

function orientation(width, height) {
  if (Math.abs(width - height) <= squareSlack * Math.max(width, height)) return 'Square';
  return width > height ? 'Landscape' : 'Portrait';
}

// `rgb` holds width*height*3 bytes; `width`/`height` are the photo's own
// (upright) size, which may differ from the raster's.
function sceneTags(rgb, width, height) {
  const tags = [orientation(width, height)];
  const pixels = Math.floor(rgb.length / 3);
  if (pixels === 0) return tags;
  let chroma = 0;
  let luma = 0;
  for (let i = 0; i < pixels * 3; i += 3) {
    const r = rgb[i], g = rgb[i + 1], b = rgb[i + 2];
    chroma += Math.max(r, g, b) - Math.min(r, g, b);
    luma += 0.299 * r + 0.587 * g + 0.114 * b;
  }
  if (chroma / pixels < grayChroma) tags.push('Black and white');
  if (luma / pixels < nightLuma) tags.push('Night');
  return tags;
}

module.exports = { sceneTags, orientation };
