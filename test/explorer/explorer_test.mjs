// Drives the explorer page in headless Chromium against `fvscope --serve` and
// checks what it shows against the command line's own JSON answers.
//   node explorer_test.mjs FVSCOPE MAKE_SAMPLE_FV SOURCE_DIR SCREENSHOT_DIR [--url=BASE] [--kppt=SET]
// Exit 0 when every check passed, 1 when one failed, 77 when the browser or
// playwright-core is missing (the test is skipped).
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { spawn, execFileSync } from 'node:child_process';
import { parseSfen, kingOf } from '../../explorer/shogi.js';

const [fvscope, makeSampleFv, source, shots] = process.argv.slice(2, 6).map((a) => path.resolve(a));
const rest = process.argv.slice(6);
const CHROMIUM = '/usr/bin/chromium';
let chromium;
try {
  ({ chromium } = await import('playwright-core'));
} catch (e) {
  console.log('SKIP: playwright-core is not installed (npm ci in test/explorer)');
  process.exit(77);
}
if (!fs.existsSync(CHROMIUM)) {
  console.log('SKIP: chromium is missing (Debian package chromium)');
  process.exit(77);
}
const ENGINE = '/usr/games/fairy-stockfish';
const withEngine = fs.existsSync(ENGINE);

// A working folder: the sample evaluation file, a record and a small corpus.
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'explorer.'));
execFileSync(makeSampleFv, [path.join(work, 'fv.bin')]);
fs.copyFileSync(path.join(source, 'samples/records/even.kif'), path.join(work, 'even.kif'));
fs.mkdirSync(path.join(work, 'corpus'));
fs.copyFileSync(path.join(source, 'samples/records/even.kif'), path.join(work, 'corpus/even.kif'));
fs.copyFileSync(path.join(source, 'samples/opening/game000.csa'), path.join(work, 'corpus/game000.csa'));
fs.mkdirSync(shots, { recursive: true });

// The command line's JSON document for these arguments.
const cli = (...args) => JSON.parse(execFileSync(fvscope, [...args, '--json=-'], { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] }).toString());

// Starts `fvscope --serve` on a free port with these options; resolves to its
// address and a function that stops it.
async function startServer(options) {
  const server = spawn(fvscope, ['--serve=127.0.0.1:0', ...options], { cwd: work, stdio: ['ignore', 'pipe', 'inherit'] });
  const address = await new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (chunk) => {
      out += chunk;
      const m = /serving (http:\/\/127\.0\.0\.1:\d+)\//.exec(out);
      if (m) resolve(m[1]);
    });
    server.on('exit', (code) => reject(new Error(`fvscope --serve exited with ${code}: ${out}`)));
    server.on('error', reject);
  });
  const stop = async () => {
    const exited = new Promise((done) => server.on('exit', done));
    server.kill('SIGTERM');
    await exited;
  };
  return { address, stop };
}

const given = rest.find((a) => a.startsWith('--url='))?.slice(6);
const server = given ? { address: given, stop: async () => {} }
  : await startServer(['--corpus=corpus', ...(withEngine ? [`--usi=${ENGINE}`, '--go=depth 3'] : [])]);
let base = server.address;

const browser = await chromium.launch({
  executablePath: CHROMIUM,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--host-resolver-rules=MAP * ~NOTFOUND , EXCLUDE 127.0.0.1'],
});
const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
page.setDefaultTimeout(30000);
const problems = [];   // console errors and failed loads
// true: refusals (400) are expected; a list: answers of those statuses are.
let refusalExpected = false;
const expectedStatus = (status) => (Array.isArray(refusalExpected) ? refusalExpected.includes(status) : refusalExpected && status === 400);
page.on('console', (m) => {
  const status = /status of (\d+)/.exec(m.text());
  if (m.type() === 'error' && !(status && expectedStatus(+status[1]))) problems.push(`console: ${m.text()}`);
});
page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
// A load the page gave up because the view moved on (a picture of a ply stepped past) is
// no failure; an answer that failed shows as its status below.
page.on('requestfailed', (r) => {
  if (r.failure()?.errorText !== 'net::ERR_ABORTED') problems.push(`failed load: ${r.url()} ${r.failure()?.errorText}`);
});
page.on('response', (r) => {
  if (r.status() >= 400 && !expectedStatus(r.status())) problems.push(`failed load: ${r.url()} ${r.status()}`);
});

const failures = [];
async function check(name, body) {
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    failures.push(name);
    console.log(`FAIL ${name}: ${e.message.split('\n').slice(0, 6).join('\n')}`);
  }
}
function expectEqual(actual, expected, what) {
  if (JSON.stringify(actual) !== JSON.stringify(expected)) {
    throw new Error(`${what}: ${JSON.stringify(actual)} where ${JSON.stringify(expected)} was expected`);
  }
}
const points = (units) => { const p = units / 32; return (p > 0 ? '+' : '') + p.toFixed(1); };
const shown = () => page.waitForSelector('#view:not([aria-busy])');
const open = async (address) => { await page.goto(base + address); await shown(); };
const shot = (name) => page.screenshot({ path: path.join(shots, `${name}.png`), fullPage: true });
const text = (selector) => page.locator(selector).first().textContent();
const valueCell = '#view td[data-points="value"]';

