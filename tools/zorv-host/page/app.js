// The workbench page: draws the state the workbench publishes (server-sent
// events "state" and "log") and posts the operator's actions back. Plain
// script, no build step; every id and data- attribute here is also what the
// browser tests look for.
'use strict';

const page = {
  state: null,
  log: [],
  cards: new Map(),        // placement name -> card parts
  lastLatest: 0,
};
const logShown = 800;

function el(tag, attrs, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attrs || {})) {
    if (key === 'class') node.className = value;
    else if (key === 'text') node.textContent = value;
    else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  for (const child of children) if (child != null) node.append(child);
  return node;
}

function toast(text) {
  const box = document.getElementById('toast');
  box.textContent = text;
  box.hidden = false;
  clearTimeout(toast.timer);
  toast.timer = setTimeout(() => { box.hidden = true; }, 5000);
}

async function post(path, body) {
  try {
    const response = await fetch(path, {
      method: 'POST', headers: {'Content-Type': 'application/json'}, body: JSON.stringify(body),
    });
    const outcome = await response.json();
    if (!outcome.ok) toast(outcome.error || 'the workbench refused');
    return outcome;
  } catch (error) {
    toast('the workbench cannot be reached: ' + error);
    return {ok: false};
  }
}

// ---- the parent panel

function drawParent(state) {
  const parent = state.parent;
  // Without a router there are no sources to choose nor crosspoints to show.
  const routed = state.router.devices.length > 0;
  document.getElementById('router-parts').hidden = !routed;
  document.getElementById('sources').hidden = !routed;
  document.getElementById('router').hidden = !routed;
  document.getElementById('parent-device').textContent = parent.device || '–';
  document.getElementById('active-dest').textContent = parent.activeDest == null ? 'none' : parent.activeDest;
  const row = document.getElementById('sources');
  const key = JSON.stringify(parent.sources);
  if (row.dataset.key !== key) {
    row.replaceChildren();
    for (const source of parent.sources) {
      row.append(el('button', {
        'data-source': source.number, title: 'send "source=' + source.number + '" to every placement',
        onclick: () => post('api/source', {number: source.number}),
      }, el('span', {class: 'n', text: String(source.number)}), source.name));
    }
    row.append(el('button', {class: 'clear', 'data-source': '-1', text: 'Clear',
      title: 'clear the source selection', onclick: () => post('api/source', {number: -1})}));
    row.dataset.key = key;
  }
  for (const button of row.querySelectorAll('button[data-source]'))
    button.classList.toggle('selected', Number(button.dataset.source) === parent.selectedSource);
  row.dataset.selected = parent.selectedSource;
}

// ---- placements

function sheetStyle(state, name) {
  return (name && state.stateSheets[name]) || null;
}

function drawControl(node, control, state) {
  const props = control.properties || {};
  const text = props.text !== undefined ? props.text : '';
  if (control.kind === 'alarm') {
    const value = props.value || '0';
    node.className = 'control alarm ' + (['0', '1', '2'].includes(value) ? 'v' + value : 'vother');
    node.textContent = (text || control.id) + ' \u00b7 ' + value;
    node.dataset.value = value;
    node.dataset.alarm = props.alarm || '';
  } else if (node.textContent !== text) {
    node.textContent = text;
  }
  const sheetName = props.statesheet || '';
  const sheet = sheetStyle(state, sheetName);
  node.dataset.statesheet = sheetName;
  node.style.background = sheet && sheet.background ? sheet.background : '';
  node.style.color = sheet && sheet.color ? sheet.color : '';
  node.style.border = sheet && sheet.border ? sheet.border : '';
  node.title = control.id + (sheetName ? ' \u2014 statesheet ' + sheetName : '')
    + (control.kind === 'button' ? ' \u2014 press: "' + control.event + '"' : '')
    + (control.kind === 'alarm' ? ' \u2014 value ' + (props.value || '0') + ', alarm "' + (props.alarm || '')
      + '" (value 0 green, 1 red, 2 amber, other violet)' : '');
}

