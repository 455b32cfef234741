// Positions as the answers write them (SFEN), the names of cells ("+76FU",
// "-KA*") and moves (CSA, USI). Square s is file 9 - s % 9, rank s / 9 + 1,
// the order SFEN rows list them in.

const KINDS = ['FU', 'KY', 'KE', 'GI', 'KI', 'KA', 'HI', 'OU', 'TO', 'NY', 'NK', 'NG', 'UM', 'RY'];
const SFEN_LETTERS = { P: 'FU', L: 'KY', N: 'KE', S: 'GI', G: 'KI', B: 'KA', R: 'HI', K: 'OU' };
const PROMOTED = { FU: 'TO', KY: 'NY', KE: 'NK', GI: 'NG', KA: 'UM', HI: 'RY' };
const USI_LETTER = { FU: 'P', KY: 'L', KE: 'N', GI: 'S', KI: 'G', KA: 'B', HI: 'R' };
export const KANJI = {
  FU: '歩', KY: '香', KE: '桂', GI: '銀', KI: '金', KA: '角', HI: '飛', OU: '玉',
  TO: 'と', NY: '杏', NK: '圭', NG: '全', UM: '馬', RY: '龍',
};
// The kinds a hand holds, largest first, as a board shows them.
export const HAND_KINDS = ['HI', 'KA', 'KI', 'GI', 'KE', 'KY', 'FU'];
// The most of each kind a hand can hold (the tables' range).
export const HAND_MAX = { FU: 18, KY: 4, KE: 4, GI: 4, KI: 4, KA: 2, HI: 2 };
export const RANK_KANJI = ['一', '二', '三', '四', '五', '六', '七', '八', '九'];

export const fileOf = (s) => 9 - (s % 9);
export const rankOf = (s) => Math.floor(s / 9) + 1;
export const squareOf = (file, rank) => (rank - 1) * 9 + (9 - file);
export const squareName = (s) => `${fileOf(s)}${rankOf(s)}`;

// The board, hands and side to move of an SFEN ("... b - 1"), or null when it
// does not read as one. board[s] is null or {side: '+' | '-', kind}.
export function parseSfen(sfen) {
  const words = String(sfen).trim().split(/\s+/);
  if (words.length < 3) return null;
  const board = new Array(81).fill(null);
  const rows = words[0].split('/');
  if (rows.length !== 9) return null;
  for (let r = 0; r < 9; ++r) {
    let file = 9, promoted = false;
    for (const c of rows[r]) {
      if (c === '+') { promoted = true; continue; }
      if (c >= '1' && c <= '9') { file -= +c; continue; }
      const kind = SFEN_LETTERS[c.toUpperCase()];
      if (!kind || file < 1) return null;
      board[squareOf(file, r + 1)] = { side: c === c.toUpperCase() ? '+' : '-', kind: promoted ? PROMOTED[kind] : kind };
      promoted = false;
      --file;
    }
    if (file !== 0) return null;
  }
  const hands = { '+': {}, '-': {} };
  if (words[2] !== '-') {
    let count = '';
    for (const c of words[2]) {
      if (c >= '0' && c <= '9') { count += c; continue; }
      const kind = SFEN_LETTERS[c.toUpperCase()];
      if (!kind) return null;
      hands[c === c.toUpperCase() ? '+' : '-'][kind] = count ? +count : 1;
      count = '';
    }
  }
  return { board, hands, side: words[1] === 'w' ? '-' : '+' };
}

// A cell's name read back: {side, kind, square} for "+76FU", {side, kind, hand: true} for "+FU*"
// (with count when one follows), or null.
export function parseCell(name) {
  let m = /^([+-])([1-9])([1-9])([A-Z]{2})$/.exec(name);
  if (m && KINDS.includes(m[4])) return { side: m[1], kind: m[4], square: squareOf(+m[2], +m[3]) };
  m = /^([+-])([A-Z]{2})\*(\d*)$/.exec(name);
  if (m && HAND_KINDS.includes(m[2])) return { side: m[1], kind: m[2], hand: true, count: m[3] === '' ? null : +m[3] };
  return null;
}

export function cellName(side, kind, square) {
  return `${side}${squareName(square)}${kind}`;
}

// The name of a side's king on a board ("+59OU"), or null when it has none.
export function kingOf(position, side) {
  const s = position.board.findIndex((p) => p && p.side === side && p.kind === 'OU');
  return s < 0 ? null : cellName(side, 'OU', s);
}

const usiSquare = (file, rank) => `${file}${'abcdefghi'[rank - 1]}`;

// A CSA move ("+7776FU", "+0055KA") as USI, given the position it is played in.
function csaToUsi(csa, position) {
  const m = /^[+-]?(\d)(\d)(\d)(\d)([A-Z]{2})$/.exec(csa);
  if (!m) return null;
  const to = usiSquare(+m[3], +m[4]);
  if (m[1] === '0') return USI_LETTER[m[5]] ? `${USI_LETTER[m[5]]}*${to}` : null;
  const piece = position && position.board[squareOf(+m[1], +m[2])];
  const promotes = piece && piece.kind !== m[5];
  return `${usiSquare(+m[1], +m[2])}${to}${promotes ? '+' : ''}`;
}

// The USI position text of a game's plies ({move, sfen} each, ply 0 first):
// "sfen START moves ...".
export function gameAsUsi(plies) {
  const moves = [];
  for (let i = 1; i < plies.length; ++i) {
    const usi = csaToUsi(plies[i].move, parseSfen(plies[i - 1].sfen));
    if (!usi) return null;
    moves.push(usi);
  }
  return `sfen ${plies[0].sfen}` + (moves.length ? ` moves ${moves.join(' ')}` : '');
}
