'use strict';
// One request line in, one JSON reply line out. The lines are those the
// client sends: a bare path asks for auto tags; "FACE:" + path for faces;
// "FACEBACKUP:", "FACEREVOKE:" and "FACEREVOKECLEAR:" with Base64 fields keep,
// give back and drop the undo snapshot of one photo.
const fs = require('fs');
const path = require('path');
const { objectTags } = require('./labels');
const { sceneTags } = require('./scene_tags');
const { regionsOfPhoto } = require('./xmp_regions');
const { UnsupportedFile, supportedTypes } = require('./vision');

const objectThreshold = 0.4;
const regionOverlap = 0.35;   // a stored region names the face it overlaps this much
const maxSiblings = 200;      // photos of the folder looked at for named regions
const animals = new Set(['bird', 'cat', 'dog', 'horse', 'sheep', 'cow', 'elephant', 'bear', 'zebra', 'giraffe', 'teddy bear']);
const photoExtensions = new Set(['.jpg', '.jpeg', '.jpe', '.jfif', '.png', '.webp', '.tif', '.tiff', '.gif']);

function reply(object) {
  return JSON.stringify(object) + '\n';
}

const strictBase64 = /^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$/;

function decode(text) {
  if (!strictBase64.test(text)) return null;
  return Buffer.from(text, 'base64').toString('utf8');
}

function overlap(a, b) {
  if (!(a.w > 0 && a.h > 0 && b.w > 0 && b.h > 0)) return 0;
  const ix = Math.max(0, Math.min(a.x + a.w, b.x + b.w) - Math.max(a.x, b.x));
  const iy = Math.max(0, Math.min(a.y + a.h, b.y + b.h) - Math.max(a.y, b.y));
  const inter = ix * iy;
  const union = a.w * a.h + b.w * b.h - inter;
  return union > 0 ? inter / union : 0;
}

function stamp(file) {
  try {
    const stat = fs.statSync(file);
    const sidecar = fs.statSync(file + '.xmp', { throwIfNoEntry: false });
    return `${stat.size}:${stat.mtimeMs}` + (sidecar ? `:${sidecar.size}:${sidecar.mtimeMs}` : '');
  } catch {
    return null;
  }
}

function round(value) {
  return Math.round(Math.min(1, Math.max(0, value)) * 1e6) / 1e6;
}

class Requests {
  // vision: Vision (or a test double); store: FaceStore; switches(): {enabled, consent}
  constructor({ vision, store, switches, log = () => {} }) {
    this.vision = vision;
    this.store = store;
    this.switches = switches;
    this.log = log;
  }

  async handle(line) {
    const request = line.endsWith('\n') ? line.slice(0, -1) : line;
    if (request.startsWith('FACEREVOKECLEAR:')) return this.revokeClear(request.slice(16));
    if (request.startsWith('FACEREVOKE:')) return this.revoke(request.slice(11));
    if (request.startsWith('FACEBACKUP:')) return this.backup(request.slice(11));
    if (request.startsWith('FACE:')) return this.faces(request.slice(5));
    return this.autoTags(request);
  }

  async image(file) {
    if (!fs.statSync(file, { throwIfNoEntry: false })?.isFile()) return { error: 'file_not_found' };
    try {
      return { image: await this.vision.readImage(file) };
    } catch (error) {
      if (error instanceof UnsupportedFile) return { unsupported: true };
      return { error: `unreadable_image: ${error.message}` };
    }
  }

  async autoTags(file) {
    const { image, unsupported, error } = await this.image(file);
    if (unsupported) return reply({ status: 'error', error: 'unsupported_file_type', supported_types: supportedTypes });
    if (error) return reply({ status: 'error', error });
    const tags = [];
    for (const found of (await this.vision.objects(image)).sort((a, b) => b.score - a.score)) {
      const tag = objectTags[found.label];
      if (found.score >= objectThreshold && tag && !tags.includes(tag)) tags.push(tag);
    }
    for (const tag of sceneTags(image.rgb, image.width, image.height)) if (!tags.includes(tag)) tags.push(tag);
    return reply({ status: 'ok', tags });
  }

