// The page's order: reads the address, shows its view, and keeps the address
// and the browser's history in step with what is shown.
import { el } from './dom.js';
import { serverInfo, filesLoaded, hasCorpus } from './api.js';
import * as input from './input_view.js';
import * as position from './position_view.js';
import * as mapView from './map_view.js';
import * as termView from './term_view.js';
import * as table from './table_view.js';
import * as scan from './scan_view.js';
import * as corpus from './corpus_view.js';
import * as squaresView from './squares_view.js';

const main = document.getElementById('view');
let generation = 0;

// The view an address names and its parameters.
function viewOf(params) {
  if (params.has('squares')) return squaresView;
  if (params.has('map')) return mapView;
  if (params.has('term')) return termView;
  if (params.has('scan')) return scan;
  if (params.has('census')) return table;
  if (params.has('corpus')) return corpus;
  return position;
}

// An address's parameters. A '+' stands for itself, as in "?map=+59OU:+58KI".
function parseAddress(search) {
  const params = new URLSearchParams();
  for (const part of search.replace(/^\?/, '').split('&')) {
    if (!part) continue;
    const at = part.indexOf('=');
    const decode = (t) => { try { return decodeURIComponent(t); } catch (e) { return t; } };
    params.append(decode(at < 0 ? part : part.slice(0, at)), at < 0 ? '' : decode(part.slice(at + 1)));
  }
  return params;
}

// The address of parameters, readable where it can be ("?census", "?map=+59OU:+58KI").
function addressOf(params) {
  const encode = (t) => encodeURIComponent(t).replace(/%2B/g, '+').replace(/%3A/g, ':').replace(/%2F/g, '/').replace(/%2C/g, ',');
  const parts = [...new URLSearchParams(params)].map(([k, v]) => (v === '' ? encode(k) : `${encode(k)}=${encode(v)}`));
  return parts.length ? '/?' + parts.join('&') : '/';
}

// Goes to the address of these parameters; replace keeps the history entry.
function go(params, replace = false) {
  const url = addressOf(params);
  if (replace) history.replaceState(null, '', url);
  else history.pushState(null, '', url);
  show();
}

// Nothing of the view before stays under a new input while it loads.
// Returns whether the view that loads is still the current one, as a function.
function loading(next = true) {
  if (next) ++generation;
  const mine = generation;
  main.replaceChildren(el('p', { class: 'loading', role: 'status' }, 'Loading…'));
  main.setAttribute('aria-busy', 'true');
  return () => mine === generation;
}

// A refused input: the server's message by the box, and no view under it.
function refuse(message) {
  input.showError(message);
  main.replaceChildren(el('p', { class: 'refused' }, 'Nothing to show: ', message));
  main.removeAttribute('aria-busy');
}

async function show() {
  const params = parseAddress(location.search);
  const mine = ++generation;
  const info = await serverInfo();
  if (mine !== generation) return;
  if (!headed) header(info);
  const view = viewOf(params);
  loading(false);
  document.querySelectorAll('nav a').forEach((a) => a.classList.toggle('current', a.dataset.view === (view.tab || view.name)));
  const ctx = {
    params, info, go,
    current: () => mine === generation,
    // Fills the view (only while it is still the one asked for).
    draw: (...children) => {
      if (mine !== generation) return false;
      main.replaceChildren(...children.flat().filter((c) => c !== null && c !== undefined && c !== false));
      main.removeAttribute('aria-busy');
      input.clearError();
      return true;
    },
    refuse: (message) => { if (mine === generation) refuse(message); },
  };
  input.update(ctx);
  await view.show(ctx);
}

// The files and the links of the views; drawn again until the server's
// facts have come.
let headed = false;
function header(info) {
  headed = !!(info && info.started_with);
  const files = filesLoaded(info);
  document.getElementById('files').textContent = files.length
    ? (files.length > 1 ? `${files[0]} compared with ${files[1]}` : files[0]) : '';
  const nav = document.querySelector('nav');
  const link = (text, view, href) => el('a', { href, 'data-view': view, onclick: (e) => {
    e.preventDefault();
    go(parseAddress(href.slice(1)));
  } }, text);
  nav.replaceChildren(link('Position', 'position', '/?position=startpos'), link('Table', 'table', '/?census'));
  if (hasCorpus(info)) nav.append(link('Corpus', 'corpus', '/?corpus'));
  if (!headed) setTimeout(() => { if (!headed) serverInfo().then((i) => { if (!headed) header(i); }); }, 3000);
}

window.addEventListener('popstate', show);
input.init({ go, loading, refuse });
show();