// Every text at least 12 px as drawn (an SVG's text scaled with its picture).
async function smallestText() {
  return page.evaluate(() => {
    let least = Infinity, where = '';
    for (const node of document.querySelectorAll('body *')) {
      const own = [...node.childNodes].some((c) => c.nodeType === 3 && c.textContent.trim());
      if (!own || node.closest('title, option') || !node.getClientRects().length) continue;
      let size = parseFloat(getComputedStyle(node).fontSize);
      const owner = node.ownerSVGElement;
      if (owner && owner.viewBox.baseVal && owner.viewBox.baseVal.width) {
        size *= owner.getBoundingClientRect().width / owner.viewBox.baseVal.width;
      }
      if (size < least) { least = size; where = `${node.tagName} "${node.textContent.trim().slice(0, 20)}"`; }
    }
    return { least, where };
  });
}

// Text at 12 px or more, and no "null", "undefined" or "NaN" shown for a figure.
async function expectReadable() {
  const least = await smallestText();
  if (least.least < 11.99) throw new Error(`text drawn at ${least.least.toFixed(1)} px: ${least.where}`);
  const odd = /\b(null|undefined|NaN)\b/.exec(await page.evaluate(() => document.body.innerText));
  if (odd) throw new Error(`the page shows "${odd[0]}"`);
}

const moves = 'startpos moves 7g7f 3c3d 2g2f 8c8d';
await check('a position address shows the value and the top term of --position --json', async () => {
  const expected = cli(`--position=${moves}`, '--pieces');
  // The page comes under a policy that allows only the server's own files
  // (the whole test runs under it: a refused load is a console error).
  const answer = await page.goto(base + `/?position=${encodeURIComponent(moves)}`);
  const policy = answer.headers()['content-security-policy'] || '';
  if (!policy.includes("default-src 'self'") || !policy.includes("frame-ancestors 'none'")) {
    throw new Error(`the page's Content-Security-Policy is "${policy}"`);
  }
  expectEqual(answer.headers()['x-content-type-options'], 'nosniff', 'X-Content-Type-Options');
  await shown();
  await page.waitForSelector(valueCell);
  expectEqual(await text(valueCell), points(expected.value * 32), 'value');
  const top = expected.ranking[0];
  expectEqual(await text('#view figure.card code'), `[${top.king}]-[${top.a}]-[${top.b}]`, 'top term');
  expectEqual(await page.locator('#view table.ranking tbody tr').count(), expected.ranking.length, 'ranked rows');
  const share = expected.pieces.find((p) => !p.cell.endsWith('*'));
  expectEqual((await text(`#view g[data-cell="${share.cell}"] text.figure`)).trim(), points(share.share), `share of ${share.cell}`);
  await expectReadable();
  await shot('explorer-position');
  // Flipped, white's side is at the bottom: file 1 is written first.
  await page.click('#view .tools button');
  await page.waitForFunction(() => document.querySelector('#view svg.board text.coord')?.textContent === '1');
});

await check('at 800 px wide nothing runs off the side and no text is under 12 px', async () => {
  await page.setViewportSize({ width: 800, height: 900 });
  await open(`/?position=${encodeURIComponent(moves)}&ply=2`);
  await page.waitForSelector(valueCell);
  const wide = await page.evaluate(() => document.documentElement.scrollWidth);
  if (wide > 800) throw new Error(`the page is ${wide} px wide`);
  await expectReadable();
  await shot('explorer-position-800');
  await page.setViewportSize({ width: 1280, height: 900 });
});

let kifAddress = '';
await check('a pasted KIF record, → three times: the fourth position\'s value', async () => {
  const game = cli('--game=even.kif');
  await open('/?census');
  await page.fill('#input-text', fs.readFileSync(path.join(work, 'even.kif'), 'utf8'));
  await page.click('#input-form button[type=submit]');
  await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="0"]');
  await shown();
  await page.locator('#view h1').click();
  for (let i = 0; i < 3; ++i) await page.keyboard.press('ArrowRight');
  await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="3"]');
  await page.waitForFunction(() => /After ply 3/.test(document.querySelector('#view h1')?.textContent || ''));
  await page.waitForSelector(valueCell);
  expectEqual(await text(valueCell), points(game.plies[3].value * 32), 'value at ply 3');
  expectEqual(await page.locator('ol.moves button').count(), game.plies.length, 'moves listed');
  await page.keyboard.press('End');
  await page.waitForSelector(`ol.moves button[aria-current="step"][data-ply="${game.plies.length - 1}"]`);
  await page.keyboard.press('Home');
  await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="0"]');
  await page.locator('svg.value-chart').click({ position: { x: 715, y: 100 } });  // the chart's right end
  await page.waitForSelector(`ol.moves button[aria-current="step"][data-ply="${game.plies.length - 1}"]`);
  await shown();
  kifAddress = page.url();
  await shot('explorer-game');
});