function buildSurface(placement) {
  const surfaces = [];
  for (const panel of placement.panels) {
    const surface = el('div', {class: 'surface', 'data-panel': panel.id});
    if (panel.error || !panel.width) {
      surface.append(el('div', {class: 'missing', text: 'panel ' + panel.id + ': ' + (panel.error || 'no layout')}));
    } else {
      surface.style.width = panel.width + 'px';
      surface.style.height = panel.height + 'px';
      for (const control of panel.controls) {
        const isButton = control.kind === 'button';
        const node = el(isButton ? 'button' : 'div', {
          class: 'control ' + control.kind, 'data-control': control.id,
        });
        Object.assign(node.style, {
          left: control.x + 'px', top: control.y + 'px', width: control.width + 'px', height: control.height + 'px',
        });
        if (isButton) {
          node.addEventListener('click', () => {
            page.pressedAt = performance.now();
            post('api/press', {placement: placement.name, panel: panel.id, control: control.id});
          });
        }
        surface.append(node);
      }
    }
    surfaces.push(surface);
  }
  return surfaces;
}

function buildCard(placement) {
  const parts = {};
  parts.name = el('span', {class: 'name', text: placement.name});
  parts.runner = el('span', {class: 'runner'});
  parts.status = el('span', {class: 'status'});
  parts.why = el('div', {class: 'why'});
  parts.note = el('div', {class: 'note'});
  parts.surfaces = el('div', {class: 'surfaces'});
  parts.books = el('div', {class: 'books'});
  parts.rule = el('div', {class: 'rule'});
  parts.timers = el('div', {class: 'timers'});
  parts.sheets = el('div', {class: 'sheets bad'});
  parts.reach = el('div', {class: 'reach'});
  parts.reload = el('button', {class: 'reload', text: 'Reload', hidden: '',
    title: 'the library or a layout changed on disk: destroy, load the new files, create and configure again',
    onclick: () => post('api/restart', {placement: placement.name})});
  parts.restart = el('button', {class: 'restart', text: 'Restart',
    onclick: () => post('api/restart', {placement: placement.name})});
  parts.code = el('select', {class: 'event-code', title: 'an event of code 1, 6 or 7, with null data'},
    ...[1, 6, 7].map((code) => el('option', {value: String(code), text: 'code ' + code})));
  parts.event = el('button', {class: 'send-event', text: 'Event',
    onclick: () => post('api/event', {placement: placement.name, code: Number(parts.code.value)})});
  parts.input = el('input', {type: 'text', placeholder: 'parent message', title: 'a parent message to this placement, e.g. return=all'});
  parts.reply = el('div', {class: 'message-reply'});
  const send = async () => {
    const text = parts.input.value;
    if (!text) return;
    // The old reply goes at once, so that what shows is always this text's.
    parts.reply.textContent = '';
    delete parts.reply.dataset.answers;
    const outcome = await post('api/parent', {placement: placement.name, text});
    parts.reply.textContent = outcome.ok ? 'reply: ' + (outcome.reply == null ? 'null' : JSON.stringify(outcome.reply))
                                         : 'not sent: ' + (outcome.error || 'refused');
    parts.reply.dataset.answers = text;
  };
  parts.input.addEventListener('keydown', (event) => { if (event.key === 'Enter') send(); });
  const message = el('div', {class: 'message'}, parts.input, el('button', {text: 'Send', onclick: send}));
  parts.root = el('div', {class: 'card', 'data-placement': placement.name},
    el('div', {class: 'card-head'}, parts.name, el('span', {}, parts.runner, ' ', parts.status)),
    parts.note, parts.why, parts.sheets, parts.surfaces, parts.timers, parts.books, parts.rule, parts.reach,
    el('div', {class: 'card-actions'}, parts.restart, parts.reload, parts.code, parts.event), message, parts.reply);
  return parts;
}

