// A term: its picture large, its value, and the map of its king and first
// piece with the second piece's square marked.
import { el } from './dom.js';
import { ask, query, pictureUrl } from './api.js';
import { mapFigure, valueOf } from './map_view.js';
import { parseCell } from './shogi.js';

export const name = 'term';

export async function show(ctx) {
  const parts = (ctx.params.get('term') || '').split(':');
  if (parts.length !== 3) return ctx.refuse('a term is KING:PIECE:PIECE, such as +59OU:+58KI:+57FU');
  let [king, a, b] = parts;
  // A held kind without a count is taken as one held.
  const counted = (n) => { const c = parseCell(n); return c && c.hand && c.count === null ? n + '1' : n; };
  a = counted(a);
  b = counted(b);
  const part = ctx.params.get('part');
  const r = await ask('/api/map' + query({ king, piece: a, part }));
  if (!r.ok) return ctx.refuse(r.error);
  const url = pictureUrl(ctx.params.get('picture'));
  if (r.data.map.kppt) return showKppt(ctx, r.data, king, a, b, url);
  const value = valueOf(r.data.map, b);
  ctx.draw(el('h1', {}, `Term [${king}]-[${a}]-[${b}]`),
    el('p', { class: 'term-value' }, value === null ? 'This pair has no entry in the table.' : `value ${value} (table units, as it favours black)`),
    url ? el('figure', { class: 'term-picture' }, el('img', { src: url, alt: `the term [${king}]-[${a}]-[${b}]`, width: 640, height: 640 })) : null,
    el('h2', {}, `Map of ${king} and ${a}`),
    mapFigure(r.data, { mark: b, onEntry: (entry) => ctx.go({ term: `${king}:${a}:${entry}` }) }));
}

// A KPPT pair: both its parts (each read from its part's map), the picture,
// and the map of the part asked for with a button for the other.
async function showKppt(ctx, answer, king, a, b, url) {
  const m = answer.map;
  const other = m.part === 'turn' ? 'board' : 'turn';
  const second = await ask('/api/map' + query({ king, piece: a, part: other }));
  if (!second.ok) return ctx.refuse(second.error);
  const parts = { [m.part]: valueOf(answer.map, b), [other]: valueOf(second.data.map, b) };
  const name = `[${king}]-[${a}]-[${b}]`;
  const again = (p) => ({ term: `${king}:${a}:${b}`, part: p, ...(url ? { picture: url } : {}) });
  const change = answer.compare ? 'the change (after - before): ' : '';
  ctx.draw(el('h1', {}, `Term ${name}`),
    el('p', { class: 'term-value' }, parts.board === null ? 'This pair has no entry in the set.'
      : `${change}board ${parts.board} (table units, as it favours black), turn ${parts.turn} (a bonus to the side to move)`),
    url ? el('figure', { class: 'term-picture' }, el('img', { src: url, alt: `the term ${name}`, width: 640, height: 640 })) : null,
    el('h2', {}, `Map of ${king} and ${a}, ${m.part} part`),
    el('p', {}, el('button', { type: 'button', onclick: () => ctx.go(again(other)) }, `Show the ${other} part`)),
    mapFigure(answer, { mark: b, onEntry: (entry) => ctx.go({ term: `${king}:${a}:${entry}`, part: m.part }) }));
}
