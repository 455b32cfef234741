// The table itself: the census as two maps of king squares (a click opens
// that square's scan) and a picker of maps.
import { el, diverging, inkOn } from './dom.js';
import { ask } from './api.js';
import { squareGrid } from './grid.js';
import { squareName, squareOf, HAND_KINDS, HAND_MAX } from './shogi.js';

export const name = 'table';

let census = null;
// The census, asked once (the server keeps it too).
export async function censusAnswer() {
  if (!census) census = ask('/api/census').then((r) => { if (!r.ok) census = null; return r; });
  return census;
}

// One king square's line of the census as text.
export function censusRow(d, k) {
  if (d.census.network) return `a network: no table census of king square ${k}`;
  if (d.census.kppt) return kpptCensusRow(d, k);
  const t = (c) => `not 0 ${c.nonzero}, mean |value| ${c.mean_abs.toFixed(2)}, largest ${c.max_abs}, saturated ${c.saturated}`;
  let text = `king square ${k} (${squareName(k)}): KPP ${t(d.census.kpp[k])}; KKP ${t(d.census.kkp[k])}`;
  if (Array.isArray(d.compare)) {
    const c = d.compare[k];
    text += `; changed KPP ${c.changed} (mean ${c.mean_abs_change.toFixed(3)}), KKP ${c.kkp_changed} (mean ${c.kkp_mean_abs_change.toFixed(3)})`;
  }
  return text;
}

// One king square's line of a KPPT set's census: both parts of KPP and KKP.
function kpptCensusRow(d, k) {
  const t = (c) => (c ? `not 0 ${c.nonzero}, mean |value| ${c.mean_abs.toFixed(2)}, largest ${c.max_abs}` : 'none');
  const row = d.census.kings[k];
  let text = `king square ${k} (${squareName(k)}): KPP board ${t(row.kpp.board)}; KPP turn ${t(row.kpp.turn)}; ` +
    `KKP board ${t(row.kkp.board)}; KKP turn ${t(row.kkp.turn)}`;
  if (d.compare) {
    const c = d.compare.kings[k].kpp;
    const m = (x) => (x ? `${x.changed} (mean ${x.mean_abs_change.toFixed(3)})` : 'none');
    text += `; changed KPP board ${m(c.board)}, turn ${m(c.turn)}`;
  }
  return text;
}

// A KPPT set's census: the mean of each part of KPP per king square (a click
// opens that square's scan in the part), and the picker of maps.
function showKppt(ctx, d) {
  const c = d.census;
  const compared = !!d.compare;
  const readout = el('p', { class: 'readout', role: 'status', 'aria-live': 'polite' }, 'Point at a king square to read its line of the census; a click opens its scan.');
  const kingMap = (title, values, part) => {
    const low = Math.min(...values);
    const span = Math.max(1e-9, Math.max(...values) - low);
    const digits = Math.max(...values) >= 100 ? 0 : Math.max(...values) >= 1 ? 1 : 2;
    return el('figure', { class: 'census-map' },
      squareGrid({
        cell: 42, label: title, fill: (s) => diverging(values[s] - low, span), ink: (s) => inkOn(values[s] - low, span),
        text: (s) => values[s].toFixed(digits),
        onPoint: (s) => { readout.textContent = censusRow(d, s); },
        onPick: (s) => ctx.go({ scan: String(s), part }),
      }),
      el('figcaption', {}, title));
  };
  const maps = ['board', 'turn'].filter((p) => c.kings[0].kpp[p]).map((p) => (compared
    ? kingMap(`KPP ${p}: mean |after - before| per king square`, d.compare.kings.map((k) => k.kpp[p].mean_abs_change), p)
    : kingMap(`KPP ${p}: mean |value| per king square`, c.kings.map((k) => k.kpp[p].mean_abs), p)));
  const total = c.total.kpp.board;
  ctx.draw(el('h1', {}, `The KPPT set (${c.kppt})`),
    el('p', { class: 'meta' }, `The whole KPP, board part: ${total.nonzero} entries not 0, mean |value| ${total.mean_abs.toFixed(2)}.`),
    el('div', { class: 'census' }, maps), readout,
    picker(ctx));
}

