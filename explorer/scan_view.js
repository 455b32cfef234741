// A king square's scan: its line of the census and the ranking of its
// largest entries.
import { el } from './dom.js';
import { ask, query } from './api.js';
import { rankingSection, termParams } from './ranking.js';
import { censusAnswer, censusRow } from './table_view.js';

export const name = 'scan';
export const tab = 'table';  // shown under the Table link

export async function show(ctx) {
  const square = ctx.params.get('scan');
  const part = ctx.params.get('part');
  const r = await ask('/api/scan' + query({ square, sort: ctx.params.get('sort'), part }));
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  const c = await censusAnswer();
  const k = d.king_square;
  const compared = !!d.compare;
  const ranking = compared ? d.compare.ranking : d.ranking;
  // A KPPT set's scan ranks one part of its pairs; a button shows the other.
  const kppt = d.part !== undefined;
  const other = d.part === 'turn' ? 'board' : 'turn';
  const summary = kppt
    ? (compared ? `${d.compare.changed} pairs of this king square's KPP differ in the ${d.part} part between the sets.`
      : `${d.count} pairs of this king square's KPP have a ${d.part} part other than 0; the ${ranking.length} first are ranked.`)
    : compared ? `${d.compare.changed} entries of this king square's table differ between the files.`
      : `${d.count} entries exceed 2000 table units in magnitude; the ${ranking.length} largest are ranked.`;
  ctx.draw(el('h1', {}, `Scan of king square ${k}` + (kppt ? ` (${d.part} part)` : '')),
    c.ok ? el('p', { class: 'census-row' }, censusRow(c.data, k)) : null,
    el('p', {}, summary,
      kppt ? el('button', { type: 'button', onclick: () => ctx.go({ scan: String(k), ...(ctx.params.get('sort') ? { sort: ctx.params.get('sort') } : {}), part: other }) }, ` Show the ${other} part`) : null),
    rankingSection(ranking, {
      // A KPPT pair opens the map of its king and its first piece on the board.
      onTerm: kppt ? (e) => { if (!e.a.endsWith('*')) ctx.go({ map: `${e.king}:${e.a}`, part: d.part }); }
        : (e) => ctx.go(termParams(e)), title: compared ? 'Ranking of changes' : 'Ranking',
      sort: ctx.params.get('sort'), onSort: (mode) => ctx.go(kppt ? { scan: String(k), sort: mode, part: d.part } : { scan: String(k), sort: mode }),
    }));
}