await check('a record chosen as a file shows its game', async () => {
  fs.writeFileSync(path.join(work, 'game.csa'), 'V2.2\nPI\n+\n+7776FU\n-3334FU\n+8822UM\n-3122GI\n+0055KA\n%TORYO\n');
  const game = cli('--game=game.csa');
  await page.setInputFiles('#input-file', path.join(work, 'game.csa'));
  await page.waitForFunction((n) => document.querySelectorAll('ol.moves button').length === n &&
    document.querySelector('ol.moves button[aria-current="step"]')?.dataset.ply === '0', game.plies.length);
  await shown();
  expectEqual(await text(valueCell), points(game.plies[0].value * 32), 'value at the start');
});

await check('a click on a piece shows the map of its king and it', async () => {
  await page.goto(kifAddress);
  await page.waitForSelector('#view svg.board');
  const leaf = parseSfen(await text('#view .sfen code'));
  const cell = await page.locator('#view svg.board g.piece.black:not([data-cell$="OU"]):not([data-cell$="*"])').first().getAttribute('data-cell');
  const king = kingOf(leaf, '+');
  // By the keyboard: the piece takes the focus and Enter opens it.
  await page.locator(`#view g[data-cell="${cell}"]`).focus();
  await page.keyboard.press('Enter');
  await page.waitForFunction((t) => document.querySelector('#view h1')?.textContent.startsWith(t), `Map of ${king} and ${cell}`);
  await shown();
  const expected = cli(`--map=${king}:${cell}`).map;
  expectEqual(await page.locator('#view svg.grid').count(), expected.grids.length, 'grids');
  expectEqual(await page.locator('#view table.hands tr').first().locator('button').allTextContents(), expected.hands[0].values.map(String), 'first hand row');
  // Hovering a square shows its value.
  const g = expected.grids.findIndex((x) => x.values[40] !== null);
  await page.locator(`#view svg.grid[data-piece="${expected.grids[g].piece}"] rect[data-s="40"]`).hover();
  await page.waitForFunction((v) => document.querySelector('#view .readout').textContent.endsWith(`55: ${v}`), expected.grids[g].values[40]);
  await expectReadable();
  await shot('explorer-map');
});

await check('a click on a term shows its picture and the map with the second piece marked', async () => {
  await page.goBack();
  await page.waitForSelector('#view figure.card');
  await shown();
  const first = page.locator('#view figure.card').first();
  const term = await first.locator('code').textContent();
  const value = /value (-?\d+)/.exec(await first.locator('figcaption').textContent())[1];
  await first.click();
  await page.waitForFunction(() => /^Term /.test(document.querySelector('#view h1')?.textContent || ''));
  await shown();
  expectEqual((await text('#view h1')).replace(/\*\d/g, '*'), `Term ${term}`, 'term');
  await page.waitForFunction(() => { const i = document.querySelector('#view .term-picture img'); return i && i.complete && i.naturalWidth > 0; });
  expectEqual(await text('#view .term-value'), `value ${value} (table units, as it favours black)`, 'term value');
  if (!(await page.locator('#view svg.grid rect.mark, #view table.hands td.marked').count())) throw new Error('no square marked');
  await shot('explorer-term');
});

await check('a map address reloads to the same map, and the back button goes back', async () => {
  await open('/?map=+59OU:+58KI');
  const snapshot = () => page.evaluate(() => [...document.querySelectorAll('#view svg.grid rect[data-s], #view table.hands button')]
    .map((e) => e.getAttribute('fill') || e.textContent).join(','));
  const before = await snapshot();
  await page.reload();
  await shown();
  expectEqual(await snapshot(), before, 'map after reload');
  expectEqual(await text('#view h1'), 'Map of +59OU and +58KI (KPP)', 'heading');
  await page.locator('#view svg.grid[data-piece="+FU"] rect[data-s="58"]').click();  // +57FU
  await page.waitForFunction(() => /^Term /.test(document.querySelector('#view h1')?.textContent || ''));
  await page.goBack();
  await page.waitForFunction(() => document.querySelector('#view h1')?.textContent === 'Map of +59OU and +58KI (KPP)');
});

await check('the census: a click on a king square opens its scan', async () => {
  await open('/?census');
  await page.waitForSelector('#view .census svg.grid');
  await expectReadable();
  await shot('explorer-census');
  await page.locator('#view .census svg.grid').first().locator('rect[data-s="40"]').click();
  await page.waitForFunction(() => document.querySelector('#view h1')?.textContent === 'Scan of king square 40');
  await shown();
  const expected = cli('0', '40');
  expectEqual((await page.locator('#view table.ranking tbody tr').first().locator('td').allTextContents()).slice(1, 2), [String(expected.ranking[0].value)], 'first value');
  await shot('explorer-scan');
});

