// The input: the box for a position or a record, the file chooser and drop
// area, the message of a refused input; with a game, its move list and the
// value chart, and the keys that step through it.
import { el, svg } from './dom.js';
import { ask, comparing } from './api.js';
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
export function usiText(text) {
  let t = text.trim().replace(/\s+/g, ' ');
  if (t.startsWith('position ')) t = t.slice(9);
  if (t === 'startpos' || t.startsWith('startpos ') || t.startsWith('sfen ')) return t;
  if (/^[1-9+a-zA-Z]+(\/[1-9+a-zA-Z]+){8} [bw] /.test(t + ' ')) return 'sfen ' + t;
  return null;
}

// Shows what the box or a file holds: a position goes to its address; a record
// is read by the server as a game and shown from its start.
async function submit(body) {
  clearError();
  const usi = typeof body === 'string' ? usiText(body) : null;
  if (usi) return page.go({ position: usi });
  page.loading();
  const r = await ask('/api/game', body);
  if (!r.ok) return page.refuse(r.error);
  const text = gameAsUsi(r.data.plies);
  if (!text) return page.refuse('the record\'s moves cannot be written as USI moves');
  keepGame(text, r.data);
  page.go({ position: text, ply: '0' });
}

export function init(handlers) {
  page = handlers;
  document.getElementById('input-form').addEventListener('submit', (e) => {
    e.preventDefault();
    if (box().value.trim()) submit(box().value);
  });
  const chooser = document.getElementById('input-file');
  chooser.addEventListener('change', async () => {
    if (chooser.files.length) submit(await chooser.files[0].arrayBuffer());
    chooser.value = '';
  });
  const drop = document.getElementById('drop');
  drop.addEventListener('dragover', (e) => { e.preventDefault(); drop.classList.add('over'); });
  drop.addEventListener('dragleave', () => drop.classList.remove('over'));
  drop.addEventListener('drop', async (e) => {
    e.preventDefault();
    drop.classList.remove('over');
    const file = e.dataTransfer.files[0];
    if (file) submit(await file.arrayBuffer());
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
  const isPosition = !['map', 'term', 'scan', 'census', 'corpus'].some((k) => ctx.params.has(k));
  // A game's values are of one file: with a second one the server has no game to give.
  if (!isPosition || !text || !/ moves /.test(' ' + text + ' ') || comparing(ctx.info)) {
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

function drawStrip() {
  const ply = currentPly();
  const list = el('ol', { class: 'moves', start: 0, 'aria-label': 'moves' },
    shown.plies.map((p) => el('li', {},
      el('button', {
        type: 'button', class: p.ply === ply ? 'current' : null, 'aria-current': p.ply === ply ? 'step' : null,
        'data-ply': p.ply, onclick: () => toPly(p.ply),
      }, p.move === null ? 'start' : `${p.ply}. ${p.move}`, el('span', { class: 'num' }, ` ${p.value > 0 ? '+' : ''}${p.value}`)))));
  strip().replaceChildren(
    el('div', { class: 'game' },
      el('figure', { class: 'chart' }, chart(shown.plies, ply),
        el('figcaption', {}, `Value per ply in points, black better upward; ply ${ply} of ${shown.plies.length - 1}. ← → step, Home and End jump.`)),
      list));
  const current = list.querySelector('.current');
  if (current) current.scrollIntoView({ block: 'nearest', inline: 'nearest' });
}

// The value of every ply as a line; a click picks the nearest ply.
function chart(plies, ply) {
  const W = 720, H = 200, L = 48, R = 12, T = 12, B = 26;
  const values = plies.map((p) => p.value);
  const top = Math.max(100, ...values.map(Math.abs));
  const x = (i) => L + (plies.length > 1 ? (i * (W - L - R)) / (plies.length - 1) : 0);
  const y = (v) => T + ((top - v) * (H - T - B)) / (2 * top);
  const root = svg('svg', { viewBox: `0 0 ${W} ${H}`, width: W, height: H, class: 'value-chart', role: 'img', 'aria-label': 'value chart' },
    svg('rect', { x: L, y: T, width: W - L - R, height: H - T - B, fill: '#fafafa', stroke: '#ccc' }),
    svg('line', { x1: L, x2: W - R, y1: y(0), y2: y(0), stroke: '#999' }),
    svg('text', { x: L - 4, y: T + 10, 'text-anchor': 'end', class: 'axis' }, `+${top}`),
    svg('text', { x: L - 4, y: y(0) + 4, 'text-anchor': 'end', class: 'axis' }, '0'),
    svg('text', { x: L - 4, y: H - B, 'text-anchor': 'end', class: 'axis' }, `-${top}`),
    svg('text', { x: W - R, y: H - 6, 'text-anchor': 'end', class: 'axis' }, `ply ${plies.length - 1}`),
    svg('line', { x1: x(ply), x2: x(ply), y1: T, y2: H - B, stroke: '#e0a000', 'stroke-width': 3, class: 'at' }),
    svg('polyline', { points: values.map((v, i) => `${x(i)},${y(v)}`).join(' '), fill: 'none', stroke: '#1546c0', 'stroke-width': 2 }),
    svg('circle', { cx: x(ply), cy: y(values[ply]), r: 5, fill: '#e0a000' }));
  root.addEventListener('click', (e) => {
    const box = root.getBoundingClientRect();
    const at = ((e.clientX - box.left) * W) / box.width;
    const i = Math.round(((at - L) * (plies.length - 1)) / (W - L - R));
    toPly(Math.max(0, Math.min(plies.length - 1, i)));
  });
  return root;
}
