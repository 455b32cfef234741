// Asks the server. Every answer comes back as {ok, status, data} or
// {ok: false, status, error} with the server's message; nothing throws.

export async function ask(path, body) {
  let response;
  try {
    response = await fetch(path, body === undefined ? {} : { method: 'POST', body });
  } catch (e) {
    return { ok: false, status: 0, error: 'the server cannot be reached' };
  }
  let data = null;
  try {
    data = await response.json();
  } catch (e) {
    data = null;
  }
  if (response.ok && data !== null) return { ok: true, status: response.status, data };
  const error = data && typeof data.error === 'string' ? data.error : `the server answered ${response.status}`;
  return { ok: false, status: response.status, error, data };
}

// A query string of the parameters that are set.
export function query(params) {
  const q = new URLSearchParams();
  for (const [k, v] of Object.entries(params)) if (v !== undefined && v !== null && v !== '') q.set(k, v);
  const text = q.toString();
  return text ? '?' + text : '';
}

// Only the server's own pictures are shown.
export function pictureUrl(url) {
  return typeof url === 'string' && url.startsWith('/api/picture/') ? url : null;
}

let info = null;
// What the server was started with ({} while it cannot be had), asked once
// it answers: a failure is asked again on the next call.
export async function serverInfo() {
  if (!info) {
    info = ask('/api/info').then((r) => {
      if (!r.ok) info = null;
      return r.ok ? r.data : {};
    });
  }
  return info;
}

// What the server was started with (its /api/info's "started_with").
const started = (info) => (info && info.started_with) || {};

// Whether the server was given a corpus.
export function hasCorpus(info) {
  const c = started(info).corpus;
  return Array.isArray(c) ? c.length > 0 : !!c;
}

// Whether the server was given a USI engine.
export function hasEngine(info) {
  return !!started(info).usi;
}

// The files loaded as the header names them: the evaluation file, then the
// compared one; each its path, a KPPT set's with its layout and identity.
export function filesLoaded(info) {
  const files = Array.isArray(info && info.files) ? info.files : [];
  return ['fv', 'compare'].map((role) => files.find((f) => f.role === role)).filter(Boolean)
    .map((f) => (f.kind === 'kppt' ? `${f.path} (${f.layout}, identity ${f.identity})` : String(f.path)));
}