  // Faces of a picture, less those the detector saw on an animal.
  async detect(image) {
    const faces = await this.vision.faces(image);
    if (faces.length === 0) return faces;
    const objects = await this.vision.objects(image);
    const inside = (face, box) => {
      const cx = face.x + face.w / 2, cy = face.y + face.h / 2;
      return cx >= box.x && cx <= box.x + box.w && cy >= box.y && cy <= box.y + box.h;
    };
    const people = objects.filter((o) => o.label === 'person');
    const beasts = objects.filter((o) => animals.has(o.label));
    return faces.filter((face) => !beasts.some((b) => inside(face, b)) || people.some((p) => inside(face, p)));
  }

  // Teaches the store the named regions of a photo whose faces it has seen.
  learnFrom(file, faces) {
    let learnt = 0;
    for (const region of regionsOfPhoto(file)) {
      let best = null, bestOverlap = regionOverlap;
      for (const face of faces) {
        const measure = overlap(region, face);
        if (measure >= bestOverlap && face.vector.length) { best = face; bestOverlap = measure; }
      }
      if (best && this.store.learn(region.name, best.vector)) learnt += 1;
    }
    return learnt;
  }

  // Learns from the named regions of the other photos of the folder, each
  // photo once until it changes: naming someone in any photo teaches the
  // service before it is asked about that photo itself.
  async learnFromFolder(file) {
    let names;
    try {
      names = fs.readdirSync(path.dirname(file));
    } catch {
      return;
    }
    let looked = 0;
    for (const name of names.sort()) {
      if (looked >= maxSiblings) break;
      const sibling = path.join(path.dirname(file), name);
      if (sibling === file || !photoExtensions.has(path.extname(name).toLowerCase())) continue;
      looked += 1;
      const current = stamp(sibling);
      if (current === null || this.store.learntFrom(sibling, current)) continue;
      this.store.markLearnt(sibling, current);
      if (regionsOfPhoto(sibling).length === 0) continue;
      const { image } = await this.image(sibling);
      if (image) this.learnFrom(sibling, await this.detect(image));
    }
  }

  async faces(file) {
    const { enabled, consent } = this.switches();
    if (!enabled) return reply({ status: 'refused', reason: 'recognition_disabled' });
    if (!consent) return reply({ status: 'refused', reason: 'consent_not_accepted' });
    const { image, unsupported, error } = await this.image(file);
    if (unsupported) return reply({ status: 'skipped', reason: 'unsupported_file_type' });
    if (error) return reply({ status: 'error', error });
    const faces = await this.detect(image);
    this.learnFrom(file, faces);
    const own = stamp(file);
    if (own !== null) this.store.markLearnt(file, own);
    await this.learnFromFolder(file);
    const regions = faces.map((face) => {
      const known = face.vector.length ? this.store.match(face.vector) : null;
      return { x: round(face.x), y: round(face.y), w: round(face.w), h: round(face.h), name: known ? known.name : '' };
    });
    this.store.save();
    return reply({ status: 'ok', faces: faces.length, regions });
  }

  backup(rest) {
    const dot = rest.indexOf('.');
    const file = decode(dot < 0 ? rest : rest.slice(0, dot));
    const regions = dot < 0 ? null : decode(rest.slice(dot + 1));
    if (file === null || regions === null) return reply({ status: 'error', error: 'bad_request' });
    this.store.putSnapshot(file, regions);
    return reply({ status: 'ok', stored: true });
  }

  revoke(rest) {
    const file = decode(rest);
    if (file === null) return reply({ status: 'error', error: 'bad_request' });
    const snapshots = this.store.snapshots();
    if (!(file in snapshots) || typeof snapshots[file] !== 'string') return reply({ status: 'ok', found: false });
    return reply({ status: 'ok', found: true, regions_json: snapshots[file] });
  }

  revokeClear(rest) {
    const file = decode(rest);
    if (file === null) return reply({ status: 'error', error: 'bad_request' });
    this.store.clearSnapshot(file);
    return reply({ status: 'ok' });
  }
}

module.exports = { Requests, overlap, decode };