await check('the corpus view: a progress bar while the server reads it, then the view; /api/info asked again after a failure', async () => {
  // The first /api/info fails and the corpus answers 503 twice with how far it is.
  let infoFailed = false, busy = 2;
  await page.route('**/api/info', (route) => {
    if (infoFailed) return route.continue();
    infoFailed = true;
    return route.fulfill({ status: 502, contentType: 'application/json', body: '{"error":"down"}' });
  });
  await page.route('**/api/corpus', (route) => (busy-- > 0
    ? route.fulfill({ status: 503, contentType: 'application/json', body: JSON.stringify({ error: 'the corpus is being evaluated', files_read: 1, files: 2, positions_read: 37 }) })
    : route.continue()));
  refusalExpected = [502, 503];
  await page.goto(base + '/?corpus');
  await page.waitForSelector('#view progress[value="1"][max="2"]');
  expectEqual(await text('#view .progress .meta'), '1 of 2 files read, 37 positions evaluated', 'progress');
  await shot('explorer-corpus-progress');
  await page.waitForSelector('#view svg.calibration');
  await page.waitForSelector('nav a[data-view="corpus"]');  // the header, once /api/info answered
  refusalExpected = false;
  await page.unroute('**/api/info');
  await page.unroute('**/api/corpus');
});

await check('a failed request while another view is shown leaves that view', async () => {
  await open('/?position=startpos');
  let answer;
  const answered = new Promise((done) => { answer = done; });
  await page.route('**/api/game', async (route) => {
    await new Promise((done) => setTimeout(done, 1500));
    await route.fulfill({ status: 500, contentType: 'application/json', body: '{"error":"the record failed"}' });
    answer();
  });
  refusalExpected = [500];
  await page.fill('#input-text', fs.readFileSync(path.join(work, 'even.kif'), 'utf8'));
  await page.click('#input-form button[type=submit]');
  await page.click('nav a[data-view="table"]');
  await page.waitForSelector('#view .census svg.grid');
  await answered;
  await page.waitForTimeout(300);
  if (await page.locator('#view .census svg.grid').count() === 0) throw new Error('the census was replaced');
  expectEqual(await page.locator('#input-error').isHidden(), true, 'no message of the stale request');
  refusalExpected = false;
  await page.unroute('**/api/game');
});

await check('a file that is not text, too large or unreadable is named beside the box', async () => {
  await open('/?position=startpos');
  await page.setInputFiles('#input-file', { name: 'fv.bin', mimeType: 'application/octet-stream', buffer: Buffer.from([1, 0, 2, 0]) });
  await page.waitForFunction(() => document.getElementById('input-error').textContent === 'fv.bin: not a text file');
  refusalExpected = [413];
  await page.setInputFiles('#input-file', { name: 'huge.kif', mimeType: 'text/plain', buffer: Buffer.alloc(5 << 20, 'a') });
  await page.waitForFunction(() => /^huge\.kif: /.test(document.getElementById('input-error').textContent));
  await page.evaluate(() => {
    const file = new File(['x'], 'gone.kif');
    file.arrayBuffer = () => Promise.reject(new DOMException('it was removed', 'NotReadableError'));
    const drop = new Event('drop', { bubbles: true, cancelable: true });
    Object.defineProperty(drop, 'dataTransfer', { value: { files: [file], getData: () => '' } });
    document.getElementById('drop').dispatchEvent(drop);
  });
  await page.waitForFunction(() => document.getElementById('input-error').textContent === 'gone.kif: cannot be read (it was removed)');
  refusalExpected = false;
});

await check('the corpus view shows the fit and the rankings of use and pull', async () => {
  const expected = cli('--corpus=corpus');
  await open('/?corpus');
  await page.waitForSelector('#view svg.calibration');
  await page.waitForSelector('#view figure.card');
  expectEqual(await page.locator('#view [data-ranking=use] table.ranking tbody tr').count(), expected.usage.ranking.length, 'ranked entries');
  const pulled = page.locator('#view [data-ranking=pull] table.ranking tbody tr');
  expectEqual(await pulled.count(), expected.pull.ranking.length, 'entries ranked by pull');
  expectEqual((await pulled.first().locator('td').allTextContents()).slice(1, 2), [expected.pull.ranking[0].pull.toFixed(3)], 'first pull');
  // The pull's map and its first card are drawn by the server when scrolled to.
  for (const selector of ['#view img[src$="/pull.png"]', '#view [data-ranking=pull] figure.card img']) {
    await page.locator(selector).first().scrollIntoViewIfNeeded();
    await page.waitForFunction((s) => { const i = document.querySelector(s); return i && i.complete && i.naturalWidth > 0; }, selector);
  }
  await expectReadable();
  await shot('explorer-corpus');
});

if (withEngine) {
  await check('the engine button plays the engine\'s PV', async () => {
    await open('/?position=startpos');
    await page.click('#view button.engine');
    await page.waitForFunction(() => document.querySelector('#view h1')?.textContent === 'The engine\'s leaf');
    await page.waitForSelector('#view ol.pv li');
    await shot('explorer-engine');
  });
}

