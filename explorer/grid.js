// A 9 x 9 board of coloured squares (a map's grid, the king squares of the
// census, the picker): hovering or the arrow keys point at a square, a click
// or Enter picks it.
import { svg } from './dom.js';
import { squareName } from './shogi.js';

// options: cell (px), fill(s), text(s) (written in the square, or null), ink(s),
// letters (Map square -> letter), mark (a square outlined), label,
// onPoint(s), onPick(s), start (the square the keys start from).
export function squareGrid(options) {
  const { cell = 22, fill, text = () => null, ink = () => '#222', letters = new Map(), mark = null, label, onPoint = () => {}, onPick = () => {} } = options;
  const size = 9 * cell;
  const root = svg('svg', {
    class: 'grid', viewBox: `0 0 ${size} ${size}`, width: size, height: size,
    tabindex: 0, role: 'grid', 'aria-label': `${label}: arrow keys move, Enter picks`,
  });
  for (let s = 0; s < 81; ++s) {
    const x = (s % 9) * cell, y = Math.floor(s / 9) * cell;
    root.append(svg('rect', { x, y, width: cell, height: cell, fill: fill(s), stroke: '#ddd', 'data-s': s, 'data-square': squareName(s) }));
    const written = letters.get(s) ?? text(s);
    if (written !== null && written !== undefined) {
      root.append(svg('text', {
        x: x + cell / 2, y: y + cell / 2 + 4.5, 'text-anchor': 'middle', class: letters.has(s) ? 'grid-mark' : 'grid-text',
        fill: letters.has(s) ? null : ink(s), 'pointer-events': 'none',
      }, written));
    }
  }
  if (mark !== null) {
    root.append(svg('rect', { x: (mark % 9) * cell + 1.5, y: Math.floor(mark / 9) * cell + 1.5, width: cell - 3, height: cell - 3, class: 'mark', 'pointer-events': 'none' }));
  }
  let cursor = options.start ?? mark ?? 40;
  const point = (s) => {
    cursor = s;
    root.querySelectorAll('.cursor').forEach((c) => c.remove());
    root.append(svg('rect', { x: (s % 9) * cell + 1, y: Math.floor(s / 9) * cell + 1, width: cell - 2, height: cell - 2, class: 'cursor', 'pointer-events': 'none' }));
    onPoint(s);
  };
  const at = (e) => (e.target.dataset && e.target.dataset.s !== undefined ? +e.target.dataset.s : null);
  root.addEventListener('mouseover', (e) => { const s = at(e); if (s !== null) point(s); });
  root.addEventListener('click', (e) => { const s = at(e); if (s !== null) onPick(s); });
  root.addEventListener('focus', () => point(cursor));
  root.addEventListener('keydown', (e) => {
    const step = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -9, ArrowDown: 9 }[e.key];
    if (step !== undefined) {
      e.preventDefault();
      e.stopPropagation();
      const s = cursor + step;
      if (s >= 0 && s < 81 && (Math.abs(step) === 9 || Math.floor(s / 9) === Math.floor(cursor / 9))) point(s);
    } else if (e.key === 'Enter' || e.key === ' ') {
      e.preventDefault();
      onPick(cursor);
    }
  });
  return root;
}
