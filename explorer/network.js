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

// A network's activations over the corpus: per layer the shares of outputs
// clamped at 0, between and at 127, the mean, the dead and the saturated
// neurons; the strips of neurons and the histogram before the clamp.
export function activationsSection(a) {
  const layers = ['transformer', 'layer1', 'layer2'];
  const percent = (part, all) => (all > 0 ? `${(100 * part / all).toFixed(2)}%` : '0.00%');
  const list = (neurons) => (neurons.length ? neurons.join(' ') : 'none');
  const rows = layers.map((name) => {
    const counts = a[name];
    const totals = [0, 1, 2].map((k) => counts.reduce((s, t) => s + t[k], 0));
    const all = totals[0] + totals[1] + totals[2];
    const means = a.means[name];
    const mean = means.length ? means.reduce((s, m) => s + m, 0) / means.length : 0;
    return el('tr', { 'data-layer': name }, el('th', { scope: 'row' }, name),
      el('td', { class: 'num' }, String(counts.length)),
      totals.map((t) => el('td', { class: 'num' }, percent(t, all))),
      el('td', { class: 'num' }, mean.toFixed(2)),
      el('td', { class: 'name' }, list(a.dead[name])),
      el('td', { class: 'name' }, list(a.saturated[name])));
  });
  const figure = (picture, alt, caption) => {
    const url = pictureUrl(picture);
    return url ? el('figure', { class: 'chart' }, el('img', { src: url, alt, loading: 'lazy' }), el('figcaption', {}, caption)) : null;
  };
  return el('section', { 'data-section': 'activations' }, el('h2', {}, 'Activations of the network\'s neurons'),
    el('p', {}, `Over ${a.positions} positions: each neuron's outputs clamped at 0, between, and clamped at 127 (the transformer's over both views). Dead neurons never rose above 0; saturated ones were always at 127.`),
    el('div', { class: 'scroll' }, el('table', {},
      el('thead', {}, el('tr', {}, ['layer', 'neurons', 'at 0', 'between', 'at 127', 'mean', 'dead', 'saturated'].map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, rows))),
    layers.map((name) => figure(a.pictures[name], `the activations of the ${name}`, `Each neuron of the ${name}: its share of outputs at 0 (grey), between (green) and at 127 (red).`)),
    figure(a.pictures.histogram, 'the histogram of the transformer\'s values before the clamp', 'The transformer\'s values before the clamp, in bins of 16; the clamp\'s own range is marked.'));
}
