'use strict';
// Where the suite keeps the user's data, and the people-recognition switches
// of the Insightor settings (read afresh for every face request, so a switch
// turned off in the settings takes effect at once).
const fs = require('fs');
const path = require('path');

function dataRoot(env = process.env) {
  if (env.XDG_DATA_HOME && env.XDG_DATA_HOME.startsWith('/')) return env.XDG_DATA_HOME;
  return path.join(env.HOME || '/tmp', '.local', 'share');
}

function suiteFolder(env = process.env) {
  return path.join(dataRoot(env), 'Verandel', 'Quillmark');
}

function settingsPath(env = process.env) {
  return path.join(suiteFolder(env), 'Settings', 'High Level Settings.json');
}

// {enabled, consent}: false for anything missing, unreadable or not a JSON true.
function recognitionSwitches(file = settingsPath()) {
  const off = { enabled: false, consent: false };
  let root;
  try {
    root = JSON.parse(fs.readFileSync(file, 'utf8'));
  } catch {
    return off;
  }
  const apps = root && Array.isArray(root.apps) ? root.apps : [];
  const insightor = apps.find((app) => app && app.app_id === 'insightor');
  const settings = insightor && insightor.settings && typeof insightor.settings === 'object' ? insightor.settings : {};
  return {
    enabled: settings['people_recognition.enabled'] === true,
    consent: settings['people_recognition.consent_accepted'] === true,
  };
}

module.exports = { suiteFolder, settingsPath, recognitionSwitches };