// A network's census: maps of its king squares (a click opens the map of
// black's king there), its layers and the neurons that never fire.
function showNetwork(ctx, d) {
  const c = d.census;
  const compared = !!d.compare;
  const line = (s) => {
    const k = c.kings[s];
    let text = `king square ${squareName(s)}: mean |weight| ${k.mean_abs.toFixed(3)}, features never trained ${k.untrained}`;
    if (compared) text += `, mean |after - before| ${d.compare.kings[s].mean_abs_change.toFixed(3)}`;
    return text;
  };
  const readout = el('p', { class: 'readout', role: 'status', 'aria-live': 'polite' }, 'Point at a king square to read its line; a click opens the map of a black king there.');
  const kingMap = (title, values, whole = false) => {
    const low = Math.min(...values);
    const span = Math.max(1e-9, Math.max(...values) - low);
    const digits = whole || Math.max(...values) >= 100 ? 0 : Math.max(...values) >= 1 ? 1 : 2;
    return el('figure', { class: 'census-map' },
      squareGrid({
        cell: 42, label: title, fill: (s) => diverging(values[s] - low, span), ink: (s) => inkOn(values[s] - low, span),
        text: (s) => values[s].toFixed(digits),
        onPoint: (s) => { readout.textContent = line(s); },
        onPick: (s) => ctx.go({ map: `+${squareName(s)}OU` }),
      }),
      el('figcaption', {}, title));
  };
  const maps = [kingMap('Mean |weight| per king square', c.kings.map((k) => k.mean_abs)),
    kingMap('Features never trained per king square', c.kings.map((k) => k.untrained), true)];
  if (compared) maps.push(kingMap('Mean |after - before| per king square', d.compare.kings.map((k) => k.mean_abs_change)));
  const figures = (f) => `${f.count} values, ${f.min} to ${f.max}, mean ${f.mean.toFixed(3)}, sd ${f.sd.toFixed(3)}, ${(100 * f.zero_share).toFixed(2)}% zero`;
  const layers = (list) => el('ul', {}, list.map((l) => el('li', {}, `${l.layer}: weights ${figures(l.weights)}; biases ${figures(l.biases)}`)));
  const dead = (list) => (list.length ? list.join(', ') : 'none');
  ctx.draw(el('h1', {}, `The network (${c.network.join('/')})`),
    el('div', { class: 'census' }, maps), readout,
    el('h2', {}, 'Layers'), layers(c.layers),
    compared ? el('h2', {}, 'The change, after - before') : null, compared ? layers(d.compare.layers) : null,
    el('p', {}, `Neurons that never fire: layer 1 ${dead(c.dead.layer1)}; layer 2 ${dead(c.dead.layer2)}.`));
}

