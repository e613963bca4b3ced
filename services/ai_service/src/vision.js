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
const workingSide = 800;  // longest side the detectors see

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
  async faces(image) {
    const result = await this.run(image, { face: { enabled: true }, object: { enabled: false } });
    return result.face
      .filter((face) => face.boxRaw)
      .map((face) => {
        const [x, y, w, h] = face.boxRaw;
        return { x, y, w, h, score: face.score, vector: face.embedding ? Array.from(face.embedding) : [] };
      });
  }
}

module.exports = { Vision, UnsupportedFile, supportedTypes };