function drawPlacement(parts, placement, state) {
  parts.root.className = 'card ' + placement.status;
  parts.root.dataset.status = placement.status;
  parts.root.dataset.generation = placement.generation;
  // Under Wine the card says which image runs: the shipped 32-bit DLL, or
  // the 64-bit test build where 32-bit Wine cannot start.
  parts.runner.textContent = placement.wineBits ? 'wine ' + placement.wineBits + '-bit' : placement.runner;
  parts.runner.className = 'runner ' + placement.runner;
  parts.runner.dataset.bits = placement.wineBits || '';
  parts.runner.title = placement.library;
  parts.status.textContent = placement.status;
  parts.status.className = 'status ' + placement.status;
  parts.why.textContent = placement.why;
  parts.note.textContent = placement.note;
  parts.reload.hidden = !placement.changed;
  parts.root.dataset.changed = placement.changed;
  // The surfaces are rebuilt when the panels' shape changes, updated in
  // place otherwise (so a press is drawn without a flicker).
  const shape = placement.generation + '|' + JSON.stringify(placement.panels.map(
    (p) => [p.id, p.path, p.error, p.width, p.height, p.controls.map((c) => c.id)]));
  if (parts.shape !== shape) {
    parts.surfaces.replaceChildren(...buildSurface(placement));
    // A card is as wide as its widest panel, so a layout never spills over.
    const widest = Math.max(0, ...placement.panels.map((p) => p.width || 0));
    parts.root.style.width = Math.max(210, widest + 18) + 'px';
    if (parts.generation !== placement.generation) parts.reply.textContent = '';
    parts.generation = placement.generation;
    parts.shape = shape;
  }
  for (const panel of placement.panels) {
    const surface = parts.surfaces.querySelector('.surface[data-panel="' + CSS.escape(panel.id) + '"]');
    if (!surface) continue;
    for (const control of panel.controls) {
      const node = surface.querySelector('[data-control="' + CSS.escape(control.id) + '"]');
      if (node) drawControl(node, control, state);
    }
  }
  const books = placement.books;
  const booksKey = [books.events, books.outstanding, books.ruleBreaks].join('|');
  if (parts.booksKey !== booksKey) {
    parts.books.replaceChildren(
      el('span', {text: 'events ' + books.events}),
      el('span', {class: books.outstanding ? 'bad' : '', 'data-books': 'outstanding',
        text: 'replies out ' + books.outstanding}),
      el('span', {class: books.ruleBreaks ? 'bad' : '', 'data-books': 'rule-breaks',
        text: 'rule breaks ' + books.ruleBreaks}));
    parts.booksKey = booksKey;
  }
  parts.rule.textContent = books.lastRuleBreak ? 'last rule break: ' + books.lastRuleBreak : '';
  parts.sheets.textContent = placement.unknownSheets.length
    ? 'not in the panel file\'s state_sheets, drawn plain: ' + placement.unknownSheets.join(', ') : '';
  parts.reach.textContent = state.recording || !placement.journal.steps ? '' : placement.journal.reach;
  parts.reach.className = 'reach' + (placement.journal.wholeLife ? '' : ' bad');
  parts.timers.textContent = placement.timers.map(
    (t) => 'timer ' + t.number + ': ' + t.interval + ' ms').join(' \u00b7 ');
}

function drawPlacements(state) {
  const area = document.getElementById('placements');
  const names = new Set(state.placements.map((p) => p.name));
  for (const [name, parts] of page.cards) {
    if (!names.has(name)) { parts.root.remove(); page.cards.delete(name); }
  }
  for (const placement of state.placements) {
    let parts = page.cards.get(placement.name);
    if (!parts) {
      parts = buildCard(placement);
      page.cards.set(placement.name, parts);
      area.append(parts.root);
    }
    drawPlacement(parts, placement, state);
  }
  const filter = document.getElementById('log-filter');
  for (const placement of state.placements) {
    if (![...filter.options].some((o) => o.value === placement.name))
      filter.append(el('option', {value: placement.name, text: placement.name}));
  }
}

// ---- the router

function drawRouter(state) {
  const box = document.getElementById('crosspoints');
  const latest = state.router.latest;
  const tables = [];
  for (const device of state.router.devices) {
    const made = new Map(device.crosspoints.map((p) => [p.destination, p.source]));
    const count = Math.max(device.destinations.length, ...device.crosspoints.map((p) => p.destination), 0);
    const rows = [];
    for (let d = 1; d <= count; d++) {
      const source = made.get(d);
      const isLatest = latest && latest.device === device.number && latest.destination === d;
      const row = el('tr', {'data-destination': d, 'data-source': source === undefined ? '' : source,
        class: isLatest ? 'latest' : ''},
      el('td', {text: d + ' ' + (device.destinations[d - 1] || '')}),
      el('td', {text: source === undefined ? '\u2013' : source + ' ' + (device.sources[source - 1] || '')}));
      rows.push(row);
    }
    tables.push(el('table', {class: 'xp', 'data-device': device.number},
      el('caption', {text: 'device ' + device.number + ' ' + device.name}),
      el('thead', {}, el('tr', {}, el('th', {text: 'destination'}), el('th', {text: 'source'}))),
      el('tbody', {}, ...rows)));
  }
  const key = JSON.stringify([state.router.devices.map((d) => d.crosspoints), latest && latest.seq]);
  if (box.dataset.key !== key) {
    box.replaceChildren(...tables);
    box.dataset.key = key;
  }
}

