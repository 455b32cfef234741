// A KPPT set's part of a position: its terms each as a board part, a turn
// part and their sum from black's view, and the KPP pairs tallied by size.
import { el, points, favours, numberCell } from './dom.js';

// Points per bucket of the tally's histograms (the tool's own buckets).
const POINTS_PER_BUCKET = 10;

// The terms' rows: the answer's field and its label.
const TERMS = [['kk', 'KK'], ['kkp', 'KKP'], ['kpp_black', 'KPP, black\'s side'],
  ['kpp_white', 'KPP, white\'s side'], ['material', 'material'], ['total', 'total']];

// The terms block: k is the answer's "kppt".
export function kpptSection(k) {
  return el('section', { class: 'kppt' }, el('h2', {}, 'KPPT terms'),
    el('p', { class: 'meta' }, `${k.layout}, identity ${k.identity}; ${k.to_move} to move: the turn parts count for that side.`),
    el('div', { class: 'scroll' }, el('table', {},
      el('thead', {}, el('tr', {}, ['', 'board', 'turn', 'sum', 'points', 'favours'].map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, TERMS.map(([field, label]) => {
        const t = k[field];
        return el('tr', { 'data-kppt': field },
          el('th', { scope: 'row', class: 'name' }, label),
          numberCell(t.board), numberCell(t.turn), numberCell(t.sum),
          numberCell(t.sum, points(t.sum)),
          el('td', { class: favours(t.sum) }, favours(t.sum)));
      })))));
}

// The KPP pairs by size, each side's as bars: t is the answer's "tally".
export function tallySection(t) {
  const side = (name) => {
    const s = t[name];
    const most = Math.max(1, ...s.histogram);
    return el('div', { 'data-tally': name },
      el('h3', {}, `Terms favouring ${name}: ${s.count}, ${Math.trunc(s.sum / 32)} points in all`),
      el('table', { class: `bars for-${name}` },
        el('thead', {}, el('tr', {}, ['points', 'terms', 'count'].map((h) => el('th', { scope: 'col', class: h === 'count' ? null : 'name' }, h)))),
        el('tbody', {}, s.histogram.map((count, b) => {
          const low = POINTS_PER_BUCKET * b;
          const range = b + 1 < s.histogram.length ? `${low}–${low + POINTS_PER_BUCKET}` : `${low} or more`;
          return el('tr', {}, el('td', { class: 'name' }, range),
            el('td', { class: 'bar' }, el('span', { style: `width:${(100 * count / most).toFixed(1)}%` })),
            el('td', { class: 'num' }, String(count)));
        }))));
  };
  return el('section', { class: 'tally' }, el('h2', {}, 'KPP terms by size'),
    el('div', { class: 'histograms' }, side('black'), side('white')));
}
