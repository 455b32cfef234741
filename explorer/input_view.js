// The input: the box for a position or a record, the file chooser and drop
// area, the message of a refused input; with a game, its move list and the
// value chart, and the keys that step through it.
import { el, svg, signed } from './dom.js';
import { ask } from './api.js';
import { gameAsUsi } from './shogi.js';

const box = () => document.getElementById('input-text');
const errorLine = () => document.getElementById('input-error');
const strip = () => document.getElementById('game');
const games = new Map();   // a game's USI text -> its /api/game answer, the latest last
const keptGames = 8;       // answers kept: the oldest goes first
let page = null;           // {go, refuse}
let shown = null;          // {params, plies} of the game on screen

// Keeps a game's answer, dropping the oldest beyond keptGames.
function keepGame(text, game) {
  games.delete(text);
  games.set(text, game);
  while (games.size > keptGames) games.delete(games.keys().next().value);
}

export function showError(message) {
  errorLine().textContent = message;
  errorLine().hidden = false;
}

export function clearError() {
  errorLine().textContent = '';
  errorLine().hidden = true;
}

// The USI position text an input means when it is one ("startpos ...",
// "sfen ...", "position ...", a bare SFEN), else null: a record.
function usiText(text) {
  let t = text.trim().replace(/\s+/g, ' ');
  if (t.startsWith('position ')) t = t.slice(9);
  if (t === 'startpos' || t.startsWith('startpos ') || t.startsWith('sfen ')) return t;
  if (/^[1-9+a-zA-Z]+(\/[1-9+a-zA-Z]+){8} [bw] /.test(t + ' ')) return 'sfen ' + t;
  return null;
}

// Shows what the box or a file holds: a position goes to its address; a record
// is read by the server as a game and shown from its start. A file's refusal
// names the file.
async function submit(body, fileName = null) {
  clearError();
  const usi = typeof body === 'string' ? usiText(body) : null;
  if (usi) return page.go({ position: usi });
  const current = page.loading();
  const r = await ask('/api/game', body);
  if (!current()) return;  // the user has moved on: that view stays
  const named = (why) => (fileName ? `${fileName}: ${why}` : why);
  if (r.status === 413) return page.refuse(named('larger than the server takes'));
  if (!r.ok) return page.refuse(named(r.error));
  const text = gameAsUsi(r.data.plies);
  if (!text) return page.refuse(named('the record\'s moves cannot be written as USI moves'));
  keepGame(text, r.data);
  page.go({ position: text, ply: '0' });
}

// Reads a chosen or dropped file and shows it; a file that cannot be read or
// is not text is named beside the box with the reason.
async function openFile(file) {
  let bytes;
  try {
    bytes = await file.arrayBuffer();
  } catch (e) {
    return showError(`${file.name}: cannot be read (${(e && (e.message || e.name)) || 'unknown error'})`);
  }
  if (new Uint8Array(bytes).includes(0)) return showError(`${file.name}: not a text file`);
  return submit(bytes, file.name);
}

export function init(handlers) {
  page = handlers;
  document.getElementById('input-form').addEventListener('submit', (e) => {
    e.preventDefault();
    if (box().value.trim()) submit(box().value);
  });
  const chooser = document.getElementById('input-file');
  chooser.addEventListener('change', () => {
    const file = chooser.files[0];
    chooser.value = '';
    if (file) openFile(file);
  });
  const drop = document.getElementById('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const file = e.dataTransfer.files[0];
    if (file) openFile(file);
    else if (e.dataTransfer.getData('text/plain')) submit(e.dataTransfer.getData('text/plain'));
  });
  document.addEventListener('keydown', (e) => {
    if (!shown || e.altKey || e.ctrlKey || e.metaKey) return;
    if (e.target.closest && e.target.closest('input, textarea, select')) return;
    const last = shown.plies.length - 1;
    const ply = currentPly();
    const to = { ArrowLeft: ply - 1, ArrowRight: ply + 1, Home: 0, End: last }[e.key];
    if (to === undefined) return;
    e.preventDefault();
    if (to >= 0 && to <= last && to !== ply) toPly(to);
  });
}

function currentPly() {
  const last = shown.plies.length - 1;
  const p = shown.params.get('ply');
  return p === null || !/^\d+$/.test(p) ? last : Math.min(+p, last);
}

function toPly(ply) {
  const params = new URLSearchParams(shown.params);
  params.set('ply', String(ply));
  shown.params = params;  // keys pressed before the view is drawn step on from here
  page.go(params);
}

// Called for every view: the box shows the position asked for, and the game
// strip the game it belongs to (or nothing).
export async function update(ctx) {
  const text = ctx.params.get('position');
  if (text !== null && document.activeElement !== box()) box().value = text;
  const isPosition = !['map', 'term', 'scan', 'census', 'corpus', 'squares'].some((k) => ctx.params.has(k));
  if (!isPosition || !text || !/ moves /.test(' ' + text + ' ')) {
    shown = null;
    strip().replaceChildren();
    return;
  }
  let game = games.get(text);
  if (!game) {
    shown = null;
    strip().replaceChildren();
    const r = await ask('/api/game', text);
    if (!ctx.current()) return;
    if (!r.ok) { shown = null; strip().replaceChildren(); return; }
    game = r.data;
    keepGame(text, game);
  }
  if (!ctx.current()) return;
  shown = { params: ctx.params, plies: game.plies };
  drawStrip();
}

