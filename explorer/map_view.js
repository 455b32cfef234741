// A map of the table: the values of one king and piece with every feature, a
// small board per piece kind and a row per hand kind. Hovering a square shows
// its value; a click (or Enter) opens the term of that third entry.
import { el, diverging, signed } from './dom.js';
import { squareGrid } from './grid.js';
import { ask, query } from './api.js';
import { fileOf, rankOf, parseCell, squareName } from './shogi.js';

export const name = 'map';

export async function show(ctx) {
  const words = ctx.params.get('map') || '';
  const [king, piece] = splitMapWords(words);
  const neuron = ctx.params.get('neuron');
  const part = ctx.params.get('part');
  const r = await ask('/api/map' + query({ king, piece, neuron, part }));
  if (!r.ok) return ctx.refuse(r.error);
  const m = r.data.map;
  if (m.kppt) {
    // A KPPT set's map shows one part; a button shows the other.
    const other = m.part === 'turn' ? 'board' : 'turn';
    return ctx.draw(el('h1', {}, `Map of ${m.king} and ${m.piece} (KPPT ${m.table.toUpperCase()}, ${m.part} part)`),
      el('p', {}, m.kk ? `KK of both kings: board ${m.kk.board}, turn ${m.kk.turn}. ` : '',
        el('button', { type: 'button', onclick: () => ctx.go({ map: words, part: other }) }, `Show the ${other} part`)),
      mapFigure(r.data, { onEntry: (entry) => ctx.go({ term: `${m.king}:${m.piece}:${entry}`, part: m.part }) }));
  }
  if (m.network) {
    // A network's map: a box picks the neuron, empty for the magnitudes.
    const box = el('input', { type: 'number', min: 0, step: 1, value: m.neuron ?? '', 'aria-label': 'neuron' });
    const pick = () => ctx.go(box.value === '' ? { map: m.king } : { map: m.king, neuron: box.value });
    return ctx.draw(el('h1', {}, `Map of ${m.king} in the network: ` +
        (m.neuron === null ? 'the magnitude of each feature\'s weights' : `neuron ${m.neuron}'s weights`)),
      el('p', {}, el('label', {}, 'Neuron ', box), ' ', el('button', { type: 'button', onclick: pick }, 'Show'),
        el('span', { class: 'meta' }, ' (empty: the root of the sum of each feature\'s squared weights)')),
      mapFigure(r.data, {}));
  }
  ctx.draw(el('h1', {}, `Map of ${m.king} and ${m.piece} (${m.table.toUpperCase()})`),
    mapFigure(r.data, { onEntry: (entry) => ctx.go({ term: `${m.king}:${m.piece}:${entry}` }) }));
}

// "K:P" as its two names ("+59OU:-FU*3" has no other colon).
function splitMapWords(words) {
  const at = words.indexOf(':');
  return at < 0 ? [words, ''] : [words.slice(0, at), words.slice(at + 1)];
}

// The grid that holds an entry named like "+57TO" (gold's grid for the
// promoted minors) and its square, or the hand row and count of "+FU*2".
function placeOf(map, name) {
  const c = parseCell(name);
  if (!c) return null;
  if (c.hand) return { hand: map.hands.findIndex((h) => h.piece === `${c.side}${c.kind}*`), count: c.count ?? 1 };
  const kind = ['TO', 'NY', 'NK', 'NG'].includes(c.kind) ? 'KI' : c.kind;
  return { grid: map.grids.findIndex((g) => g.piece === c.side + kind), square: c.square };
}

// The count of a map's first hand value: the 1st piece held in a network
// and a KPPT set, none in a table.
function firstCount(map) {
  return map.network || map.kppt ? 1 : 0;
}

// The value a map gives an entry named like "+57FU" or "+FU*2", or null.
export function valueOf(map, name) {
  const place = placeOf(map, name);
  if (!place) return null;
  if (place.hand !== undefined) {
    const h = map.hands[place.hand];
    const at = place.count - firstCount(map);
    return h && at >= 0 && at < h.values.length ? h.values[at] : null;
  }
  const g = map.grids[place.grid];
  return g ? g.values[place.square] : null;
}

