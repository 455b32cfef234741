// Small helpers to build the page from data without ever parsing it as markup.

const SVG = 'http://www.w3.org/2000/svg';

// An element with attributes (on* values become listeners, style the
// element's style) and children
// (strings become text nodes; null and false are skipped).
export function el(tag, attrs = {}, ...children) {
  return fill(document.createElement(tag), attrs, children);
}

// The same for an SVG element.
export function svg(tag, attrs = {}, ...children) {
  return fill(document.createElementNS(SVG, tag), attrs, children);
}

function fill(node, attrs, children) {
  for (const [key, value] of Object.entries(attrs)) {
    if (value === undefined || value === null || value === false) continue;
    if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else if (key === 'text') node.textContent = value;
    // Through the style object: the page's policy refuses style attributes.
    else if (key === 'style') node.style.cssText = String(value);
    else node.setAttribute(key, value === true ? '' : String(value));
  }
  for (const child of children.flat()) {
    if (child === null || child === undefined || child === false) continue;
    node.append(child instanceof Node ? child : document.createTextNode(String(child)));
  }
  return node;
}

// Makes an element act as a button for the keyboard too (Enter and Space).
export function clickable(node, action, label) {
  node.setAttribute('tabindex', '0');
  node.setAttribute('role', 'button');
  if (label) node.setAttribute('aria-label', label);
  node.addEventListener('click', action);
  node.addEventListener('keydown', (e) => {
    if (e.key === 'Enter' || e.key === ' ') { e.preventDefault(); action(e); }
  });
  return node;
}

// Table units to points, as the tool writes them ("+12.5").
export function points(units) {
  const p = units / 32;
  return (p > 0 ? '+' : '') + p.toFixed(1);
}

export function signed(n) {
  return (n > 0 ? '+' : '') + String(n);
}

// The side a quantity favours.
export function favours(n) {
  return n > 0 ? 'black' : n < 0 ? 'white' : 'neither';
}

// A diverging colour: blue for positive, red for negative, white at 0, full at limit.
export function diverging(value, limit) {
  const t = limit > 0 ? Math.min(1, Math.abs(value) / limit) : 0;
  const fade = Math.round(255 * (1 - t));
  return value >= 0 ? `rgb(${fade},${fade},255)` : `rgb(255,${fade},${fade})`;
}

// Ink that reads on a diverging colour of that strength.
export function inkOn(value, limit) {
  return limit > 0 && Math.abs(value) / limit > 0.55 ? '#fff' : '#222';
}

// A table whose column headings sort it (click or Enter), by number when the
// cells carry data-v.
export function sortableTable(headings, rows, className = '') {
  const body = el('tbody', {}, rows);
  const heads = headings.map((h, i) => {
    const th = el('th', { scope: 'col', class: h.name ? 'name' : null }, h.text);
    clickable(th, () => {
      const up = th.dataset.up !== '1';
      for (const other of th.parentNode.children) delete other.dataset.up;
      th.dataset.up = up ? '1' : '0';
      th.setAttribute('aria-sort', up ? 'ascending' : 'descending');
      const key = (row) => {
        const c = row.cells[i];
        return c.dataset.v !== undefined ? +c.dataset.v : c.textContent;
      };
      [...body.rows].sort((a, b) => {
        const x = key(a), y = key(b);
        const d = typeof x === 'number' ? x - y : String(x).localeCompare(String(y));
        return up ? d : -d;
      }).forEach((row) => body.append(row));
    }, 'sort by ' + h.text);
    return th;
  });
  return el('div', { class: 'scroll' },
    el('table', { class: ('sortable ' + className).trim() }, el('thead', {}, el('tr', {}, heads)), body));
}

// A cell with a number, sortable by it and coloured by the side it favours.
export function numberCell(value, text = String(value)) {
  return el('td', { class: 'num ' + favours(value), 'data-v': value }, text);
}