await check('a refused input shows the server\'s message by the box and no board', async () => {
  await open(`/?position=${encodeURIComponent(moves)}`);
  await page.waitForSelector('#view svg.board');
  refusalExpected = true;
  await page.fill('#input-text', 'sfen x');
  await page.click('#input-form button[type=submit]');
  await page.waitForSelector('#input-error:not([hidden])');
  if (await page.locator('#view svg.board').count()) throw new Error('a board is still shown');
  await page.fill('#input-text', '手合割：平手\n   1 ７六歩(77)\n   2 ９九歩(11)\n');
  await page.click('#input-form button[type=submit]');
  await page.waitForFunction(() => /line 3/.test(document.getElementById('input-error').textContent));
  if (await page.locator('#view svg.board').count()) throw new Error('a board is still shown');
  await shot('explorer-refused');
  refusalExpected = false;
});

// Pictures still loading when a server is done with are given up, not
// refused by a server that has gone (a slow build draws them late).
await page.goto('about:blank');
await server.stop();

// A second file: every value an eighth larger in magnitude.
const fv = fs.readFileSync(path.join(work, 'fv.bin'));
for (let i = 0; i + 1 < fv.length; i += 2) {
  const v = fv.readInt16LE(i);
  fv.writeInt16LE(Math.max(-32768, Math.min(32767, v + (v >> 3))), i);
}
fs.writeFileSync(path.join(work, 'fv2.bin'), fv);
const givenCompare = rest.find((a) => a.startsWith('--compare-url='))?.slice(14);
const compared = givenCompare ? { address: givenCompare, stop: async () => {} }
  : given ? null : await startServer(['--compare=fv2.bin']);
if (compared) {
  base = compared.address;
  await check('with a second file the views show before, after and the change', async () => {
    const expected = cli(`--position=${moves}`, '--pieces', '--compare=fv2.bin');
    await open(`/?position=${encodeURIComponent(moves)}`);
    await page.waitForSelector(valueCell);
    const c = expected.compare;
    expectEqual(await page.locator('#view tr[data-term="value"] td').allTextContents(),
      [String(expected.value * 32), String(c.value[1] * 32), String((c.value[1] - expected.value) * 32),
        points((c.value[1] - expected.value) * 32), (c.value[1] - expected.value) > 0 ? 'black' : (c.value[1] - expected.value) < 0 ? 'white' : 'neither'], 'value row');
    const top = c.ranking[0];
    expectEqual(await text('#view figure.card code'), `[${top.king}]-[${top.a}]-[${top.b}]`, 'top change');
    await expectReadable();
    await shot('explorer-compare-position');
    await open('/?map=+59OU:+58KI');
    const map = cli('--map=+59OU:+58KI', '--compare=fv2.bin').map;
    await page.locator('#view svg.grid[data-piece="+FU"] rect[data-s="58"]').hover();
    const g = map.grids[0];
    await page.waitForFunction((t) => document.querySelector('#view .readout').textContent === t, `+FU 57: ${g.values[58]} (${g.before[58]} to ${g.after[58]})`);
    await shot('explorer-compare-map');
    await open('/?census');
    await page.waitForSelector('#view .census svg.grid');
    await shot('explorer-compare-census');
  });

  await check('a record under two files: both curves and the change; a click on the change opens that ply compared', async () => {
    const game = cli('--game=even.kif', '--compare=fv2.bin');
    await open('/?census');
    await page.fill('#input-text', fs.readFileSync(path.join(work, 'even.kif'), 'utf8'));
    await page.click('#input-form button[type=submit]');
    await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="0"]');
    await shown();
    for (const line of ['first', 'second', 'change']) await page.waitForSelector(`svg.value-chart polyline.${line}`);
    const signed = (n) => (n > 0 ? '+' : '') + n;
    const p3 = game.plies[3];
    expectEqual(await page.locator('ol.moves button[data-ply="3"] .num').textContent(),
      ` ${signed(p3.value)} → ${signed(p3.compare.value)} (${signed(p3.compare.change)})`, 'ply 3 in the list');
    // The ply of largest change, clicked on the change curve.
    const ply = game.compare.ranking[0].ply;
    const n = game.plies.length - 1;
    const box = await page.locator('svg.value-chart').boundingBox();
    const scale = box.width / 720;
    const panel = await page.locator('svg.value-chart rect.change-panel').boundingBox();
    await page.mouse.click(box.x + (48 + (ply * (720 - 60)) / n) * scale, panel.y + panel.height / 2);
    await page.waitForSelector(`ol.moves button[aria-current="step"][data-ply="${ply}"]`);
    await page.waitForFunction((t) => document.querySelector('#view h1')?.textContent.includes(t), `ply ${ply}`);
    await page.waitForSelector(valueCell);
    const single = cli('--position=even.kif', `--ply=${ply}`, '--compare=fv2.bin');
    expectEqual(single.compare.value, [game.plies[ply].value, game.plies[ply].compare.value], 'the ply under both files');
    expectEqual((await page.locator('#view tr[data-term="value"] td').allTextContents()).slice(0, 2),
      [String(single.compare.value[0] * 32), String(single.compare.value[1] * 32)], 'value row of the ply');
    await expectReadable();
    await shot('explorer-compare-game');
    await page.screenshot({ path: path.join(shots, 'explorer-compare-game-window.png') });  // the window alone
  });

  await check('the move list never scrolls sideways and keeps the current ply in view', async () => {
    let line = 'startpos moves';
    for (let i = 0; i < 40; ++i) line += ' 2h3h 8b7b 3h2h 7b8b';
    await open(`/?position=${encodeURIComponent(line)}&ply=0`);
    await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="0"]');
    for (const width of [1280, 800, 390]) {
      await page.setViewportSize({ width, height: 800 });
      for (const [key, ply] of [['End', 160], ['Home', 0], ['End', 160], ['ArrowLeft', 159]]) {
        await page.locator('#view h1').click();
        await page.keyboard.press(key);
        await page.waitForSelector(`ol.moves button[aria-current="step"][data-ply="${ply}"]`);
        const fit = await page.evaluate(() => {
          const list = document.querySelector('ol.moves');
          const at = list.querySelector('.current').getBoundingClientRect(), box = list.getBoundingClientRect();
          return { sideways: list.scrollWidth > list.clientWidth, seen: at.top >= box.top - 1 && at.bottom <= box.bottom + 1,
            page: document.documentElement.scrollWidth <= window.innerWidth };
        });
        expectEqual(fit, { sideways: false, seen: true, page: true }, `the list at ${width} px, ply ${ply}`);
      }
      if (width >= 800) await expectReadable();
      await page.locator('#game').screenshot({ path: path.join(shots, `explorer-moves-${width}.png`) });
    }
    await page.setViewportSize({ width: 1280, height: 900 });
  });
  await page.goto('about:blank');
  await compared.stop();
}
// A network: the position view shows its block and its inputs ranked by
// change; the corpus view the use of its inputs and its neurons' activations; a click on its census opens
// a king's map, whose box picks a neuron; a piece of a position opens where
// it is worth most.
const makeSampleNet = path.join(path.dirname(makeSampleFv), 'make_sample_net');
const networked = given || !fs.existsSync(makeSampleNet) ? null
  : (execFileSync(makeSampleNet, [path.join(work, 'nn.bin'), '3']), await startServer(['--fv=nn.bin', '--corpus=corpus', '--activations']));
