'use strict';
// The people the service knows: description vectors per name, learnt from
// named regions, kept as readable JSON in the user's data folder and never
// sent anywhere. No image or crop is stored. Undo snapshots of the face
// requests live in a second file beside it, so they outlive an idle exit.
const fs = require('fs');
const path = require('path');

const maxVectorsPerName = 32;
const sameVector = 0.995;  // cosine above which a new vector adds nothing

function cosine(a, b) {
  let dot = 0, na = 0, nb = 0;
  for (let i = 0; i < a.length && i < b.length; ++i) {
    dot += a[i] * b[i];
    na += a[i] * a[i];
    nb += b[i] * b[i];
  }
  return na > 0 && nb > 0 ? dot / Math.sqrt(na * nb) : 0;
}

function readJson(file, fallback) {
  try {
    const value = JSON.parse(fs.readFileSync(file, 'utf8'));
    return value && typeof value === 'object' && !Array.isArray(value) ? value : fallback;
  } catch {
    return fallback;
  }
}

// Indented JSON with each number array on one line, so a person's vectors
// read as one line each.
function format(value) {
  return JSON.stringify(value, (key, item) =>
    Array.isArray(item) && item.every((v) => typeof v === 'number') ? `\u0000${JSON.stringify(item)}` : item, 1)
    .replace(/"\\u0000(\[[^"]*\])"/g, '$1');
}

// Replaces the file whole: a reader sees the old or the new store, never half.
function writeJson(file, value) {
  fs.mkdirSync(path.dirname(file), { recursive: true, mode: 0o700 });
  const temporary = `${file}.${process.pid}.tmp`;
  fs.writeFileSync(temporary, format(value) + '\n', { mode: 0o600 });
  fs.renameSync(temporary, file);
}

class FaceStore {
  constructor(folder, threshold) {
    this.file = path.join(folder, 'face_store.json');
    this.snapshotFile = path.join(folder, 'undo_snapshots.json');
    this.threshold = threshold;
    const stored = readJson(this.file, {});
    this.people = stored.people && typeof stored.people === 'object' ? stored.people : {};
    // Photos already learnt from, by path, with the size and time they had.
    this.sources = stored.sources && typeof stored.sources === 'object' ? stored.sources : {};
    for (const name of Object.keys(this.people)) {
      if (!Array.isArray(this.people[name])) delete this.people[name];
      else this.people[name] = this.people[name].filter((v) => Array.isArray(v) && v.every(Number.isFinite));
    }
  }

  save() {
    writeJson(this.file, { version: 1, people: this.people, sources: this.sources });
  }

  // Adds one vector for a name; false when an almost equal one is there.
  learn(name, vector) {
    const list = this.people[name] || (this.people[name] = []);
    if (list.some((known) => cosine(known, vector) >= sameVector)) return false;
    list.push(Array.from(vector, (v) => Math.round(v * 1e5) / 1e5));
    if (list.length > maxVectorsPerName) list.shift();
    return true;
  }

  // {name, score} of the best known person at or above the threshold, or null.
  match(vector) {
    let best = null;
    for (const [name, list] of Object.entries(this.people)) {
      for (const known of list) {
        const score = cosine(known, vector);
        if (score >= this.threshold && (best === null || score > best.score)) best = { name, score };
      }
    }
    return best;
  }

  learntFrom(file, stamp) {
    return this.sources[file] === stamp;
  }

  markLearnt(file, stamp) {
    this.sources[file] = stamp;
  }

  snapshots() {
    return readJson(this.snapshotFile, {});
  }

  putSnapshot(file, regionsJson) {
    const all = this.snapshots();
    all[file] = regionsJson;
    writeJson(this.snapshotFile, all);
  }

  clearSnapshot(file) {
    const all = this.snapshots();
    if (!(file in all)) return;
    delete all[file];
    writeJson(this.snapshotFile, all);
  }
}

module.exports = { FaceStore, cosine };
