'use strict';
// The readers of outside text: socket tables, XMP regions, the settings.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('fs');
const os = require('os');
const path = require('path');
const { findOwner } = require('../src/peer_user');
const { namedRegions } = require('../src/xmp_regions');
const { recognitionSwitches } = require('../src/settings');

test('the owner of a peer socket comes from its own row of the table', () => {
  // Row 1 is our side (local 44002 = ABE2), row 2 the peer's socket at 9C40.
  const table = [
    '  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode',
    '   0: 0100007F:ABE2 0100007F:9C40 01 00000000:00000000 00:00000000 00000000     0        0 1 1',
    '   1: 0100007F:9C40 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001        0 2 1',
    '   2: garbage',
  ].join('\n');
  assert.strictEqual(findOwner(table, 0x9c40, 44002), 1001);
  assert.strictEqual(findOwner(table, 0x9c41, 44002), null);
  const six = '  sl  local_address rem_address st tx rx tr tm retr uid\n' +
    '   0: 0000000000000000FFFF00000100007F:9C40 0000000000000000FFFF00000100007F:ABE2 01 0:0 0:0 0 33 0 5';
  assert.strictEqual(findOwner(six, 0x9c40, 44002), 33);
  for (const junk of ['', '\n\n', 'x'.repeat(1000), '\u0000:1 2:3 a b c d e f']) assert.strictEqual(findOwner(junk, 1, 2), null);
});

test('named regions of both vocabularies, top-left and normalised', () => {
  const packet = `<x:xmpmeta><rdf:RDF><rdf:Description
    xmlns:MP="http://ns.microsoft.com/photo/1.2/">
   <MP:RegionInfo rdf:parseType="Resource"><MPRI:Regions><rdf:Bag>
     <rdf:li MPReg:Rectangle="0.1, 0.2, 0.3, 0.4" MPReg:PersonDisplayName="Ann &amp; Bo"/>
     <rdf:li><rdf:Description><MPReg:Rectangle>0.5, 0.5, 0.1, 0.1</MPReg:Rectangle></rdf:Description></rdf:li>
   </rdf:Bag></MPRI:Regions></MP:RegionInfo>
   <mwg-rs:Regions rdf:parseType="Resource">
    <mwg-rs:AppliedToDimensions stDim:w="1000" stDim:h="500" stDim:unit="pixel"/>
    <mwg-rs:RegionList><rdf:Bag>
     <rdf:li><rdf:Description mwg-rs:Name="Ann &amp; Bo" mwg-rs:Type="Face">
      <mwg-rs:Area stArea:x="0.25" stArea:y="0.4" stArea:w="0.3" stArea:h="0.4" stArea:unit="normalized"/></rdf:Description></rdf:li>
     <rdf:li><rdf:Description mwg-rs:Name="Carl" mwg-rs:Type="Face">
      <mwg-rs:Area stArea:x="500" stArea:y="250" stArea:w="100" stArea:h="50" stArea:unit="pixel"/></rdf:Description></rdf:li>
     <rdf:li><rdf:Description mwg-rs:Name="Rex" mwg-rs:Type="Pet">
      <mwg-rs:Area stArea:x="0.5" stArea:y="0.5" stArea:w="0.1" stArea:h="0.1"/></rdf:Description></rdf:li>
    </rdf:Bag></mwg-rs:RegionList></mwg-rs:Regions></rdf:Description></rdf:RDF></x:xmpmeta>`;
  const regions = namedRegions(packet).map((r) => ({ ...r, x: +r.x.toFixed(6), y: +r.y.toFixed(6) }));
  assert.deepStrictEqual(regions, [
    { name: 'Ann & Bo', x: 0.1, y: 0.2, w: 0.3, h: 0.4 },
    { name: 'Carl', x: 0.45, y: 0.45, w: 0.1, h: 0.1 },
  ]);
  for (const junk of ['', '<MP:RegionInfo>', '<mwg-rs:Regions><rdf:li>', packet.slice(0, 400), '\u0000'.repeat(50)]) {
    assert.ok(Array.isArray(namedRegions(junk)));
  }
});

test('recognition is on only when the settings say true for both switches', () => {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'ai-settings-'));
  const file = path.join(folder, 'settings.json');
  const write = (settings) => fs.writeFileSync(file, JSON.stringify({ apps: [{ app_id: 'insightor', settings }] }));
  write({ 'people_recognition.enabled': true, 'people_recognition.consent_accepted': true });
  assert.deepStrictEqual(recognitionSwitches(file), { enabled: true, consent: true });
  write({ 'people_recognition.enabled': 'true', 'people_recognition.consent_accepted': true });
  assert.deepStrictEqual(recognitionSwitches(file), { enabled: false, consent: true });
  for (const text of ['{', '[]', 'null', '{"apps":{}}', '{"apps":[null,{"app_id":"insightor","settings":7}]}']) {
    fs.writeFileSync(file, text);
    assert.deepStrictEqual(recognitionSwitches(file), { enabled: false, consent: false });
  }
  assert.deepStrictEqual(recognitionSwitches(path.join(folder, 'none.json')), { enabled: false, consent: false });
  fs.rmSync(folder, { recursive: true });
});

test('every tag the service gives is an auto tag of the default settings, so re-tagging replaces it', () => {
  const { allTags } = require('../src/labels');
  const file = path.join(__dirname, '..', '..', '..', 'content', 'Configurations', 'High Level Settings.json');
  const insightor = JSON.parse(fs.readFileSync(file, 'utf8')).apps.find((app) => app.app_id === 'insightor').settings;
  const autoTags = ['general.tags.text_domain', 'general.tags.text_purpose', 'general.tags.text_specific']
    .flatMap((key) => insightor[key]);
  assert.deepStrictEqual(allTags().filter((tag) => !autoTags.includes(tag)), []);
});