if (networked) {
  base = networked.address;
  await check('a network: its block, its inputs ranked by change and the use of its inputs', async () => {
    const expected = cli(`--position=${moves}`, '--pieces', '--fv=nn.bin');
    await open(`/?position=${encodeURIComponent(moves)}`);
    await page.waitForSelector('#view section.network');
    expectEqual(await page.locator('#view tr[data-term="value"] td').first().textContent(), String(expected.value * 32), 'value');
    if (await page.locator('#view tr[data-term="KKP"]').count()) throw new Error('a KKP row under a network');
    const top = expected.features[0];
    expectEqual(await text('#view section[data-ranking="features"] figure.card code'), `[${top.king}]-[${top.piece}]`, 'top input');
    expectEqual(await page.locator('#view section[data-ranking="features"] tbody tr').count(), expected.features.length, 'inputs listed');
    await expectReadable();
    await shot('explorer-network-position');
    await open('/?corpus');
    await page.waitForSelector('#view section[data-ranking="feature-use"] figure.card', { timeout: 120000 });
    const activations = cli('--fv=nn.bin', '--corpus=corpus', '--activations').activations;
    const dead = activations.dead.transformer;
    expectEqual(await text('#view section[data-section="activations"] tr[data-layer="transformer"] td.name'),
      dead.length ? dead.join(' ') : 'none', 'dead transformer neurons');
    expectEqual(await page.locator('#view section[data-section="activations"] img').count(), 4, 'activation pictures');
    await shot('explorer-network-corpus');
  });
  await check('a network: its census, a king\'s map of one neuron and where a piece is worth most', async () => {
    await open('/?census');
    await page.waitForSelector('#view .census svg.grid');
    await page.locator('#view .census svg.grid').first().locator('rect[data-s="76"]').click();
    await page.waitForSelector('#view h1:has-text("Map of +59OU")');
    await page.fill('#view input[aria-label=neuron]', '5');
    await page.click('#view button:has-text("Show")');
    await page.waitForSelector('#view h1:has-text("neuron 5")');
    const map = cli('--fv=nn.bin', '--map=+59OU', '--neuron=5').map;
    expectEqual(await page.locator('#view table.hands tr').first().locator('button').allTextContents(),
      map.hands[0].values.map(String), 'first hand row');
    await open('/?position=startpos&pv=7g7f');
    await page.fill('#view .worth input', '-82HI');
    await page.click('#view .worth button');
    await page.waitForSelector('#view h1:has-text("Where -82HI")');
    const best = cli('--fv=nn.bin', '--position=startpos', '--pv=7g7f', '--squares=-82HI').squares.squares[0];
    expectEqual((await page.locator('#view ol li').first().textContent()).split(' (')[0], `${best.square}: ${best.value}`, 'best square');
    await expectReadable();
    await shot('explorer-network-squares');
  });
  await page.goto('about:blank');
  await networked.stop();
}

