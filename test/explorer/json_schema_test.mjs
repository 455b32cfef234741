// Validates the JSON document of every mode, and the server's answers, against
// docs/fvscope.schema.json with ajv, so that a field the schema does not list
// (or lists wrongly) fails the test.
//   node json_schema_test.mjs FVSCOPE MAKE_SAMPLE_FV MAKE_SAMPLE_NET RANDOM_GAME SOURCE_DIR
//        [--documents=DIR]
// With --documents, also every *.json file of DIR: the documents the end-to-end
// cases made (test/run_tool.h keeps them there).
// Exit 0 when every document validates, 1 when one does not, 77 when ajv is
// missing (the test is skipped).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { spawn, execFileSync } from 'node:child_process';

const [fvscope, makeSampleFv, makeSampleNet, randomGame, source] =
  process.argv.slice(2, 7).map((a) => path.resolve(a));
let Ajv2020;
try {
  ({ default: Ajv2020 } = await import('ajv/dist/2020.js'));
} catch (e) {
  console.log('SKIP: ajv is not installed (npm ci in test/explorer)');
  process.exit(77);
}

const schema = JSON.parse(fs.readFileSync(path.join(source, 'docs/fvscope.schema.json'), 'utf8'));
const ajv = new Ajv2020({ allErrors: true, strict: true });
const validate = ajv.compile(schema);
const failures = [];

// Every object of the schema closes its fields, so that a field a document
// has and the schema lacks fails.
(function checkClosed(node, where) {
  if (Array.isArray(node)) return node.forEach((n, i) => checkClosed(n, `${where}/${i}`));
  if (node === null || typeof node !== 'object') return;
  if (node.properties && node.additionalProperties !== false) {
    failures.push(`${where}: an object schema without "additionalProperties": false`);
  }
  for (const [key, value] of Object.entries(node)) checkClosed(value, `${where}/${key}`);
})(schema, '#');

const modesSeen = new Set();
function check(name, text) {
  let document;
  try {
    document = JSON.parse(text);
  } catch (e) {
    failures.push(`${name}: not JSON: ${e.message}`);
    return;
  }
  modesSeen.add(document.mode ?? 'error');
  if (!validate(document)) {
    // oneOf reports every branch; the branch of the document's mode says why.
    const branch = { game: 'leaf', position: 'leaf' }[document.mode] ?? document.mode ?? 'error';
    const mine = ajv.getSchema(`${schema.$id}#/$defs/${branch}`);
    const errors = mine && !mine(document) ? mine.errors : validate.errors;
    failures.push(`${name}: ${errors.slice(0, 6).map((e) =>
      `${e.instancePath || '/'} ${e.message}${e.params.additionalProperty ? ` "${e.params.additionalProperty}"` : ''}`).join('; ')}`);
  }
}

// A scratch working folder: two tables, two networks, a corpus of games and
// training records, and the stand-in engine replaying the sample game.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'json-schema.'));
const run = (program, args, options = {}) =>
  execFileSync(program, args, { cwd: work, stdio: ['ignore', 'pipe', 'pipe'], ...options });
run(makeSampleFv, ['fv.bin']);
run(makeSampleFv, ['fv2.bin', '7']);
run(makeSampleNet, ['nn.bin']);
run(makeSampleNet, ['nn2.bin', '5']);
fs.mkdirSync(path.join(work, 'corpus'));
fs.copyFileSync(path.join(source, 'samples/records/even.kif'), path.join(work, 'corpus/even.kif'));
fs.copyFileSync(path.join(source, 'samples/opening/game000.csa'), path.join(work, 'corpus/game000.csa'));
fs.writeFileSync(path.join(work, 'corpus/train.psv'), run(randomGame, ['40', '3', 'psv', '5']));
fs.writeFileSync(path.join(work, 'train.hcpe'), run(randomGame, ['40', '4', 'hcpe', '5']));
fs.writeFileSync(path.join(work, 'engine'),
  `#!/bin/sh\nexec "${source}/tools/replay_engine" "${source}/samples/opening"\n`, { mode: 0o755 });