// ---- the log

function logLine(entry) {
  return el('div', {class: 'k-' + entry.kind},
    el('span', {class: 't', text: entry.time.toFixed(3).padStart(9) + ' '}),
    el('span', {class: 'p', text: (entry.placement || 'panel') + ' '}),
    el('span', {class: 'x', text: entry.kind + '  ' + entry.text}));
}

function shown(entry) {
  const filter = document.getElementById('log-filter').value;
  const search = document.getElementById('log-search').value.toLowerCase();
  if (filter !== '*' && entry.placement !== filter) return false;
  return !search || (entry.placement + ' ' + entry.kind + ' ' + entry.text).toLowerCase().includes(search);
}

function redrawLog() {
  const box = document.getElementById('log');
  const lines = page.log.filter(shown).slice(-logShown).map(logLine);
  box.replaceChildren(...lines);
  box.scrollTop = box.scrollHeight;
}

// New entries are drawn just after the next frame is painted, so a busy
// log never holds back the drawing of the panel itself.
function addLog(entries) {
  const last = page.log.length ? page.log[page.log.length - 1].seq : 0;
  const fresh = entries.filter((e) => e.seq > last);
  page.log.push(...fresh);
  if (page.log.length > 20000) page.log.splice(0, page.log.length - 20000);
  page.pendingLog = (page.pendingLog || []).concat(fresh);
  if (!page.logScheduled) {
    page.logScheduled = true;
    requestAnimationFrame(() => setTimeout(flushLog, 0));
  }
}

function flushLog() {
  page.logScheduled = false;
  const box = document.getElementById('log');
  const atEnd = box.scrollHeight - box.scrollTop - box.clientHeight < 30;
  const lines = page.pendingLog.filter(shown).slice(-logShown).map(logLine);
  page.pendingLog = [];
  box.append(...lines);
  while (box.childElementCount > logShown) box.firstChild.remove();
  if (atEnd) box.scrollTop = box.scrollHeight;
}

// ---- the whole page

function render(state) {
  page.state = state;
  document.getElementById('title').textContent = state.title || 'zorv workbench';
  document.getElementById('panel-file').textContent = state.panelFile;
  document.title = (state.title || 'zorv') + ' \u2014 workbench';
  document.getElementById('record').checked = state.recording;
  drawParent(state);
  drawPlacements(state);
  drawRouter(state);
  document.body.dataset.ready = state.placements.every((p) => p.status !== 'starting') ? 'yes' : 'no';
}

function connect() {
  const link = document.getElementById('connection');
  const events = new EventSource('api/events');
  events.addEventListener('open', () => { link.textContent = 'live'; link.className = 'badge on'; });
  events.addEventListener('error', () => { link.textContent = 'reconnecting…'; link.className = 'badge off'; });
  events.addEventListener('state', (event) => render(JSON.parse(event.data)));
  events.addEventListener('log', (event) => addLog(JSON.parse(event.data)));
}

document.getElementById('record').addEventListener('change', async (event) => {
  const outcome = await post('api/record', {on: event.target.checked});
  const note = document.getElementById('record-note');
  if (outcome.files) note.textContent = 'wrote ' + outcome.files.length + ' scenarios to ' + page.state.recordDir;
  else if (event.target.checked && outcome.ok) note.textContent = 'recording\u2026';
  else if (!outcome.ok) note.textContent = 'still recording: ' + (outcome.error || '');
  note.dataset.files = JSON.stringify(outcome.files || []);
});
document.getElementById('log-filter').addEventListener('change', redrawLog);
document.getElementById('log-search').addEventListener('input', redrawLog);
connect();