// A KPPT set (the one ctest's fixture makes, else one made here): the
// position view's terms part by part, the tally and the ranking's parts; a
// piece's map and a term's parts; where a piece is worth most; a game; and
// a second set of the layout compared.
const makeSampleKppt = path.join(path.dirname(makeSampleFv), 'make_sample_kppt');
let kpptSet = rest.find((a) => a.startsWith('--kppt='))?.slice(7);
if (!given && fs.existsSync(makeSampleKppt) && !(kpptSet && fs.existsSync(path.join(kpptSet, 'KPP_synthesized.bin')))) {
  kpptSet = path.join(work, 'kppt-set');
  execFileSync(makeSampleKppt, [kpptSet, '7', 'kppt32']);
}
const kppted = given || !kpptSet ? null : await startServer([`--fv=${kpptSet}`]);
if (kppted) {
  base = kppted.address;
  const signedText = (n) => (n > 0 ? '+' : '') + n;
  await check('a KPPT set: the header names its layout and identity; a position shows its terms part by part, the tally and the ranking\'s parts', async () => {
    const expected = cli(`--position=${moves}`, '--pieces', `--fv=${kpptSet}`);
    const k = expected.kppt;
    await open(`/?position=${encodeURIComponent(moves)}`);
    await page.waitForSelector('#view section.kppt');
    expectEqual(await text('#files'), `${kpptSet} (${k.layout}, identity ${k.identity})`, 'files');
    expectEqual(await text(valueCell), points(expected.value * 32), 'value');
    for (const field of ['kk', 'kkp', 'kpp_black', 'kpp_white', 'material', 'total']) {
      const t = k[field];
      expectEqual(await page.locator(`#view tr[data-kppt="${field}"] td`).allTextContents(),
        [String(t.board), String(t.turn), String(t.sum), points(t.sum), t.sum > 0 ? 'black' : t.sum < 0 ? 'white' : 'neither'], field);
    }
    for (const side of ['black', 'white']) {
      const t = expected.tally[side];
      expectEqual(await text(`#view [data-tally="${side}"] h3`), `Terms favouring ${side}: ${t.count}, ${Math.trunc(t.sum / 32)} points in all`, `${side}'s tally`);
      expectEqual(await page.locator(`#view [data-tally="${side}"] tbody td:last-child`).allTextContents(), t.histogram.map(String), `${side}'s histogram`);
    }
    const rows = page.locator('#view table.ranking tbody tr');
    expectEqual(await rows.count(), expected.ranking.length, 'ranked rows');
    const top = expected.ranking[0];
    expectEqual(await page.locator('#view table.ranking thead th').allTextContents(),
      ['rank', 'value', 'points', 'board', 'turn', 'king', 'first piece', 'second piece'], 'ranking columns');
    expectEqual(await rows.first().locator('td').allTextContents(),
      ['1', String(top.value), points(top.value), String(top.board), String(top.turn), top.king, top.a, top.b], 'first rank');
    const share = expected.pieces.find((p) => !p.cell.endsWith('*'));
    expectEqual((await text(`#view g[data-cell="${share.cell}"] text.figure`)).trim(), points(share.share), `share of ${share.cell}`);
    await expectReadable();
    await shot('explorer-kppt-position');
  });

  await check('a KPPT set: a piece opens its map, an entry of it the term with both parts; a card\'s term agrees with its rank', async () => {
    await open(`/?position=${encodeURIComponent(moves)}`);
    await page.waitForSelector('#view svg.board');
    const leaf = parseSfen(await text('#view .sfen code'));
    const king = kingOf(leaf, '+');
    await page.locator('#view g[data-cell="+28HI"]').click();
    await page.waitForFunction((t) => document.querySelector('#view h1')?.textContent === t, `Map of ${king} and +28HI (KPPT KPP, board part)`);
    await shown();
    const board = cli(`--fv=${kpptSet}`, `--map=${king}:+28HI`).map;
    const turn = cli(`--fv=${kpptSet}`, `--map=${king}:+28HI`, '--part=turn').map;
    expectEqual(await page.locator('#view table.hands tr').first().locator('button').allTextContents(), board.hands[0].values.map((v) => (v === null ? '' : String(v))), 'first hand row');
    // The black pawn on 57 (grid +FU, square index 58 as the grids number them).
    const g = board.grids.findIndex((x) => x.piece === '+FU');
    await page.locator('#view svg.grid[data-piece="+FU"] rect[data-s="58"]').click();
    await page.waitForFunction(() => /^Term /.test(document.querySelector('#view h1')?.textContent || ''));
    await shown();
    expectEqual(await text('#view h1'), `Term [${king}]-[+28HI]-[+57FU]`, 'term');
    expectEqual(await text('#view .term-value'),
      `board ${board.grids[g].values[58]} (table units, as it favours black), turn ${turn.grids[g].values[58]} (a bonus to the side to move)`, 'term parts');
    await page.click('#view button:has-text("Show the turn part")');
    await page.waitForFunction(() => /turn part$/.test(document.querySelector('#view h2')?.textContent || ''));
    // A card of the position: the map's parts are the rank's, the board part
    // signed as it favours black (a white king's subtracted).
    await open(`/?position=${encodeURIComponent(moves)}`);
    const expected = cli(`--position=${moves}`, `--fv=${kpptSet}`).ranking;
    const n = expected.findIndex((e) => !e.a.endsWith('*') && !e.b.endsWith('*'));
    await page.locator(`#view figure.card[data-rank="${n + 1}"]`).click();
    await page.waitForFunction(() => /^Term /.test(document.querySelector('#view h1')?.textContent || ''));
    await shown();
    const e = expected[n];
    const sign = e.king.startsWith('+') ? 1 : -1;
    expectEqual(await text('#view .term-value'),
      `board ${sign * e.board} (table units, as it favours black), turn ${e.turn} (a bonus to the side to move)`, `term of rank ${n + 1}`);
    await page.waitForFunction(() => { const i = document.querySelector('#view .term-picture img'); return i && i.complete && i.naturalWidth > 0; });
    await expectReadable();
    await shot('explorer-kppt-term');
  });

  await check('a KPPT set: where a piece is worth most, and a game\'s values', async () => {
    await open('/?position=startpos&pv=7g7f');
    await page.fill('#view .worth input', '-82HI');
    await page.click('#view .worth button');
    await page.waitForSelector('#view h1:has-text("Where -82HI")');
    const squares = cli(`--fv=${kpptSet}`, '--position=startpos', '--pv=7g7f', '--squares=-82HI').squares;
    expectEqual(await page.locator('#view ol li').allTextContents(),
      squares.squares.slice(0, 10).map((s) => `${s.square}: ${s.value} (${signedText(s.change)})`), 'best squares');
    await shot('explorer-kppt-squares');
    const game = cli('--game=even.kif', `--fv=${kpptSet}`);
    await page.fill('#input-text', fs.readFileSync(path.join(work, 'even.kif'), 'utf8'));
    await page.click('#input-form button[type=submit]');
    await page.waitForSelector('ol.moves button[aria-current="step"][data-ply="0"]');
    await shown();
    expectEqual(await page.locator('ol.moves button .num').allTextContents(), game.plies.map((p) => ` ${signedText(p.value)}`), 'values per ply');
    await page.locator('ol.moves button[data-ply="3"]').click();
    await page.waitForFunction(() => /After ply 3/.test(document.querySelector('#view h1')?.textContent || ''));
    await page.waitForSelector('#view section.kppt');
    expectEqual(await text(valueCell), points(game.plies[3].value * 32), 'value at ply 3');
  });
  await page.goto('about:blank');
  await kppted.stop();

  // A second set of the same layout: its values and the ranking of changes.
  const secondSet = path.join(work, 'kppt-set2');
  execFileSync(makeSampleKppt, [secondSet, '8', 'kppt32']);
  const kpptCompared = await startServer([`--fv=${kpptSet}`, `--compare=${secondSet}`]);
  base = kpptCompared.address;
  await check('two KPPT sets: before, after and the change, the first set\'s terms and the ranking of changes', async () => {
    const expected = cli(`--position=${moves}`, '--pieces', `--fv=${kpptSet}`, `--compare=${secondSet}`);
    const c = expected.compare;
    await open(`/?position=${encodeURIComponent(moves)}`);
    await page.waitForSelector('#view section.kppt');
    const change = (c.value[1] - expected.value) * 32;
    expectEqual(await page.locator('#view tr[data-term="value"] td').allTextContents(),
      [String(expected.value * 32), String(c.value[1] * 32), signedText(change), points(change), change > 0 ? 'black' : change < 0 ? 'white' : 'neither'], 'value row');
    expectEqual(await page.locator('#view tr[data-kppt="total"] td').first().textContent(), String(expected.kppt.total.board), 'first set\'s total board part');
    const top = c.ranking[0];
    expectEqual(await text('#view figure.card code'), `[${top.king}]-[${top.a}]-[${top.b}]`, 'top change');
    expectEqual(await page.locator('#view table.ranking tbody tr').first().locator('td').allTextContents(),
      ['1', String(top.change), String(top.before), String(top.after), points(top.change), top.king, top.a, top.b], 'first change');
    await expectReadable();
    await shot('explorer-kppt-compare');
  });
  await page.goto('about:blank');
  await kpptCompared.stop();
}

await browser.close();
fs.rmSync(work, { recursive: true, force: true });
if (problems.length) {
  failures.push('console errors and failed loads');
  console.log('FAIL no console error and no failed load:\n  ' + problems.join('\n  '));
}
console.log(failures.length ? `${failures.length} failed` : `every check passed; screenshots in ${shots}`);
process.exit(failures.length ? 1 : 0);
