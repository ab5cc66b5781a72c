// The search box's script on its own, and in agreement with the program:
// the vectors come from script_vectors (QZ_SCRIPT_VECTORS), which also
// writes an index of several blocks for the script to search.
'use strict';
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const vm = require('node:vm');
const {execFileSync} = require('node:child_process');
const makeSearch = require('../../../src/reader/web/search.js');

const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'qzturns-script-'));
const vectors = JSON.parse(execFileSync(process.env.QZ_SCRIPT_VECTORS, [folder], {encoding: 'utf8'}));
const QZ = vm.runInNewContext(vectors.constants + ' QZ');
const S = makeSearch(QZ);
test.after(() => fs.rmSync(folder, {recursive: true, force: true}));

test('every code point up to U+02FF folds as the program folds it', () => {
  vectors.folds.forEach((fold, code) => {
    const words = S.words('x' + String.fromCharCode(code) + 'x');
    assert.deepStrictEqual(words, fold === null ? ['x', 'x'] : ['x' + fold + 'x'], 'U+' + code.toString(16));
  });
  assert.deepStrictEqual(S.words('x'.repeat(41) + ' V\u00d6R\u00d6S'), ['x'.repeat(40), 'voros']);
});

test('words go into the buckets the program puts them in', () => {
  for (const [word, bucket] of vectors.buckets) assert.strictEqual(S.bucketOf(word), bucket, word);
});

test('numbers read back whole, and a cut or damaged text ends the reading', () => {
  const all = vectors.numbers.map(([, text]) => text).join('');
  const reader = S.numberReader(all);
  for (const [value] of vectors.numbers) assert.strictEqual(reader.next(), value);
  assert.strictEqual(reader.more(), false);
  // The last digit cut off: the number never ends, and the reader stops.
  const cut = S.numberReader(vectors.numbers[6][1].slice(0, -1));
  assert.strictEqual(cut.next(), -1);
  assert.strictEqual(cut.next(), -1);
  const skipping = S.numberReader(all);
  skipping.skip(3);
  assert.strictEqual(skipping.next(), vectors.numbers[3][0]);
  assert.deepStrictEqual(S.turnsOf('aab'), [0, 1, 3]);  // gaps, each less one
});

test('the names of the index are the program\'s names', () => {
  for (const [block, generation, turns, places] of vectors.names) {
    assert.strictEqual(S.turnsName(block, generation, 'voros'), turns);
    assert.strictEqual(S.placesName(block, generation, 'voros'), places);
  }
});

test('a query is its words, its last word as a prefix, and its quoted phrases', () => {
  const rows = [
    ['Ilona v\u00f6r\u00f6s', {words: ['ilona'], phrases: [], prefix: 'voros'}],
    ['Ilona v ', {words: ['ilona', 'v'], phrases: [], prefix: ''}],
    ['Ilona v', {words: ['ilona', 'v'], phrases: [], prefix: ''}],
    ['"a b" cd', {words: ['a', 'b'], phrases: [['a', 'b']], prefix: 'cd'}],
    ['"a b" c', {words: ['a', 'b', 'c'], phrases: [['a', 'b']], prefix: ''}],
    ['"a b', {words: ['a', 'b'], phrases: [['a', 'b']], prefix: ''}],
    ['"egy" ', {words: ['egy'], phrases: [], prefix: ''}],
    ['  ', {words: [], phrases: [], prefix: ''}],
  ];
  for (const [text, query] of rows) assert.deepStrictEqual(S.parse(text), query, text);
  for (const row of vectors.queries) {
    assert.deepStrictEqual(S.parse(row.text),
                           {words: row.words, phrases: row.phrases, prefix: row.prefix}, row.text);
  }
});

test('lists of turns meet, and phrases are read from the places', () => {
  assert.deepStrictEqual(S.intersect([[1, 2, 5, 7], [0, 2, 7], [2, 3, 7, 9]], 10), [2, 7]);
  assert.deepStrictEqual(S.intersect([[1, 2], []], 10), []);
  // Turns 0 and 2; in turn 0 the word stands at 1, in turn 2 at 0 and 4.
  const first = S.placesOf('ab', 'ab' + 'bad', new Set([0, 2]));
  assert.deepStrictEqual([...first.get(2)], [0, 4]);
  const second = S.placesOf('c', 'bbd', new Set([2]));  // turn 2, at 1 and 5
  assert.strictEqual(S.holdsPhrase([first, second], 2), true);
  assert.strictEqual(S.holdsPhrase([second, first], 2), false);
  assert.strictEqual(S.holdsPhrase([first, second], 0), false);
});

// Loads a script of the index as the page does, by running it.
function load(name) {
  const file = name === QZ.names.docs ? path.join(folder, vectors.index.docs)
                                      : path.join(folder, QZ.names.folder, name + QZ.names.suffix);
  if (!fs.existsSync(file)) return Promise.resolve(null);
  let text = null;
  vm.runInNewContext(fs.readFileSync(file, 'latin1'), {qzIndex: (n, t) => { text = t; }});
  return Promise.resolve(text);
}

test('in an index of several blocks, every query finds the turns the program finds', async () => {
  assert.ok(vectors.index.generations.length >= 3, 'blocks: ' + vectors.index.generations);
  const index = S.createIndex(vectors.index.generations, vectors.index.blockTurns, load);
  const docs = (await load(QZ.names.docs)).split(' ');
  for (const row of vectors.queries) {
    const numbers = await index.find(S.parse(row.text));
    const found = numbers.map((n) => docs[n]).filter((file) => file !== '-').sort();
    assert.deepStrictEqual(found, row.found, row.text);
  }
  assert.ok(vectors.queries.some((row) => row.found.length > 2));
});
