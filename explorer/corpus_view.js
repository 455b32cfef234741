// The corpus given to the server: its games, how well the value predicts
// their results (fit, scale, calibration chart), which entries they read and
// which the results argue with.
import { el, svg } from './dom.js';
import { ask } from './api.js';
import { rankingSection, termParams } from './ranking.js';
import { activationsSection, featureUseSection } from './network.js';

export const name = 'corpus';

export async function show(ctx) {
  let r = await ask('/api/corpus');
  // The server computes the corpus once, in the background: ask again until it is done.
  while (!r.ok && r.status === 503 && ctx.current()) {
    ctx.draw(el('h1', {}, 'The corpus'), progress(r));
    await new Promise((done) => setTimeout(done, 1000));
    if (!ctx.current()) return;
    r = await ask('/api/corpus');
  }
  if (!r.ok) return ctx.refuse(r.error);
  const d = r.data;
  const c = d.compare;
  const fitRow = (label, fit, scale) => el('tr', {}, el('th', { scope: 'row' }, label),
    fit ? [el('td', { class: 'num' }, fit.a.toFixed(1)), el('td', { class: 'num' }, fit.b.toFixed(1)),
      el('td', { class: 'num' }, fit.cross_entropy.toFixed(6)), el('td', { class: 'num' }, String(fit.positions))]
      : el('td', { colspan: 4 }, 'no fit'),
    el('td', { class: 'num' }, scale && scale.cross_entropy !== null ? scale.cross_entropy.toFixed(6) : 'none'));
  const usage = d.usage;
  ctx.draw(el('h1', {}, 'The corpus'),
    el('p', {}, `${d.games} games, ${d.positions} positions, ${d.refused.length} refused; black won ${d.results.black}, white ${d.results.white}, drawn ${d.results.draw}, unknown ${d.results.unknown}; from ply ${d.from_ply}.`),
    el('h2', {}, 'How well the value predicts the result'),
    el('div', { class: 'scroll' }, el('table', {},
      el('thead', {}, el('tr', {}, ['', 'a', 'b', 'cross-entropy', 'positions', `scale ${d.scale.scale}: cross-entropy`].map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, fitRow(d.fv, d.fit, d.scale), c ? fitRow(c.fv, c.fit, c.scale) : null))),
    el('p', { class: 'meta' }, 'P(black wins) = 1 / (1 + exp(-(value - a) / b)); cross-entropy in nats per position.'),
    calibrationChart(d),
    d.score ? scoreSection(d) : null,
    usage ? el('p', {}, `${usage.kpp_read} of ${usage.kpp_entries} KPP entries and ${usage.kkp_read} of ${usage.kkp_entries} KKP entries were read.`) : null,
    usage ? rankingSection(usage.ranking, { onTerm: (e) => ctx.go(termParams(e)), title: 'Ranking of use', id: 'use' }) : null,
    c && c.usage_ranking ? rankingSection(c.usage_ranking, { onTerm: (e) => ctx.go(termParams(e)), title: 'Ranking of changes in use', id: 'changes' }) : null,
    d.pull ? pullSection(d, ctx) : null,
    d.feature_use ? featureUseSection(d.feature_use) : null,
    d.activations ? activationsSection(d.activations) : null);
}

// How far the server's run over the corpus is, from its 503 answer: a bar
// of the files read and the positions evaluated so far.
function progress(r) {
  const d = r.data || {};
  const known = Number.isInteger(d.files) && Number.isInteger(d.files_read) && d.files > 0;
  const positions = Number.isInteger(d.positions_read) ? `, ${d.positions_read} positions evaluated` : '';
  const text = known ? `${d.files_read} of ${d.files} files read${positions}` : `starting${positions}`;
  return el('div', { class: 'progress', role: 'status' },
    el('p', {}, `Being computed: ${r.error}.`),
    el('progress', { max: known ? d.files : null, value: known ? d.files_read : null, 'aria-label': 'files read' }),
    el('p', { class: 'meta' }, text));
}

// The records' search scores against the values, and the packed files read.
function scoreSection(d) {
  const row = (label, s) => el('tr', {}, el('th', { scope: 'row' }, label),
    el('td', { class: 'num' }, String(s.records)), el('td', { class: 'num' }, s.correlation.toFixed(4)),
    el('td', { class: 'num' }, s.slope.toFixed(4)), el('td', { class: 'num' }, s.cross_entropy.toFixed(4)));
  return el('section', {},
    el('h2', {}, 'How far the value is from the search'),
    el('div', { class: 'scroll' }, el('table', {},
      el('thead', {}, el('tr', {}, ['', 'records', 'correlation', 'slope', 'cross-entropy'].map((h) => el('th', { scope: 'col' }, h)))),
      el('tbody', {}, row(d.fv, d.score), d.compare && d.compare.score ? row(d.compare.fv, d.compare.score) : null))),
    el('p', { class: 'meta' }, `${d.records} records read, ${d.refused_records} refused; the pull's target mixes the score's curve at lambda ${d.lambda}.`),
    el('figure', { class: 'chart' },
      el('img', { src: '/api/picture/corpus/score.png', alt: 'the mean score of each bucket of value against the value', width: 480, height: 270, loading: 'lazy' }),
      el('figcaption', {}, 'The mean score per bucket of value; the diagonal is where score equals value.')));
}

// The pull of the results on the entries: the totals under each file, the
// map of king squares and the ranking.
function pullSection(d, ctx) {
  const total = (label, pull) => el('li', {}, `${label}: |pull| sums to ${pull.total.toFixed(3)} over ${pull.entries} entries`);
  return el('section', {},
    el('h2', {}, 'Which entries the results argue with'),
    el('p', {}, 'A position\'s residual is its game\'s result (1 when black won, 0 when white won) less the scale curve\'s chance of a black win; an entry\'s pull sums the residuals over its reads, black\'s added and white\'s taken away. Positive: the results want the entry larger.'),
    el('ul', {}, total(d.fv, d.pull), d.compare && d.compare.pull ? total(d.compare.fv, d.compare.pull) : null),
    el('figure', { class: 'chart' },
      el('img', { src: '/api/picture/corpus/pull.png', alt: 'the sum of |pull| over each king square\'s entries', width: 480, height: 480, loading: 'lazy' }),
      el('figcaption', {}, 'The sum of |pull| over each king square\'s KPP entries.')),
    rankingSection(d.pull.ranking, { onTerm: (e) => ctx.go(termParams(e)), title: 'Ranking of pull', id: 'pull' }));
}

// Black's share of the decided positions of each bucket (a dot's area grows
// with its positions), the fitted curve(s) and the scale curve.
function calibrationChart(d) {
  const W = 720, H = 300, L = 48, R = 16, T = 14, B = 34, SPAN = 2200;
  const x = (v) => L + ((Math.max(-SPAN, Math.min(SPAN, v)) + SPAN) * (W - L - R)) / (2 * SPAN);
  const y = (p) => T + (1 - p) * (H - T - B);
  const most = Math.max(1, ...d.calibration.map((b) => b.positions));
  const curve = (f, stroke, dash) => {
    const pts = [];
    for (let v = -SPAN; v <= SPAN; v += 50) pts.push(`${x(v)},${y(f(v))}`);
    return svg('polyline', { points: pts.join(' '), fill: 'none', stroke, 'stroke-width': 2, 'stroke-dasharray': dash });
  };
  const logistic = (a, b) => (v) => 1 / (1 + Math.exp(-(v - a) / b));
  const root = svg('svg', { viewBox: `0 0 ${W} ${H}`, width: W, height: H, class: 'calibration', role: 'img', 'aria-label': 'calibration chart' },
    svg('rect', { x: L, y: T, width: W - L - R, height: H - T - B, fill: '#fafafa', stroke: '#ccc' }),
    [0, 0.5, 1].map((p) => svg('text', { x: L - 6, y: y(p) + 4, 'text-anchor': 'end', class: 'axis' }, String(p))),
    [-2000, -1000, 0, 1000, 2000].map((v) => svg('text', { x: x(v), y: H - B + 16, 'text-anchor': 'middle', class: 'axis' }, String(v))),
    svg('text', { x: W - R, y: H - 4, 'text-anchor': 'end', class: 'axis' }, 'value (points)'),
    curve(logistic(0, d.scale.scale), '#888', '6 4'));
  if (d.fit) root.append(curve(logistic(d.fit.a, d.fit.b), '#1546c0'));
  if (d.compare && d.compare.fit) root.append(curve(logistic(d.compare.fit.a, d.compare.fit.b), '#c0281e'));
  for (const b of d.calibration) {
    const decided = b.black + b.white;
    if (!decided) continue;
    const from = b.from === null ? b.to - 200 : b.from;
    const to = b.to === null ? b.from + 200 : b.to;
    root.append(svg('circle', { cx: x((from + to) / 2), cy: y(b.black / decided), r: 2 + 10 * Math.sqrt(b.positions / most), fill: 'rgba(21,70,192,0.5)' },
      svg('title', {}, `${b.from ?? ''}..${b.to ?? ''}: ${b.positions} positions, black ${b.black}, white ${b.white}, draw ${b.draw}`)));
  }
  return el('figure', { class: 'chart' }, root,
    el('figcaption', {}, 'Black\'s share of the decided positions per bucket of value; the fitted curve (blue', d.compare ? ', the second file\'s red' : '', ') and the scale curve (grey, dashed).'));
}