// A ply's value (and, under two files, the second's and the change) as text.
function plyFigures(p) {
  const c = p.compare;
  return c ? ` ${signed(p.value)} → ${signed(c.value)} (${signed(c.change)})` : ` ${signed(p.value)}`;
}

function drawStrip() {
  const ply = currentPly();
  const compared = shown.plies.some((p) => p.compare);
  const list = el('ol', { class: 'moves', start: 0, 'aria-label': 'moves' },
    shown.plies.map((p) => el('li', {},
      el('button', {
        type: 'button', class: p.ply === ply ? 'current' : null, 'aria-current': p.ply === ply ? 'step' : null,
        'data-ply': p.ply, onclick: () => toPly(p.ply),
      }, p.move === null ? 'start' : `${p.ply}. ${p.move}`, el('span', { class: 'num' }, plyFigures(p))))));
  const caption = compared
    ? `Value per ply in points under the first file (blue) and the second (red, dashed), and the change (green); black better upward; ply ${ply} of ${shown.plies.length - 1}. A click opens a ply; ← → step, Home and End jump.`
    : `Value per ply in points, black better upward; ply ${ply} of ${shown.plies.length - 1}. ← → step, Home and End jump.`;
  strip().replaceChildren(
    el('div', { class: 'game' },
      el('figure', { class: 'chart' }, chart(shown.plies, ply, compared), el('figcaption', {}, caption)),
      list));
  // The current ply in view, scrolling the list only (never the page).
  const current = list.querySelector('.current');
  if (current) {
    const top = current.offsetTop, bottom = top + current.offsetHeight;
    if (top < list.scrollTop || bottom > list.scrollTop + list.clientHeight) {
      list.scrollTop = Math.max(0, top - (list.clientHeight - current.offsetHeight) / 2);
    }
  }
}

// The value of every ply as a line (under two files both, the second
// dashed, and the change in a panel below); a click picks the nearest ply.
function chart(plies, ply, compared) {
  const W = 720, L = 48, R = 12, T = 12, B = 26, PANEL = 176, GAP = 22, CHANGE = 110;
  const H = T + PANEL + (compared ? GAP + CHANGE : 0) + B;
  const values = plies.map((p) => p.value);
  const seconds = compared ? plies.map((p) => (p.compare ? p.compare.value : p.value)) : [];
  const changes = compared ? plies.map((p) => (p.compare ? p.compare.change : 0)) : [];
  const top = Math.max(100, ...values.map(Math.abs), ...seconds.map(Math.abs));
  const most = Math.max(10, ...changes.map(Math.abs));
  const x = (i) => L + (plies.length > 1 ? (i * (W - L - R)) / (plies.length - 1) : 0);
  const y = (v) => T + ((top - v) * PANEL) / (2 * top);
  const c0 = T + PANEL + GAP;  // the change panel's top
  const cy = (v) => c0 + ((most - v) * CHANGE) / (2 * most);
  const line = (list, at, attrs) => svg('polyline', { points: list.map((v, i) => `${x(i)},${at(v)}`).join(' '), fill: 'none', 'stroke-width': 2, ...attrs });
  const label = (yy, text) => svg('text', { x: L - 4, y: yy + 4, 'text-anchor': 'end', class: 'axis' }, text);
  const bottom = compared ? c0 + CHANGE : T + PANEL;
  const root = svg('svg', { viewBox: `0 0 ${W} ${H}`, width: W, height: H, class: 'value-chart', role: 'img', 'aria-label': compared ? 'value chart under both files, and the change' : 'value chart' },
    svg('rect', { x: L, y: T, width: W - L - R, height: PANEL, fill: '#fafafa', stroke: '#ccc' }),
    svg('line', { x1: L, x2: W - R, y1: y(0), y2: y(0), stroke: '#999' }),
    label(T + 6, `+${top}`), label(y(0), '0'), label(T + PANEL - 4, `-${top}`),
    svg('text', { x: W - R, y: H - 6, 'text-anchor': 'end', class: 'axis' }, `ply ${plies.length - 1}`),
    svg('line', { x1: x(ply), x2: x(ply), y1: T, y2: bottom, stroke: '#e0a000', 'stroke-width': 3, class: 'at' }),
    line(values, y, { stroke: '#1546c0', class: 'first' }),
    compared ? line(seconds, y, { stroke: '#c0281e', 'stroke-dasharray': '6 4', class: 'second' }) : null,
    svg('circle', { cx: x(ply), cy: y(values[ply]), r: 5, fill: '#e0a000' }));
  if (compared) {
    root.append(
      svg('rect', { x: L, y: c0, width: W - L - R, height: CHANGE, fill: '#fafafa', stroke: '#ccc', class: 'change-panel' }),
      svg('line', { x1: L, x2: W - R, y1: cy(0), y2: cy(0), stroke: '#999' }),
      label(c0 + 6, `+${most}`), label(cy(0), '0'), label(c0 + CHANGE - 4, `-${most}`),
      svg('text', { x: L, y: c0 - 6, class: 'axis' }, 'change (second less first)'),
      line(changes, cy, { stroke: '#2a8a2a', class: 'change' }),
      svg('circle', { cx: x(ply), cy: cy(changes[ply]), r: 4, fill: '#e0a000' }));
  }
  root.addEventListener('click', (e) => {
    const box = root.getBoundingClientRect();
    const at = ((e.clientX - box.left) * W) / box.width;
    const i = Math.round(((at - L) * (plies.length - 1)) / (W - L - R));
    toPly(Math.max(0, Math.min(plies.length - 1, i)));
  });
  return root;
}
