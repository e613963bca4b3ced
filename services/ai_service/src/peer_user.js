'use strict';
// Who is on the other end of a loopback connection. The kernel's socket
// tables (/proc/net/tcp and tcp6) list the peer's own socket with its owner:
// the row whose local port is the peer's port and whose remote port is ours.
const fs = require('fs');

// The uid owning the socket bound to `peerPort` and connected to `ourPort`,
// from the text of one socket table; null when no row matches.
function findOwner(table, peerPort, ourPort) {
  const lines = String(table).split('\n');
  for (let i = 1; i < lines.length; ++i) {
    const columns = lines[i].trim().split(/\s+/);
    if (columns.length < 8) continue;
    const local = columns[1].split(':');
    const remote = columns[2].split(':');
    if (local.length !== 2 || remote.length !== 2) continue;
    if (parseInt(local[1], 16) !== peerPort || parseInt(remote[1], 16) !== ourPort) continue;
    const uid = Number(columns[7]);
    if (Number.isInteger(uid) && uid >= 0) return uid;
  }
  return null;
}

function readTable(path) {
  try {
    return fs.readFileSync(path, 'latin1');
  } catch {
    return '';
  }
}

// The uid of the peer of a connection accepted on `ourPort`, or null when
// the tables do not show it (then the caller refuses: unknown is not us).
function peerUid(peerPort, ourPort, tables = ['/proc/net/tcp', '/proc/net/tcp6']) {
  for (const path of tables) {
    const uid = findOwner(readTable(path), peerPort, ourPort);
    if (uid !== null) return uid;
  }
  return null;
}

module.exports = { findOwner, peerUid };
