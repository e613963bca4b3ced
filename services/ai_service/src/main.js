'use strict';
// The suite's local AI service: auto tags and faces for the photos qlm asks
// about, on 127.0.0.1:44002.
//
// Environment: QLM_AI_SERVICE_IDLE_MS (exit after this long without a
// request; 600000), QLM_AI_SERVICE_PORT (44002), QLM_AI_SERVICE_LOG (the
// log; default in the suite's Logs folder), QLM_AI_SERVICE_DATA (the face
// store's folder; default the suite's Faces folder), QLM_AI_FACE_THRESHOLD
// (the similarity that names a face; 0.6).
// "--list-tags" prints every tag the service can give, one a line.
const fs = require('fs');
const path = require('path');
const { allTags } = require('./labels');
const settings = require('./settings');

function number(text, fallback) {
  const value = Number(text);
  return text !== undefined && text !== '' && Number.isFinite(value) && value >= 0 ? value : fallback;
}

function makeLog(file) {
  return (text) => {
    try {
      fs.mkdirSync(path.dirname(file), { recursive: true });
      fs.appendFileSync(file, `${new Date().toISOString()} [${process.pid}] ${text}\n`);
    } catch {
      // Nowhere to log is no reason to stop serving.
    }
  };
}

async function main() {
  if (process.argv.includes('--list-tags')) {
    process.stdout.write(allTags().join('\n') + '\n');
    return;
  }
  process.title = 'Quillmark.AutoTagging.Service';
  const env = process.env;
  const log = makeLog(env.QLM_AI_SERVICE_LOG || path.join(settings.suiteFolder(), 'Logs', 'Quillmark.AutoTagging.Service.log'));
  const port = number(env.QLM_AI_SERVICE_PORT, 44002);
  log(`start on port ${port}`);

  // The port is taken before anything heavy loads: the client gives a
  // service it started only a few seconds to answer, and the models and
  // their runtime take longer than that on a busy machine.
  const { Service } = require('./service');
  let engine = null;
  const loadEngine = () => {
    if (engine) return engine;
    const { Vision } = require('./vision');
    const { FaceStore } = require('./face_store');
    const { Requests } = require('./requests');
    const vision = new Vision();
    const loading = vision.load().then((ms) => log(`models loaded in ${ms} ms`));
    loading.catch((error) => log(`models failed to load: ${error.stack || error}`));
    const store = new FaceStore(env.QLM_AI_SERVICE_DATA || path.join(settings.suiteFolder(), 'Faces'),
                                number(env.QLM_AI_FACE_THRESHOLD, 0.6));
    engine = { loading, requests: new Requests({ vision, store, switches: () => settings.recognitionSwitches(), log }) };
    return engine;
  };
  const needsModels = (line) => !/^FACE(BACKUP|REVOKE|REVOKECLEAR):/.test(line);
  const service = new Service({
    port,
    idleMs: number(env.QLM_AI_SERVICE_IDLE_MS, 600000),
    log,
    ownUid: process.platform === 'linux' ? process.getuid() : null,
    handle: async (line) => {
      const { loading, requests } = loadEngine();
      if (needsModels(line)) await loading;
      return requests.handle(line);
    },
  });
  service.onIdle = () => process.exit(0);
  try {
    await service.start();
  } catch (error) {
    log(`cannot listen on port ${port}: ${error.code || error.message}`);
    process.exit(1);
  }
  log('listening');
  setImmediate(loadEngine);
}

main().catch((error) => {
  process.stderr.write(`${error.stack || error}\n`);
  process.exit(1);
});
