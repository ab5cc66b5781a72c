// The reader's script on its own: its data read back, and every turn found
// by its address however an address bar gives it.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const reader = require('../../../src/reader/web/reader.js');

test('a turn line is its key, its address and its mark, then its title', () => {
  assert.deepStrictEqual(
      reader.parseTurns('qz1/1-', '001\t\t\tEls\u0151 &amp; m\u00e1s\n7#f\t7%23f\tn\t\nx\t\te\ta\tb'), [
        {key: '001', href: 'qz1/1-001.htm', mark: '', title: 'Els\u0151 &amp; m\u00e1s'},
        {key: '7#f', href: 'qz1/1-7%23f.htm', mark: 'n', title: ''},
        {key: 'x', href: 'qz1/1-x.htm', mark: 'e', title: 'a\tb'},
      ]);
  assert.deepStrictEqual(reader.parseTurns('qz1/1-', ''), []);
  assert.deepStrictEqual(['001', '000', '10', 'ol3,15', '007a'].map(reader.shownKey),
                         ['1', '0', '10', 'ol3,15', '007a']);
});

test('a turn is found by its address, encoded or not, in its own character only', () => {
  const archive = reader.createArchive([
    ['qz1', '1', 'qz1/1-', '001\t\t\t\n002\t\t\t'],
    ['qz\u00e1', '\u00e1', 'qz%E1/%E1-', '7#f\t7%23f\t\t'],
  ]);
  const place = (address) => {
    const found = archive.locate(address);
    return found && [found.character.number, found.index];
  };
  assert.deepStrictEqual(place('qz1/1-002.htm'), ['1', 1]);
  assert.deepStrictEqual(place('qz%E1/%E1-7%23f.htm'), ['\u00e1', 0]);
  assert.deepStrictEqual(place('qz1/1-003.htm'), null);
  assert.deepStrictEqual(place('qz2/2-001.htm'), null);
  assert.deepStrictEqual(place('search=ilona'), null);
  assert.deepStrictEqual(place('qz1/%31-001.htm'), ['1', 0]);
});
