'use strict';
// Syntax check of every script of the service (node --check on each file).
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const root = path.join(__dirname, '..');
let failed = 0;
for (const folder of ['src', 'test', 'scripts']) {
  for (const name of fs.readdirSync(path.join(root, folder)).filter((n) => n.endsWith('.js'))) {
    try {
      execFileSync(process.execPath, ['--check', path.join(root, folder, name)], { stdio: 'inherit' });
    } catch {
      failed += 1;
    }
  }
}
process.exit(failed ? 1 : 0);
