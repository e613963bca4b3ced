'use strict';
// The models and the pictures: photos are decoded and shrunk by sharp
// (libvips decodes a JPEG at a fraction of its size, so a 12 MP photo costs
// little), then Human runs its detectors on the WebAssembly backend of
// TensorFlow.js. Every model is a file inside the installed packages; a
// fetch of anything but a local file fails, so nothing can leave the machine.
const fs = require('fs');
const path = require('path');
const { fileURLToPath } = require('url');
const sharp = require('sharp');

const packages = path.join(__dirname, '..', 'node_modules');
const supportedFormats = new Set(['jpeg', 'png', 'webp', 'tiff', 'gif']);
const supportedTypes = 'JPEG, PNG, WebP, TIFF and GIF images';
const workingSide = 1024;  // longest side the detectors see
const tiledFrom = 600;     // faces are also looked for on quarters of pictures this big
const tileShare = 0.6;     // a quarter's share of each side (they overlap)
const closeUp = 0.25;      // a face this wide (share of the picture) makes the picture a close-up

class UnsupportedFile extends Error {}

globalThis.fetch = async (url) => {
  const text = String(url && url.url ? url.url : url);
  if (!text.startsWith('file://')) throw new Error(`refused to fetch ${text}: the service works offline`);
  return new Response(fs.readFileSync(fileURLToPath(text)));
};

function humanConfig() {
  return {
    backend: 'wasm',
    wasmPath: `file://${path.join(packages, '@tensorflow', 'tfjs-backend-wasm', 'dist')}/`,
    modelBasePath: `file://${path.join(packages, '@vladmandic', 'human', 'models')}/`,
    debug: false,
    async: true,
    warmup: 'none',
    cacheSensitivity: 0,
    filter: { enabled: false },
    face: {
      enabled: true,
      detector: { rotation: false, maxDetected: 50, minConfidence: 0.5, iouThreshold: 0.3, return: false },
      mesh: { enabled: false }, iris: { enabled: false }, emotion: { enabled: false },
      description: { enabled: true }, antispoof: { enabled: false }, liveness: { enabled: false },
      attention: { enabled: false },
    },
    body: { enabled: false }, hand: { enabled: false }, gesture: { enabled: false }, segmentation: { enabled: false },
    object: { enabled: true, minConfidence: 0.3, maxDetected: 20 },
  };
}

class Vision {
  async load() {
    const started = Date.now();
    const { Human } = require(path.join(packages, '@vladmandic', 'human', 'dist', 'human.node-wasm.js'));
    this.human = new Human(humanConfig());
    await this.human.load();
    await this.human.tf.ready();
    // One pass on a blank picture compiles the kernels before a user waits.
    const blank = { rgb: new Uint8Array(64 * 64 * 3), rasterWidth: 64, rasterHeight: 64 };
    await this.objects(blank);
    await this.faces(blank);
    this.loadMs = Date.now() - started;
    return this.loadMs;
  }

  // {rgb, rasterWidth, rasterHeight, width, height}: the upright photo shrunk
  // to the working size, with its own upright size. Throws UnsupportedFile
  // for content sharp cannot read as one of the supported formats.
  static async readImage(file) {
    let meta;
    try {
      meta = await sharp(file, { failOn: 'none' }).metadata();
    } catch (error) {
      if (error.code === 'ENOENT' || /missing|no such file/i.test(error.message)) throw error;
      throw new UnsupportedFile(error.message);
    }
    if (!supportedFormats.has(meta.format)) throw new UnsupportedFile(`format ${meta.format}`);
    const turned = (meta.orientation || 1) >= 5;
    const { data, info } = await sharp(file, { failOn: 'none' })
      .rotate()
      .resize(workingSide, workingSide, { fit: 'inside', withoutEnlargement: true })
      .toColourspace('srgb')
      .removeAlpha()
      .raw()
      .toBuffer({ resolveWithObject: true });
    return {
      rgb: new Uint8Array(data.buffer, data.byteOffset, data.length),
      rasterWidth: info.width,
      rasterHeight: info.height,
      width: turned ? meta.height : meta.width,
      height: turned ? meta.width : meta.height,
    };
  }