export async function show(ctx) {
  const r = await censusAnswer();
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  if (d.census.network) return showNetwork(ctx, d);
  if (d.census.kppt) return showKppt(ctx, d);
  const compared = Array.isArray(d.compare);
  const readout = el('p', { class: 'readout', role: 'status', 'aria-live': 'polite' }, 'Point at a king square to read its line of the census; a click opens its scan.');
  // A sequential scale from the least to the largest figure.
  const kingMap = (title, values) => {
    const low = Math.min(...values);
    const span = Math.max(1e-9, Math.max(...values) - low);
    const digits = Math.max(...values) >= 100 ? 0 : Math.max(...values) >= 1 ? 1 : 2;
    return el('figure', { class: 'census-map' },
      squareGrid({
        cell: 42, label: title, fill: (s) => diverging(values[s] - low, span), ink: (s) => inkOn(values[s] - low, span),
        text: (s) => values[s].toFixed(digits),
        onPoint: (s) => { readout.textContent = censusRow(d, s); },
        onPick: (s) => ctx.go({ scan: String(s) }),
      }),
      el('figcaption', {}, title));
  };
  const maps = compared
    ? [kingMap('KPP: mean |after - before| per king square', d.compare.map((c) => c.mean_abs_change)),
      kingMap('KKP: mean |after - before| per own king square', d.compare.map((c) => c.kkp_mean_abs_change))]
    : [kingMap('KPP: mean |value| per king square', d.census.kpp.map((c) => c.mean_abs)),
      kingMap('KKP: mean |value| per own king square', d.census.kkp.map((c) => c.mean_abs))];
  ctx.draw(el('h1', {}, 'The table'),
    el('p', { class: 'meta' }, `The whole file: KPP ${d.census.total.kpp.nonzero} entries not 0, mean |value| ${d.census.total.kpp.mean_abs.toFixed(2)}; KKP ${d.census.total.kkp.nonzero}, mean ${d.census.total.kkp.mean_abs.toFixed(2)}.`),
    el('div', { class: 'census' }, maps), readout,
    picker(ctx));
}

// Picks a map: a king (side and square), then a piece (side, kind, square) or
// a held kind and its count, or the other king.
function picker(ctx) {
  const select = (label, options, value) => el('label', {}, label + ' ',
    el('select', { name: label }, options.map(([v, t]) => el('option', { value: v, selected: v === value }, t))));
  const sides = [['+', 'black'], ['-', 'white']];
  const kinds = [...['FU', 'KY', 'KE', 'GI', 'KI', 'KA', 'UM', 'HI', 'RY'].map((k) => [k, k]),
    ...HAND_KINDS.map((k) => [k + '*', k + ' in hand']), ['OU', 'the other king (KKP)']];
  const kingSquare = el('input', { name: 'king square', size: 3, value: '59', 'aria-label': 'king square (file and rank)', pattern: '[1-9][1-9]' });
  const pieceSquare = el('input', { name: 'piece square', size: 3, value: '58', 'aria-label': 'piece square (file and rank), or count held', pattern: '[0-9]{1,2}' });
  const kingSide = select('king', sides, '+');
  const pieceSide = select('piece', sides, '+');
  const kind = select('kind', kinds, 'KI');
  let step = 'king';
  const hint = el('p', { class: 'meta' }, 'Click the king\'s square, then the piece\'s (or write them), and show the map.');
  const mapWords = () => {
    const k = kind.querySelector('select').value;
    const ks = kingSide.querySelector('select').value;
    const ps = pieceSide.querySelector('select').value;
    const piece = k.endsWith('*') ? `${ps}${k}${pieceSquare.value}` : k === 'OU' ? `${ks === '+' ? '-' : '+'}${pieceSquare.value}OU` : `${ps}${pieceSquare.value}${k}`;
    return `${ks}${kingSquare.value}OU:${piece}`;
  };
  const grid = squareGrid({
    cell: 30, label: 'squares', fill: () => '#fbf4e2', text: () => null,
    onPick: (s) => {
      if (step === 'king') {
        kingSquare.value = squareName(s);
        step = 'piece';
        hint.textContent = `King on ${squareName(s)}; now the piece's square (or a count for a held kind).`;
      } else {
        pieceSquare.value = squareName(s);
        step = 'king';
        ctx.go({ map: mapWords() });
      }
    },
    start: squareOf(5, 9),
  });
  return el('section', { class: 'picker' }, el('h2', {}, 'A map of the table'), hint,
    el('div', { class: 'picker-body' }, grid,
      el('form', { onsubmit: (e) => { e.preventDefault(); ctx.go({ map: mapWords() }); } },
        el('p', {}, kingSide, ' on ', kingSquare),
        el('p', {}, pieceSide, ' ', kind, ' on ', pieceSquare),
        el('p', { class: 'meta' }, `A held kind takes its count in place of a square (pawns 0–${HAND_MAX.FU}).`),
        el('button', { type: 'submit' }, 'Show the map'))));
}