// Each run of the command line, its JSON to a file as --json=FILE writes it.
const runs = {
  game: [],
  game_compare_pieces: ['--compare=fv2.bin', '--pieces', '1'],
  position: ['--position=startpos', '--pv=7g7f,3c3d', '--pieces'],
  position_compare: ['--position=startpos', '--pv=7g7f', '--compare=fv2.bin'],
  position_record: ['--position=corpus/even.kif', '--ply=6'],
  position_network: ['--fv=nn.bin', '--position=startpos', '--pv=7g7f'],
  position_networks: ['--fv=nn.bin', '--compare=nn2.bin', '--position=startpos', '--pv=7g7f'],
  position_network_table: ['--fv=nn.bin', '--compare=fv.bin', '--position=startpos', '--pieces'],
  record: ['--game=corpus/even.kif'],
  record_compare: ['--game=corpus/even.kif', '--compare=fv2.bin'],
  record_network: ['--game=corpus/even.kif', '--fv=nn.bin', '--compare=fv.bin'],
  scan: ['0', '40'],
  scan_compare: ['1', '40', '--compare=fv2.bin'],
  map: ['--map=+59OU:+58KI'],
  map_hand: ['--map=+59OU:-FU*3'],
  map_compare: ['--map=+59OU:-51OU', '--compare=fv2.bin'],
  census: ['--census'],
  census_compare: ['--census', '--compare=fv2.bin'],
  corpus: ['--corpus=corpus'],
  corpus_compare: ['--corpus=corpus', '--compare=fv2.bin', '--lambda=0.5'],
  corpus_games: ['--corpus=corpus/even.kif', '--no-usage'],
  corpus_packed: ['--corpus=train.hcpe', '--corpus=corpus/train.psv'],
  corpus_network: ['--corpus=corpus', '--fv=nn.bin'],
};
for (const [name, args] of Object.entries(runs)) {
  const file = path.join(work, `${name}.json`);
  try {
    run(fvscope, [...args, `--json=${file}`, '--jobs=2']);
    check(name, fs.readFileSync(file, 'utf8'));
  } catch (e) {
    failures.push(`${name}: fvscope ${args.join(' ')} failed: ${e.stderr ?? e.message}`);
  }
}
// Shards and their merge; --json=- in place of the text.
try {
  run(fvscope, ['--corpus=corpus', '--shard=1/2', '--partial=p1']);
  run(fvscope, ['--corpus=corpus', '--shard=2/2', '--partial=p2']);
  check('merge', run(fvscope, ['--merge=p2', '--merge=p1', '--json=-']).toString());
} catch (e) {
  failures.push(`merge: ${e.stderr ?? e.message}`);
}

// The server's answers, under a table with a second file and under a network.
async function serve(options, requests) {
  const server = spawn(fvscope, ['--serve=127.0.0.1:0', ...options], { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] });
  try {
    const base = await new Promise((resolve, reject) => {
      let out = '';
      server.stdout.on('data', (chunk) => {
        out += chunk;
        const m = /serving (http:\/\/127\.0\.0\.1:\d+)\//.exec(out);
        if (m) resolve(m[1]);
      });
      server.on('exit', (code) => reject(new Error(`fvscope --serve exited with ${code}`)));
    });
    for (const [name, url, body] of requests) {
      let answer = await fetch(base + url, body ? { method: 'POST', body } : {});
      // The corpus is evaluated in the background: its progress first, then the run.
      for (let tries = 0; url === '/api/corpus' && answer.status !== 200 && tries < 600; ++tries) {
        check(`${name} (while evaluated)`, await answer.text());
        await new Promise((done) => setTimeout(done, 200));
        answer = await fetch(base + url);
      }
      check(name, await answer.text());
    }
  } finally {
    server.kill('SIGTERM');
  }
}
const kif = fs.readFileSync(path.join(work, 'corpus/even.kif'));
try {
  await serve(['--corpus=corpus', '--compare=fv2.bin'], [
    ['api_info', '/api/info'],
    ['api_position', '/api/position?position=startpos&pv=7g7f&pieces=1'],
    ['api_game', '/api/game', kif],
    ['api_scan', '/api/scan?square=40'],
    ['api_map', '/api/map?king=%2B59OU&piece=%2B58KI'],
    ['api_census', '/api/census'],
    ['api_corpus', '/api/corpus'],
    ['api_refusal', '/api/scan?square=abc'],
  ]);
  await serve(['--fv=nn.bin', '--fv-scale=20'], [
    ['api_info_network', '/api/info'],
    ['api_position_network', '/api/position?position=startpos&pv=7g7f'],
    ['api_game_network', '/api/game', kif],
  ]);
} catch (e) {
  failures.push(`server: ${e.message}`);
}

// The end-to-end cases' documents.
const documents = process.argv.slice(7).find((a) => a.startsWith('--documents='))?.slice(12);
if (documents) {
  const names = fs.existsSync(documents) ? fs.readdirSync(documents).filter((n) => n.endsWith('.json')) : [];
  if (names.length === 0) failures.push(`no document of the end-to-end cases in ${documents}`);
  for (const name of names.sort()) check(name, fs.readFileSync(path.join(documents, name), 'utf8'));
  console.log(`${names.length} documents of the end-to-end cases`);
}

for (const mode of ['game', 'position', 'record', 'scan', 'map', 'census', 'corpus', 'info', 'error']) {
  if (!modesSeen.has(mode)) failures.push(`no document of mode ${mode} was checked`);
}
fs.rmSync(work, { recursive: true, force: true });
if (failures.length > 0) {
  for (const f of failures) console.log(`FAIL ${f}`);
  process.exit(1);
}
console.log(`every document validates (${[...modesSeen].join(', ')})`);
