'use strict';
// The listener: 127.0.0.1 only, one request handled at a time, an answer
// only for the account the service runs as, and an exit once nobody has
// asked for a while.
const net = require('net');
const { peerUid } = require('./peer_user');

const requestLimit = 1 << 20;
const readTimeoutMs = 10000;

class Service {
  // handle(line) -> reply text; log(text); ownUid: null skips the peer check.
  constructor({ port, idleMs, handle, log, ownUid, lookupPeer = peerUid }) {
    Object.assign(this, { port, idleMs, handle, log, ownUid, lookupPeer });
    this.queue = Promise.resolve();
    this.busy = 0;
  }

  start() {
    return new Promise((resolve, reject) => {
      this.server = net.createServer({ allowHalfOpen: true }, (socket) => this.accept(socket));
      this.server.once('error', reject);
      this.server.listen({ host: '127.0.0.1', port: this.port, exclusive: true }, () => {
        this.server.removeListener('error', reject);
        this.port = this.server.address().port;
        this.armIdle();
        resolve();
      });
    });
  }

  armIdle() {
    clearTimeout(this.idleTimer);
    this.idleTimer = setTimeout(() => {
      if (this.busy > 0) return this.armIdle();
      this.log('idle exit');
      this.server.close();
      this.onIdle?.();
    }, this.idleMs);
    this.idleTimer.unref?.();
  }

  accept(socket) {
    this.armIdle();
    const chunks = [];
    let size = 0;
    let done = false;
    const finish = () => {
      if (done) return;
      done = true;
      const text = Buffer.concat(chunks).toString('utf8');
      const line = text.includes('\n') ? text.slice(0, text.indexOf('\n') + 1) : text;
      // A probe connects and closes without a word.
      if (line.length === 0) return socket.destroy();
      socket.pause();
      this.busy += 1;
      this.queue = this.queue.then(() => this.answer(socket, line)).finally(() => {
        this.busy -= 1;
        this.armIdle();
      });
    };
    socket.setTimeout(readTimeoutMs, () => socket.destroy());
    socket.on('error', () => socket.destroy());
    socket.on('data', (chunk) => {
      if (done) return;
      chunks.push(chunk);
      size += chunk.length;
      if (chunk.includes(10) || size >= requestLimit) finish();
    });
    socket.on('end', finish);
  }

  // Whether the connection comes from our own account; refusals are logged.
  allowed(socket) {
    if (this.ownUid === null) return true;
    const uid = this.lookupPeer(socket.remotePort, this.port);
    if (uid === this.ownUid) return true;
    this.log(`refused a connection from port ${socket.remotePort}: ` +
             (uid === null ? 'its owner is unknown' : `it belongs to uid ${uid}, not ${this.ownUid}`));
    return false;
  }

  async answer(socket, line) {
    if (socket.destroyed) return;
    if (!this.allowed(socket)) return socket.destroy();
    let text;
    try {
      text = await this.handle(line);
    } catch (error) {
      this.log(`request failed: ${error.stack || error}`);
      text = JSON.stringify({ status: 'error', error: `internal_error: ${error.message}` }) + '\n';
    }
    socket.setTimeout(0);
    await new Promise((resolve) => {
      if (socket.destroyed) return resolve();
      socket.end(text, resolve);
      socket.once('close', resolve);
      socket.once('error', resolve);
    });
  }

  close() {
    clearTimeout(this.idleTimer);
    return new Promise((resolve) => this.server.close(() => resolve()));
  }
}

module.exports = { Service };