  async run(image, parts) {
    const tensor = this.human.tf.tensor(image.rgb, [1, image.rasterHeight, image.rasterWidth, 3], 'int32');
    try {
      return await this.human.detect(tensor, parts);
    } finally {
      tensor.dispose();
    }
  }

  readImage(file) {
    return Vision.readImage(file);
  }

  // [{label, score, x, y, w, h}] of the objects found, boxes normalised.
  async objects(image) {
    const result = await this.run(image, { face: { enabled: false }, object: { enabled: true } });
    return result.object.map((found) => {
      const [x, y, w, h] = found.boxRaw;
      return { label: found.label, score: found.score, x, y, w, h };
    });
  }

  // [{x, y, w, h, score, vector}] with the rectangle normalised to the photo.
  // The face detector looks at a small square of the picture, so small faces
  // of a group are also looked for on four overlapping quarters, without
  // describing them; a face found only there counts when it is found again,
  // and described, on a crop around it. A face found twice is kept once.
  async faces(image) {
    const width = image.rasterWidth, height = image.rasterHeight;
    const tensor = this.human.tf.tensor(image.rgb, [1, height, width, 3], 'int32');
    const within = (left, top, w, h, describe) => this.facesIn(tensor, { left, top, w, h, width, height }, describe);
    try {
      const found = await within(0, 0, width, height, true);
      // A close-up is no crowd: quarters would only cost time.
      if (Math.max(width, height) < tiledFrom || found.some((face) => face.w >= closeUp)) return found;
      const tileWidth = Math.round(width * tileShare), tileHeight = Math.round(height * tileShare);
      for (const left of [0, width - tileWidth]) {
        for (const top of [0, height - tileHeight]) {
          for (const face of await within(left, top, tileWidth, tileHeight, false)) {
            if (found.some((known) => sameFace(known, face))) continue;
            // The crop: the face with as much around it again on every side.
            const cropLeft = Math.max(0, Math.floor((face.x - face.w) * width));
            const cropTop = Math.max(0, Math.floor((face.y - face.h) * height));
            const cropWidth = Math.min(width - cropLeft, Math.ceil(face.w * 3 * width));
            const cropHeight = Math.min(height - cropTop, Math.ceil(face.h * 3 * height));
            const described = (await within(cropLeft, cropTop, cropWidth, cropHeight, true))
              .filter((again) => sameFace(again, face));
            // Not seen again up close: a shape in the crowd, not a face.
            if (described.length) found.push(described[0]);
          }
        }
      }
      return found;
    } finally {
      tensor.dispose();
    }
  }

  // The faces within one rectangle of the picture (in pixels), normalised to
  // the whole picture.
  async facesIn(tensor, area, describe) {
    const whole = area.left === 0 && area.top === 0 && area.w === area.width && area.h === area.height;
    const input = whole ? tensor : this.human.tf.slice(tensor, [0, area.top, area.left, 0], [1, area.h, area.w, 3]);
    try {
      const result = await this.human.detect(input, {
        face: { enabled: true, description: { enabled: describe } },
        object: { enabled: false },
      });
      return result.face.filter((face) => face.boxRaw).map((face) => {
        const [x, y, w, h] = face.boxRaw;
        return {
          x: (area.left + x * area.w) / area.width,
          y: (area.top + y * area.h) / area.height,
          w: (w * area.w) / area.width,
          h: (h * area.h) / area.height,
          score: face.score,
          vector: describe && face.embedding ? Array.from(face.embedding) : [],
        };
      });
    } finally {
      if (!whole) input.dispose();
    }
  }
}

// Two finds of one face: their centres lie within each other's rectangle.
function sameFace(a, b) {
  const inside = (p, q) => Math.abs(p.x + p.w / 2 - (q.x + q.w / 2)) < q.w / 2 && Math.abs(p.y + p.h / 2 - (q.y + q.h / 2)) < q.h / 2;
  return inside(a, b) || inside(b, a);
}

module.exports = { Vision, UnsupportedFile, supportedTypes };
