'use strict';
// Named face regions stored in a photo's XMP packet or its ".xmp" sidecar:
// Microsoft's MP:RegionInfo (top-left rectangles) and MWG mwg-rs:Regions
// (centred areas). Rectangles come out normalised, top-left corner first.
const fs = require('fs');

const headBytes = 4 << 20;  // a JPEG's XMP sits in its first segments

function unescapeXml(text) {
  return text.replace(/&(lt|gt|amp|quot|apos|#(\d+)|#x([0-9a-fA-F]+));/g, (all, name, dec, hex) => {
    if (dec) return String.fromCodePoint(Number(dec));
    if (hex) return String.fromCodePoint(parseInt(hex, 16));
    return { lt: '<', gt: '>', amp: '&', quot: '"', apos: "'" }[name];
  });
}

// A property written either as an attribute (name="v") or as an element
// (<name>v</name>); '' when absent.
function property(item, name) {
  const escaped = name.replace(/[.*+?^${}()|[\]\\]/g, '\\$&');
  const attribute = new RegExp(`[\\s<]${escaped}\\s*=\\s*("([^"]*)"|'([^']*)')`).exec(item);
  if (attribute) return unescapeXml(attribute[2] ?? attribute[3]);
  const element = new RegExp(`<${escaped}>([^<]*)</${escaped}>`).exec(item);
  return element ? unescapeXml(element[1]) : '';
}

function number(text) {
  const value = Number.parseFloat(text);
  return Number.isFinite(value) ? value : 0;
}

// The text between <tag...> and </tag> of the first such block, or null.
function block(text, tag) {
  const open = new RegExp(`<${tag}[\\s>/]`).exec(text);
  if (!open) return null;
  const close = text.indexOf(`</${tag}>`, open.index);
  return close < 0 ? null : text.slice(open.index, close);
}

function items(text) {
  const found = [];
  const pattern = /<rdf:li\b([\s\S]*?)<\/rdf:li>|<rdf:li\b([^>]*)\/>/g;
  let match;
  while ((match = pattern.exec(text)) !== null) found.push(match[0]);
  return found;
}

function microsoftRegions(text) {
  const info = block(text, 'MP:RegionInfo');
  if (info === null) return [];
  return items(info).map((item) => {
    const [x, y, w, h] = property(item, 'MPReg:Rectangle').split(',').map((part) => number(part.trim()));
    return { name: property(item, 'MPReg:PersonDisplayName').trim(), x: x || 0, y: y || 0, w: w || 0, h: h || 0 };
  });
}

function mwgRegions(text) {
  const regions = block(text, 'mwg-rs:Regions');
  if (regions === null) return [];
  const dimensions = /<mwg-rs:AppliedToDimensions\b[^>]*>/.exec(regions);
  const width = dimensions ? number(property(dimensions[0], 'stDim:w')) : 0;
  const height = dimensions ? number(property(dimensions[0], 'stDim:h')) : 0;
  const list = [];
  for (const item of items(regions)) {
    const type = property(item, 'mwg-rs:Type');
    if (type && type !== 'Face') continue;
    const unit = property(item, 'stArea:unit') || 'normalized';
    let sx = 1, sy = 1;
    if (unit === 'pixel' && width > 0 && height > 0) { sx = width; sy = height; } else if (unit !== 'normalized') continue;
    const w = number(property(item, 'stArea:w')) / sx;
    const h = number(property(item, 'stArea:h')) / sy;
    const x = number(property(item, 'stArea:x')) / sx - w / 2;
    const y = number(property(item, 'stArea:y')) / sy - h / 2;
    list.push({ name: property(item, 'mwg-rs:Name').trim(), x, y, w, h });
  }
  return list;
}

// Named regions with a usable rectangle from one XMP text, one per name
// (both vocabularies usually describe the same face): Microsoft's first.
function namedRegions(text) {
  const byName = new Map();
  for (const region of [...microsoftRegions(text), ...mwgRegions(text)]) {
    if (!region.name || !(region.w > 0 && region.h > 0)) continue;
    const key = region.name.toLowerCase();
    if (!byName.has(key)) byName.set(key, region);
  }
  return [...byName.values()];
}

function readHead(path) {
  let handle;
  try {
    handle = fs.openSync(path, 'r');
    const buffer = Buffer.alloc(headBytes);
    const length = fs.readSync(handle, buffer, 0, headBytes, 0);
    return buffer.subarray(0, length).toString('latin1');
  } catch {
    return '';
  } finally {
    if (handle !== undefined) fs.closeSync(handle);
  }
}

// The named regions of a photo: its own packet first, else its sidecar.
function regionsOfPhoto(path) {
  for (const source of [path, path + '.xmp']) {
    const head = readHead(source);
    const start = head.indexOf('<x:xmpmeta');
    if (start < 0) continue;
    const end = head.indexOf('</x:xmpmeta>', start);
    const packet = Buffer.from(head.slice(start, end < 0 ? undefined : end), 'latin1').toString('utf8');
    const regions = namedRegions(packet);
    if (regions.length) return regions;
  }
  return [];
}

module.exports = { namedRegions, regionsOfPhoto };
