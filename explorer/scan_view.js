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
  const r = await ask('/api/scan' + query({ square, sort: ctx.params.get('sort') }));
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  const c = await censusAnswer();
  const k = d.king_square;
  const compared = !!d.compare;
  const ranking = compared ? d.compare.ranking : d.ranking;
  ctx.draw(el('h1', {}, `Scan of king square ${k}`),
    c.ok ? el('p', { class: 'census-row' }, censusRow(c.data, k)) : null,
    el('p', {}, compared ? `${d.compare.changed} entries of this king square's table differ between the files.`
      : `${d.count} entries exceed 2000 table units in magnitude; the ${ranking.length} largest are ranked.`),
    rankingSection(ranking, {
      onTerm: (e) => ctx.go(termParams(e)), title: compared ? 'Ranking of changes' : 'Ranking',
      sort: ctx.params.get('sort'), onSort: (mode) => ctx.go({ scan: String(k), sort: mode }),
    }));
}
