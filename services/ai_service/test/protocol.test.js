'use strict';
// Requests and replies byte for byte, with a stand-in for the models so the
// protocol, the face store and the listener are tested on their own.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { Requests } = require('../src/requests');
const { FaceStore } = require('../src/face_store');
const { Service } = require('../src/service');
const { UnsupportedFile } = require('../src/vision');

const b64 = (text) => Buffer.from(text, 'utf8').toString('base64');

// Faces by file name; every readable file is a 100x50 picture.
class FakeVision {
  constructor(faces, objects) { this.facesByName = faces; this.found = objects; }
  async readImage(file) {
    if (file.endsWith('.txt')) throw new UnsupportedFile('text');
    return { name: path.basename(file), rgb: new Uint8Array(100 * 50 * 3).fill(200), width: 100, height: 50 };
  }
  async objects() { return this.found; }
  async faces(image) { return this.facesByName[image.name] || []; }
}

const dogs = [{ label: 'dog', score: 0.9, x: 0, y: 0, w: 1, h: 1 }, { label: 'dog', score: 0.8, x: 0, y: 0, w: 1, h: 1 },
  { label: 'cup', score: 0.3, x: 0, y: 0, w: 1, h: 1 }];

function setup(switches = { enabled: true, consent: true }, faces = {}, objects = dogs) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'ai-protocol-'));
  const store = new FaceStore(path.join(folder, 'store'), 0.6);
  const requests = new Requests({ vision: new FakeVision(faces, objects), store, switches: () => switches });
  return { folder, store, requests };
}

test('auto tags, unsupported and missing files', async () => {
  const { folder, requests } = setup();
  fs.writeFileSync(path.join(folder, 'a.jpg'), 'x');
  fs.writeFileSync(path.join(folder, 'a.txt'), 'x');
  assert.strictEqual(await requests.handle(path.join(folder, 'a.jpg') + '\n'), '{"status":"ok","tags":["Dog","Landscape","Black and white"]}\n');
  assert.strictEqual(await requests.handle(path.join(folder, 'a.txt') + '\n'),
    '{"status":"error","error":"unsupported_file_type","supported_types":"JPEG, PNG, WebP, TIFF and GIF images"}\n');
  assert.strictEqual(await requests.handle(path.join(folder, 'none.jpg') + '\n'), '{"status":"error","error":"file_not_found"}\n');
  assert.strictEqual(await requests.handle(folder + '\n'), '{"status":"error","error":"file_not_found"}\n');
  assert.strictEqual(await requests.handle('FACE:' + path.join(folder, 'a.txt')), '{"status":"skipped","reason":"unsupported_file_type"}\n');
});

test('face requests are refused with the reason the client shows', async () => {
  assert.strictEqual(await setup({ enabled: false, consent: true }).requests.handle('FACE:/x.jpg\n'),
    '{"status":"refused","reason":"recognition_disabled"}\n');
  assert.strictEqual(await setup({ enabled: true, consent: false }).requests.handle('FACE:/x.jpg\n'),
    '{"status":"refused","reason":"consent_not_accepted"}\n');
});

test('undo snapshots are kept, given back once cleared only by path, and survive a restart', async () => {
  const { folder, requests } = setup();
  const file = '/photos/ünï.jpg';
  const regions = '[{"name":"Ann","x":0.1,"y":0.2,"w":0.3,"h":0.4}]';
  assert.strictEqual(await requests.handle(`FACEREVOKE:${b64(file)}\n`), '{"status":"ok","found":false}\n');
  assert.strictEqual(await requests.handle(`FACEBACKUP:${b64(file)}.${b64(regions)}\n`), '{"status":"ok","stored":true}\n');
  const again = new Requests({ vision: null, store: new FaceStore(path.join(folder, 'store'), 0.6), switches: () => ({}) });
  assert.strictEqual(await again.handle(`FACEREVOKE:${b64(file)}\n`),
    `{"status":"ok","found":true,"regions_json":${JSON.stringify(regions)}}\n`);
  assert.strictEqual(await again.handle(`FACEREVOKECLEAR:${b64('/other.jpg')}\n`), '{"status":"ok"}\n');
  assert.strictEqual(await again.handle(`FACEREVOKECLEAR:${b64(file)}\n`), '{"status":"ok"}\n');
  assert.strictEqual(await again.handle(`FACEREVOKE:${b64(file)}\n`), '{"status":"ok","found":false}\n');
  for (const bad of ['FACEBACKUP:abc', 'FACEBACKUP:' + b64(file), 'FACEREVOKE:***', 'FACEREVOKECLEAR:a=b=']) {
    assert.strictEqual(await again.handle(bad + '\n'), '{"status":"error","error":"bad_request"}\n');
  }
});

