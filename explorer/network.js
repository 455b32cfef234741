// A network's part of a position: its output, scale and shape, how many
// values each layer clamped, and its inputs ranked by change as cards and
// as a table that sorts.
import { el, sortableTable, numberCell, signed } from './dom.js';
import { pictureUrl } from './api.js';

// The network block: d is the answer's "network".
export function networkSection(d) {
  const layers = [
    ['accumulator, black\'s view', d.accumulators.black],
    ['accumulator, white\'s view', d.accumulators.white],
    ['hidden layer 1', d.hidden[0]],
    ['hidden layer 2', d.hidden[1]],
  ];
  return el('section', { class: 'network' }, el('h2', {}, 'Network'),
    el('p', { class: 'meta' }, `${d.shape.join('/')} network, output ${d.output} with ${d.to_move} to move, scale ${d.scale}`),
    el('table', {},
      el('thead', {}, el('tr', {}, ['layer', 'at 0', 'between', 'at 127'].map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, layers.map(([name, c]) => el('tr', {},
        el('th', { scope: 'row' }, name),
        el('td', { class: 'num' }, String(c.zero)),
        el('td', { class: 'num' }, String(c.between)),
        el('td', { class: 'num' }, String(c.max)))))));
}

// The inputs ranked by change (the value minus the value without the input,
// in points): the first as cards with their pictures, then every one.
export function featuresSection(features, cards = 12) {
  const name = (f) => `[${f.king}]-[${f.piece}]`;
  const cardList = el('div', { class: 'cards' }, features.slice(0, cards).map((f) => {
    const url = pictureUrl(f.picture);
    return el('figure', { class: 'card', 'data-rank': f.rank },
      url ? el('img', { src: url, alt: `picture of rank ${f.rank}`, width: 240, height: 240, loading: 'lazy' }) : null,
      el('figcaption', {}, el('b', {}, String(f.rank)), ` change ${signed(f.change)}`, el('br'), el('code', {}, name(f))));
  }));
  const rows = features.map((f) => el('tr', { 'data-rank': f.rank },
    el('td', { 'data-v': f.rank }, String(f.rank)),
    numberCell(f.change, signed(f.change)),
    el('td', { class: 'name' }, el('code', {}, f.king)),
    el('td', { class: 'name' }, el('code', {}, f.piece))));
  const heads = [{ text: 'rank' }, { text: 'change' }, { text: 'king', name: true }, { text: 'piece', name: true }];
  return el('section', { 'data-ranking': 'features' }, el('h2', {}, 'Ranking of features'),
    el('p', { class: 'meta' }, 'Each input\'s change: the value minus the value with that input left out of its view, in points.'),
    cardList, el('h3', {}, 'Every rank (a heading sorts)'), sortableTable(heads, rows, 'features'));
}

// The use of a network's inputs over the corpus: how many were ever active,
// and the most used as cards (views: the positions' views that had each).
export function featureUseSection(u, cards = 12) {
  return el('section', { 'data-ranking': 'feature-use' }, el('h2', {}, 'Use of the network\'s inputs'),
    el('p', {}, `${u.active} of ${u.inputs} inputs (king square x feature) were active in some view, over ${u.views} views.`),
    el('div', { class: 'cards' }, u.ranking.slice(0, cards).map((f) => {
      const url = pictureUrl(f.picture);
      return el('figure', { class: 'card', 'data-rank': f.rank },
        url ? el('img', { src: url, alt: `picture of rank ${f.rank}`, width: 240, height: 240, loading: 'lazy' }) : null,
        el('figcaption', {}, el('b', {}, String(f.rank)), ` views ${f.views}`, el('br'), el('code', {}, `[${f.king}]-[${f.piece}]`)));
    })));
}
