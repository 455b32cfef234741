// Where a piece is worth most: the leaf's value with the piece on each square
// it can stand on, as a board of changes (black's view) and the best squares.
import { el, diverging, inkOn, signed } from './dom.js';
import { ask, query } from './api.js';
import { squareGrid } from './grid.js';
import { parseCell, squareName, squareOf } from './shogi.js';

export const name = 'squares';
export const tab = 'position';  // shown under the Position link

export async function show(ctx) {
  const p = ctx.params;
  const asked = { position: p.get('position') || 'startpos', pv: p.get('pv'), piece: p.get('squares') };
  const r = await ask('/api/squares' + query(asked));
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  const q = d.squares;
  const change = new Map();
  let limit = 1;
  for (const e of q.squares) {
    const s = squareOf(+e.square[0], +e.square[1]);
    change.set(s, e.change);
    limit = Math.max(limit, Math.abs(e.change));
  }
  const own = parseCell(q.piece);
  const letters = new Map();
  if (own && !own.hand) letters.set(own.square, 'P');
  const readout = el('p', { class: 'readout', role: 'status', 'aria-live': 'polite' }, 'Point at a square to read the value with the piece there.');
  const grid = squareGrid({
    cell: 42, label: `${q.piece} on each square`, letters,
    fill: (s) => (change.has(s) ? diverging(change.get(s), limit) : '#bbb'),
    ink: (s) => (change.has(s) ? inkOn(change.get(s), limit) : '#222'),
    text: (s) => (change.has(s) ? signed(change.get(s)) : null),
    onPoint: (s) => {
      readout.textContent = change.has(s) ? `${q.piece} on ${squareName(s)}: ${q.value + change.get(s)} (${signed(change.get(s))})`
        : `${squareName(s)}: the piece cannot stand there`;
    },
  });
  ctx.draw(el('h1', {}, `Where ${q.piece} is worth most`),
    el('p', { class: 'meta' }, `The leaf's value is ${q.value} (${d.to_move} to move); each square shows the value with the piece there minus it, from black's view (blue favours black). P is the piece's own square; grey squares it cannot stand on.`),
    el('figure', { class: 'census-map' }, grid, el('figcaption', {}, `${q.piece}: change on each square`)),
    readout,
    el('h2', {}, 'The best squares for its side'),
    el('ol', {}, q.squares.slice(0, 10).map((e) => el('li', {}, `${e.square}: ${e.value} (${signed(e.change)})`))),
    el('p', {}, el('a', { href: '#', onclick: (ev) => { ev.preventDefault(); ctx.go({ position: asked.position, ...(asked.pv ? { pv: asked.pv } : {}) }); } }, 'Back to the position')));
}
