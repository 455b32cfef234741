// The board as SVG: pieces on their squares (white's turned), both hands, the
// side to move; pieces may carry a figure and a colour.
import { svg, clickable, diverging, inkOn } from './dom.js';
import { KANJI, HAND_KINDS, RANK_KANJI, cellName } from './shogi.js';

const CELL = 50;
const EDGE = 22;          // room for the file and rank labels
const HAND = 46;          // height of a hand's row
const WIDTH = EDGE + 9 * CELL + EDGE;
const TOP = HAND + EDGE;  // the board's top edge
const HEIGHT = TOP + 9 * CELL + 8 + HAND;
const WOOD = '#f6e6bf';

// Draws `position` (from parseSfen). Options: flipped; figures: Map from a
// cell's name to {value, text} (coloured on a diverging scale up to limit);
// onPiece(name, piece); title.
export function drawBoard(position, options = {}) {
  const { flipped = false, figures = new Map(), limit = 1, onPiece = null } = options;
  const root = svg('svg', {
    class: 'board', viewBox: `0 0 ${WIDTH} ${HEIGHT}`, width: WIDTH, height: HEIGHT,
    role: 'img', 'aria-label': options.title || 'board',
  });
  const at = (s) => {
    const shown = flipped ? 80 - s : s;
    return { x: EDGE + (shown % 9) * CELL, y: TOP + Math.floor(shown / 9) * CELL };
  };
  root.append(svg('rect', { x: EDGE, y: TOP, width: 9 * CELL, height: 9 * CELL, fill: '#fbf4e2', stroke: '#555' }));
  for (let i = 1; i < 9; ++i) {
    root.append(svg('line', { x1: EDGE + i * CELL, y1: TOP, x2: EDGE + i * CELL, y2: TOP + 9 * CELL, stroke: '#999' }));
    root.append(svg('line', { x1: EDGE, y1: TOP + i * CELL, x2: EDGE + 9 * CELL, y2: TOP + i * CELL, stroke: '#999' }));
  }
  for (let i = 0; i < 9; ++i) {
    const file = flipped ? i + 1 : 9 - i;
    const rank = flipped ? 9 - i : i + 1;
    root.append(svg('text', { x: EDGE + i * CELL + CELL / 2, y: TOP - 6, class: 'coord', 'text-anchor': 'middle' }, String(file)));
    root.append(svg('text', { x: EDGE + 9 * CELL + EDGE / 2, y: TOP + i * CELL + CELL / 2 + 5, class: 'coord', 'text-anchor': 'middle' }, RANK_KANJI[rank - 1]));
  }
  position.board.forEach((piece, s) => {
    if (!piece) return;
    const { x, y } = at(s);
    const name = cellName(piece.side, piece.kind, s);
    root.append(pieceGroup(piece, name, x, y, (piece.side === '-') !== flipped, figures.get(name), limit, onPiece));
  });
  // The hands: the side at the bottom below the board, the other above it.
  const bottom = flipped ? '-' : '+';
  for (const side of ['+', '-']) {
    const y = side === bottom ? TOP + 9 * CELL + 8 : 0;
    const held = HAND_KINDS.filter((k) => position.hands[side][k]);
    root.append(svg('text', { x: EDGE, y: y + HAND / 2 + 5, class: 'hand-label' },
      (side === '+' ? '☗' : '☖') + (position.side === side ? ' to move' : '') + (held.length ? '' : ' (no hand)')));
    held.forEach((kind, i) => {
      const name = `${side}${kind}*`;
      const piece = { side, kind, count: position.hands[side][kind] };
      root.append(pieceGroup(piece, name, EDGE + 96 + i * (CELL + 4), y, side !== bottom, figures.get(name), limit, onPiece));
    });
  }
  return root;
}

// A piece as a pentagon pointing the way it moves, its letter, and under it
// its count in hand or its figure.
function pieceGroup(piece, name, x, y, turned, figure, limit, onPiece) {
  const fill = figure ? diverging(figure.value, limit) : WOOD;
  const ink = figure ? inkOn(figure.value, limit) : '#222';
  const c = CELL;
  const outline = turned
    ? `${x + c / 2},${y + c - 3} ${x + c - 6},${y + c - 13} ${x + c - 4},${y + 3} ${x + 4},${y + 3} ${x + 6},${y + c - 13}`
    : `${x + c / 2},${y + 3} ${x + c - 6},${y + 13} ${x + c - 4},${y + c - 3} ${x + 4},${y + c - 3} ${x + 6},${y + 13}`;
  const g = svg('g', { class: 'piece ' + (piece.side === '+' ? 'black' : 'white'), 'data-cell': name },
    svg('polygon', { points: outline, fill, stroke: piece.side === '+' ? '#1546c0' : '#c0281e', 'stroke-width': 2 }));
  const promoted = ['TO', 'NY', 'NK', 'NG', 'UM', 'RY'].includes(piece.kind);
  // The letter's middle: higher when a figure is written under it.
  const middle = y + (figure || piece.count > 1 ? 20 : 25);
  const letter = svg('text', {
    x: x + c / 2, y: middle + 8, 'text-anchor': 'middle',
    class: 'kanji' + (promoted ? ' promoted' : ''), fill: promoted && !figure ? '#b00' : ink,
  }, KANJI[piece.kind]);
  if (turned) letter.setAttribute('transform', `rotate(180 ${x + c / 2} ${middle})`);
  g.append(letter);
  const under = [figure ? figure.text : null, piece.count > 1 ? `×${piece.count}` : null].filter(Boolean).join(' ');
  if (under) g.append(svg('text', { x: x + c / 2, y: y + c - 7, 'text-anchor': 'middle', class: 'figure', fill: ink }, under));
  const label = `${name}${piece.count ? ' ×' + piece.count : ''}${figure ? ', share ' + figure.text : ''}`;
  g.append(svg('title', {}, label));
  if (onPiece) clickable(g, () => onPiece(name, piece), label);
  return g;
}

