// Reads the sample records of record_json_sample (stdin) with the readers hosts
// use: json5 (lenient, what hosts read the record with) must give exactly the
// expected values; JSON.parse (strict) must reject the text, and accept it with
// the same values once the trailing commas are taken out, so the commas are the
// only thing a strict reader objects to. The values below mirror the records of
// RecordJsonSample.cpp.
'use strict';

const assert = require('assert');
const fs = require('fs');
const JSON5 = require('json5');

function record(members) {
  return Object.assign({
    id: '00000000', name: '', vendor: '', product: '', version: '', error: '',
    numInputs: 0, numOutputs: 0, wantsMidi: false, sendsMidi: false, platform: 'x64',
    audio64: false, category: -1, synthEdit: false,
  }, members);
}

const expected = [
  record({
    id: '41626364',
    name: 'Bass "Pro"/2 \\ \b\f\n\r\t\x01\x1F\x7F',
    vendor: 'Caf\u00e9 \u65e5\u672c \u{1F3B9} \uFFFF',
    version: '1.2.0', numInputs: 2, numOutputs: 16, wantsMidi: true, sendsMidi: true,
    audio64: true, category: 2, synthEdit: true,
  }),
  record({
    id: 'FFFFFFFE', name: 'Shell, {with} [brackets]: ,}', version: '1000', numOutputs: 2, category: 10,
    shells: { '5A5A0001': 'Strings "Ensemble"', FFFFFFFF: '', 80000000: '\u00dcber/Pad' },
  }),
];

const memberOrder = Object.keys(expected[0]);

// The JSON text of one record: the ">:" tag taken off every line.
function recordText(block) {
  const lines = block.split('\n').filter((line) => line !== '');
  for (const line of lines) {
    assert.ok(line.startsWith('>:'), `untagged record line: ${JSON.stringify(line)}`);
    assert.ok(/^[\x20-\x7e]*$/.test(line), `non-ASCII record line: ${JSON.stringify(line)}`);
  }
  return lines.map((line) => line.slice(2) + '\n').join('');
}

// The text without the comma that ends a line right before a closing brace.
function withoutTrailingCommas(text) {
  const lines = text.split('\n');
  return lines
    .map((line, i) => (line.endsWith(',') && /^\s*}/.test(lines[i + 1] || '') ? line.slice(0, -1) : line))
    .join('\n');
}

const blocks = fs.readFileSync(0, 'latin1').split('--\n');
assert.strictEqual(blocks.pop(), '', 'output ends after the last record');
assert.strictEqual(blocks.length, expected.length, 'number of sample records');

blocks.forEach((block, i) => {
  const text = recordText(block);
  const lenient = JSON5.parse(text);
  assert.deepStrictEqual(lenient, expected[i], `json5 values of record ${i}`);
  const order = memberOrder.concat(expected[i].shells ? ['shells'] : []);
  assert.deepStrictEqual(Object.keys(lenient), order, `member order of record ${i}`);

  assert.throws(() => JSON.parse(text), SyntaxError, `strict reader accepts record ${i}`);
  const strict = JSON.parse(withoutTrailingCommas(text));
  assert.deepStrictEqual(strict, expected[i], `strict values of record ${i} without trailing commas`);
});

console.log(`${blocks.length} records read alike by json5 and, without trailing commas, by JSON.parse`);
