// A position: the board with each piece's share, the breakdown, the PV, the
// top terms as cards and the whole ranking.
import { el, points, favours, signed } from './dom.js';
import { ask, query, hasEngine } from './api.js';
import { drawBoard } from './board.js';
import { parseSfen, kingOf, parseCell } from './shogi.js';
import { rankingSection, termParams } from './ranking.js';
import { networkSection, featuresSection } from './network.js';
import { kpptSection, tallySection } from './kppt.js';

export const name = 'position';
let flipped = false;

export async function show(ctx) {
  const p = ctx.params;
  const asked = {
    position: p.get('position') || 'startpos', ply: p.get('ply'), pv: p.get('pv'), sort: p.get('sort'),
    pieces: '1', usi: p.get('usi') === '1' ? '1' : null,
  };
  const r = await ask('/api/position' + query(asked));
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  const leaf = parseSfen(d.leaf.sfen);
  if (!leaf) return ctx.refuse('the answer\'s position cannot be read');
  const compared = !!d.compare;
  // Each piece's share, or its change under the second file.
  const figures = new Map();
  let limit = 1;
  for (const piece of d.pieces || []) {
    const value = compared ? piece.change : piece.share;
    figures.set(piece.cell, { value, text: points(value) });
    limit = Math.max(limit, Math.abs(value));
  }
  // A network has no table to map: its pieces open nothing.
  const network = d.network || null;
  const onPiece = network ? null : (cell, piece) => {
    const king = kingOf(leaf, piece.side);
    if (!king) return;
    const target = piece.kind === 'OU' ? kingOf(leaf, piece.side === '+' ? '-' : '+')
      : parseCell(cell).hand ? `${cell}${piece.count}` : cell;
    if (target) ctx.go({ map: `${king}:${target}` });
  };
  const boardBox = el('div', { class: 'board-box' });
  const drawLeaf = () => boardBox.replaceChildren(drawBoard(leaf, {
    flipped, figures, limit, onPiece, title: 'the position analysed',
  }));
  drawLeaf();
  const withCount = (name) => {
    const c = parseCell(name);
    return c && c.hand && c.count === null ? `${name}${leaf.hands[c.side][c.kind] || 0}` : name;
  };
  const onTerm = (e) => ctx.go(termParams({ ...e, a: withCount(e.a), b: withCount(e.b) }));
  const ranking = compared ? d.compare.ranking || null : d.ranking || null;
  const engine = hasEngine(ctx.info);
  const heading = asked.usi ? 'The engine\'s leaf' : d.pv.length ? 'The leaf of the PV' : asked.ply !== null ? `After ply ${asked.ply}` : 'Position';
  ctx.draw(
    el('h1', {}, heading),
    el('div', { class: 'position' },
      el('div', {},
        el('div', { class: 'tools' },
          el('button', { type: 'button', onclick: () => { flipped = !flipped; drawLeaf(); } }, 'Flip the board'),
          engine ? el('button', { type: 'button', class: 'engine', onclick: () => {
            const next = new URLSearchParams(p);
            next.delete('pv');
            next.set('usi', '1');
            ctx.go(next);
          } }, 'Let the engine search') : null),
        boardBox,
        network
          ? el('p', { class: 'meta' }, 'Each piece shows its share in points: the value less the value without its inputs', compared ? ' (the change under the second file)' : '',
            '; a network\'s shares need not add up to its value.')
          : el('p', { class: 'meta' }, 'Each piece shows its share of KKP + KPP in points', compared ? ' (the change under the second file)' : '',
            '; a click on a piece opens the map of its king and it.'),
        el('p', { class: 'meta sfen' }, 'SFEN ', el('code', {}, d.leaf.sfen)),
        worthForm(ctx, d.leaf.sfen)),
      el('div', {}, breakdown(d), network ? networkSection(network) : null,
        d.kppt ? kpptSection(d.kppt) : null, pv(d), warnings(d))),
    network && !compared ? featuresSection(d.features || []) : null,
    d.kppt && d.tally ? tallySection(d.tally) : null,
    ranking && rankingSection(ranking, { onTerm, title: compared ? 'Ranking of changes' : 'Ranking of terms', sort: asked.sort, onSort: (mode) => {
      const next = new URLSearchParams(p);
      next.set('sort', mode);
      ctx.go(next);
    } }));
}

function breakdown(d) {
  const c = d.compare;
  // A network has no KKP or KPP sums, and a comparison with one shows neither.
  const terms = typeof d.kkp === 'number' && (!c || Array.isArray(c.kkp));
  const rows = [['material', d.material * 32], ...(terms ? [['KKP', d.kkp], ['KPP', d.kpp]] : []), ['value', d.value * 32]];
  const after = c ? { material: c.material[1] * 32, KKP: terms ? c.kkp[1] : 0, KPP: terms ? c.kpp[1] : 0, value: c.value[1] * 32 } : null;
  const head = c ? ['', 'before', 'after', 'change', 'points', 'change favours'] : ['', 'table units', 'points', 'favours'];
  return el('section', { class: 'breakdown' }, el('h2', {}, 'Breakdown'),
    el('table', {}, el('thead', {}, el('tr', {}, head.map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, rows.map(([label, units]) => {
        const change = c ? after[label] - units : units;
        return el('tr', { 'data-term': label },
          el('th', { scope: 'row' }, label),
          el('td', { class: 'num' }, String(units)),
          c ? el('td', { class: 'num' }, String(after[label])) : null,
          c ? el('td', { class: 'num ' + favours(change) }, signed(change)) : null,
          el('td', { class: 'num ' + favours(change), 'data-points': label }, points(change)),
          el('td', { class: favours(change) }, favours(change)));
      }))),
    el('p', { class: 'meta' }, '32 table units make a point; positive favours black.'));
}

// Asks where a piece of the leaf (+58KI, a held kind +KI*) is worth most.
function worthForm(ctx, sfen) {
  const box = el('input', { type: 'text', size: 7, placeholder: '+58KI', 'aria-label': 'piece' });
  const go = () => { if (box.value) ctx.go({ squares: box.value.trim(), position: `sfen ${sfen}` }); };
  box.addEventListener('keydown', (e) => { if (e.key === 'Enter') go(); });
  return el('p', { class: 'worth' }, 'Piece ', box, ' ', el('button', { type: 'button', onclick: go }, 'Where is it worth most'));
}

function pv(d) {
  if (!d.pv.length) return null;
  return el('section', {}, el('h2', {}, 'Principal variation'),
    el('ol', { class: 'pv' }, d.pv.map((m) => el('li', { class: m.side }, el('code', {}, m.csa), ' ', el('code', {}, m.usi)))),
    el('p', { class: 'meta sfen' }, 'from ', el('code', {}, d.input.sfen)));
}

function warnings(d) {
  if (!d.warnings || !d.warnings.length) return null;
  return el('div', { class: 'warnings' }, el('p', {}, 'Warnings:'), el('ul', {}, d.warnings.map((w) => el('li', {}, w))));
}