test('a person named in one photo of a folder is named in its twin; nobody else gets the name', async () => {
  const named = [0.9, 0.1, 0.3, 0.2];
  const faces = {
    'a.jpg': [{ x: 0.3, y: 0.1, w: 0.28, h: 0.28, score: 0.9, vector: named }],
    'b.jpg': [{ x: 0.5, y: 0.2, w: 0.2, h: 0.2, score: 0.9, vector: [0.88, 0.12, 0.31, 0.2] },
              { x: 0.1, y: 0.1, w: 0.1, h: 0.1, score: 0.9, vector: [0.1, 0.9, -0.2, 0.4] }],
  };
  const { folder, store, requests } = setup(undefined, faces, []);
  const a = path.join(folder, 'a.jpg');
  const b = path.join(folder, 'b.jpg');
  fs.copyFileSync(path.join(__dirname, '..', '..', '..', 'samples', 'harbour.jpg'), a);
  fs.copyFileSync(a, b);
  // Another program names the face: exiftool writes the MWG region, centre-based.
  execFileSync('exiftool', ['-q', '-overwrite_original',
    '-RegionInfo={RegionList=[{Area={X=0.44,Y=0.24,W=0.28,H=0.28,Unit=normalized},Name=Eileen Collins,Type=Face}]}', a]);
  assert.strictEqual(await requests.handle(`FACE:${b}\n`),
    '{"status":"ok","faces":2,"regions":[{"x":0.5,"y":0.2,"w":0.2,"h":0.2,"name":"Eileen Collins"},' +
    '{"x":0.1,"y":0.1,"w":0.1,"h":0.1,"name":""}]}\n');
  const saved = JSON.parse(fs.readFileSync(store.file, 'utf8'));
  assert.deepStrictEqual(Object.keys(saved.people), ['Eileen Collins']);
  assert.deepStrictEqual(saved.people['Eileen Collins'], [named]);
  assert.ok(!fs.readFileSync(store.file, 'utf8').includes('base64'));
});

function ask(port, text, { end = false } = {}) {
  return new Promise((resolve) => {
    const socket = net.connect(port, '127.0.0.1', () => (end ? socket.end(text) : socket.write(text)));
    const chunks = [];
    socket.on('data', (c) => chunks.push(c));
    socket.on('close', () => resolve(Buffer.concat(chunks).toString('utf8')));
    socket.on('error', () => {});
  });
}

test('the listener: one request at a time, strangers refused unanswered, idle exit', async () => {
  const logged = [];
  let running = 0, most = 0, owner = 1000;
  const service = new Service({
    port: 0, idleMs: 400, ownUid: 1000, log: (t) => logged.push(t), lookupPeer: () => owner,
    handle: async (line) => {
      most = Math.max(most, ++running);
      await new Promise((r) => setTimeout(r, 30));
      running -= 1;
      return `{"echo":${JSON.stringify(line)}}\n`;
    },
  });
  const idle = new Promise((resolve) => { service.onIdle = resolve; });
  await service.start();
  const replies = await Promise.all([ask(service.port, 'one\n'), ask(service.port, 'two'.repeat(3000) + '\nrest'),
    ask(service.port, 'three', { end: true })]);
  assert.deepStrictEqual(replies, ['{"echo":"one\\n"}\n', `{"echo":"${'two'.repeat(3000)}\\n"}\n`, '{"echo":"three"}\n']);
  assert.strictEqual(most, 1);
  assert.strictEqual(await ask(service.port, '', { end: true }), '');
  owner = 1001;
  assert.strictEqual(await ask(service.port, '/home/owner/private.jpg\n'), '');
  owner = null;
  assert.strictEqual(await ask(service.port, '/home/owner/private.jpg\n'), '');
  assert.deepStrictEqual(logged.filter((t) => t.startsWith('refused')).map((t) => t.replace(/port \d+/, 'port P')), [
    'refused a connection from port P: it belongs to uid 1001, not 1000',
    'refused a connection from port P: its owner is unknown',
  ]);
  await idle;
  assert.ok(logged.includes('idle exit'));
});

test('another account gets no answer (the kernel tables name it)', { skip: process.getuid?.() !== 0 && 'needs root' }, async () => {
  const logged = [];
  const service = new Service({ port: 0, idleMs: 60000, ownUid: 0, log: (t) => logged.push(t), handle: async () => '{"status":"ok"}\n' });
  await service.start();
  const client = `import socket; s = socket.create_connection(("127.0.0.1", ${service.port})); s.sendall(b"/root/x.jpg\\n")
d = b""
while True:
    c = s.recv(4096)
    if not c: break
    d += c
print(repr(d))`;
  const run = (prefix) => new Promise((resolve) => {
    const { execFile } = require('child_process');
    execFile(prefix[0], [...prefix.slice(1), '/usr/bin/python3', '-c', client], (error, stdout) => resolve(stdout.trim()));
  });
  assert.strictEqual(await run(['setpriv', '--reuid=65534', '--regid=65534', '--clear-groups']), "b''");
  assert.strictEqual(await run(['env']), `b'{"status":"ok"}\\n'`);
  await service.close();
  assert.strictEqual(logged.length, 1);
  assert.match(logged[0], /^refused a connection from port \d+: it belongs to uid 65534, not 0$/);
});
