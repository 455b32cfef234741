// A ranking of terms (of a position, a scan, a corpus, or of their changes):
// the first ranks as cards with their pictures, then every rank in a table
// that sorts. A click on a card or a row opens the term.
import { el, clickable, sortableTable, numberCell, points } from './dom.js';
import { pictureUrl } from './api.js';

// The figures a ranking's entries may carry, in the order they are shown.
const FIGURES = ['change', 'contribution', 'pull', 'value', 'reads', 'mean', 'before', 'after'];
// The parts a KPPT pair or entry carries (and their change's), shown after the figures.
const PARTS = ['board', 'turn', 'turn_before', 'turn_after'];

// A figure as text: whole numbers as they are, others (a pull, a mean) to
// three decimals, signed when asked.
function figureText(v, signed) {
  const text = Number.isInteger(v) ? String(v) : v.toFixed(3);
  return signed && v > 0 ? '+' + text : text;
}

// The figure an entry is ranked by.
function mainFigure(entry) {
  return FIGURES.find((f) => typeof entry[f] === 'number');
}

function termText(entry) {
  return `[${entry.king}]-[${entry.a}]-[${entry.b}]`;
}

// The server's sort modes of a ranking.
const SORTS = [['0', 'largest magnitude first'], ['1', 'most positive first'], ['2', 'most negative first']];

// options: onTerm(entry); cards (how many, default 12); title; id (the
// section's data-ranking); sort (the mode shown) with onSort(mode) to rank
// again.
export function rankingSection(entries, options) {
  const { onTerm, cards = 12, title = 'Ranking', onSort, id = 'terms' } = options;
  const mode = !options.sort || +options.sort === 0 ? '0' : +options.sort === 1 ? '1' : '2';
  const sort = onSort ? el('label', { class: 'sort' }, 'Ranked by ',
    el('select', { onchange: (e) => onSort(e.target.value) },
      SORTS.map(([v, t]) => el('option', { value: v, selected: v === mode }, t)))) : null;
  if (!entries.length) return el('section', { 'data-ranking': id }, el('h2', {}, title), sort, el('p', {}, 'No terms.'));
  const main = mainFigure(entries[0]);
  // A pull is no number of table units: it has no points.
  const withPoints = main !== 'pull';
  const shown = FIGURES.filter((f) => typeof entries[0][f] === 'number');
  // A KPPT pair's parts as read from the set.
  const parts = PARTS.filter((f) => typeof entries[0][f] === 'number');
  const cardList = el('div', { class: 'cards' }, entries.slice(0, cards).map((e) => {
    const url = pictureUrl(e.picture);
    const card = el('figure', { class: 'card', 'data-rank': e.rank },
      url ? el('img', { src: url, alt: `picture of rank ${e.rank}`, width: 240, height: 240, loading: 'lazy' }) : null,
      el('figcaption', {}, el('b', {}, String(e.rank)), ` ${main} ${figureText(e[main], main !== 'value')}`,
        el('br'), el('code', {}, termText(e))));
    return clickable(card, () => onTerm(e), `term of rank ${e.rank}: ${termText(e)}`);
  }));
  const rows = entries.map((e) => {
    const row = el('tr', { 'data-rank': e.rank },
      el('td', { 'data-v': e.rank }, String(e.rank)),
      shown.map((f) => numberCell(e[f], figureText(e[f], false))),
      withPoints ? numberCell(e[main], points(e[main])) : null,
      parts.map((f) => numberCell(e[f])),
      ['king', 'a', 'b'].map((k) => el('td', { class: 'name' }, el('code', {}, e[k]))));
    return clickable(row, () => onTerm(e), `term of rank ${e.rank}`);
  });
  const heads = [{ text: 'rank' }, ...shown.map((f) => ({ text: f })), ...(withPoints ? [{ text: 'points' }] : []),
    ...parts.map((f) => ({ text: f })),
    { text: 'king', name: true }, { text: 'first piece', name: true }, { text: 'second piece', name: true }];
  return el('section', { 'data-ranking': id }, el('h2', {}, title), sort, cardList,
    el('h3', {}, 'Every rank (a heading sorts)'), sortableTable(heads, rows, 'ranking'));
}

// The address of a term's view: its king, pieces and picture.
export function termParams(entry) {
  const p = { term: `${entry.king}:${entry.a}:${entry.b}` };
  if (pictureUrl(entry.picture)) p.picture = entry.picture;
  return p;
}