// The map of an answer; options: mark (an entry's name, outlined), onEntry(name).
export function mapFigure(answer, options = {}) {
  const map = answer.map;
  const compared = !!answer.compare;
  let limit = 1;
  for (const g of [...map.grids, ...map.hands]) for (const v of g.values) if (v !== null) limit = Math.max(limit, Math.abs(v));
  const readout = el('p', { class: 'readout', role: 'status', 'aria-live': 'polite' }, 'Point at a square to read its value.');
  const king = parseCell(map.king);
  const piece = map.piece ? parseCell(map.piece) : null;
  const first = firstCount(map);
  // A network's magnitudes have a fraction.
  const shown = (v) => (v === null ? '' : map.network && map.neuron === null ? v.toFixed(1) : String(v));
  const mark = options.mark ? placeOf(map, options.mark) : null;
  const describe = (label, g, i) => {
    const v = g.values[i];
    if (v === null) return `${label}: none`;
    return `${label}: ${shown(v)}` + (compared ? ` (${g.before[i]} to ${g.after[i]})` : '');
  };
  const grids = map.grids.map((g, gi) => {
    const letters = new Map();
    if (king && !king.hand) letters.set(king.square, 'K');
    if (piece && !piece.hand) letters.set(piece.square, 'P');
    const label = (s) => `${g.piece} ${squareName(s)}`;
    const grid = squareGrid({
      fill: (s) => (g.values[s] === null ? '#bbb' : diverging(g.values[s], limit)),
      letters, mark: mark && mark.grid === gi ? mark.square : null, label: g.piece,
      onPoint: (s) => { readout.textContent = describe(label(s), g, s); },
      onPick: (s) => {
        if (g.values[s] !== null && options.onEntry) options.onEntry(`${g.piece[0]}${fileOf(s)}${rankOf(s)}${g.piece.slice(1)}`);
      },
    });
    grid.dataset.piece = g.piece;
    return el('figure', { class: 'grid-box' }, grid, el('figcaption', {}, g.piece));
  });
  const hands = map.hands.map((h, hi) => el('tr', {}, el('th', { scope: 'row' }, el('code', {}, h.piece)),
    h.values.map((v, index) => {
      const count = index + first;
      const marked = mark && mark.hand === hi && mark.count === count;
      const cell = el('td', { class: 'num' + (marked ? ' marked' : ''), style: `background:${v === null ? '#bbb' : diverging(v, limit)}` },
        el('button', {
          type: 'button', title: describe(`${h.piece}${count}`, h, index), 'aria-label': describe(`${h.piece}${count}`, h, index),
          onclick: () => options.onEntry && options.onEntry(`${h.piece}${count}`),
          onmouseover: () => { readout.textContent = describe(`${h.piece}${count}`, h, index); },
          onfocus: () => { readout.textContent = describe(`${h.piece}${count}`, h, index); },
        }, shown(v)));
      return cell;
    })));
  return el('section', { class: 'map' },
    map.network
      ? el('p', { class: 'meta' }, map.neuron === null ? 'Each feature\'s magnitude' : 'Each feature\'s weight (blue above 0, red below)',
        ` under the king K, from its side's view. Largest magnitude ${limit.toFixed(1)}.`)
      : el('p', { class: 'meta' }, compared ? 'After minus before, in table units' : 'Table units',
        ', as they favour black (blue) or white (red); K is the king, P the piece', options.mark ? `, the outlined square ${options.mark}` : '', '.',
        ` Largest magnitude ${signed(limit).replace('+', '')}.`),
    readout,
    el('div', { class: 'grids' }, grids),
    el('h2', {}, map.network ? 'Hands (the 1st, 2nd, ... piece held)' : 'Hands (value per count held)'),
    el('div', { class: 'scroll' }, el('table', { class: 'hands' }, el('tbody', {}, hands))));
}
