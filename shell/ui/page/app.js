// The page of `tarnshell ui`. Thin by design: the server sends every text ready to show
// (cells, menus, tips, sheets) and every order; this script lays them out, keeps the
// selection and the focus, and sends the user's choices back. Text from the network is only
// ever set as text (textContent, value), never parsed as markup.
'use strict';

const $ = (id) => document.getElementById(id);

const state = {
  folder: 'incoming',
  tree: null,
  band: null,
  view: null,          // the last folder answer: columns, sort, widths, total, rows
  sort: null,          // { column, desc } the user chose; null: the folder's stored view state
  rows: new Map(),     // position -> row, for the window fetched
  window: { offset: 0, count: 0 },
  versions: null,
  selected: new Set(), // keys
  focusIndex: 0,
  anchorIndex: 0,
  widths: [],
  fetching: null,
  refetch: false,
  reachable: true,
  search: 'idle',
};

const FOLDERS = ['root', 'incoming', 'shared', 'results'];
const LIST_OF = { incoming: 'downloads', shared: 'shared', results: 'results' };
const ICONS = { root: 'root', incoming: 'incoming', shared: 'shared', results: 'results', search: 'search' };

// ---- talking to the server

async function api(path, params) {
  const query = params ? '?' + new URLSearchParams(params) : '';
  const res = await fetch('/api/' + path + query, { credentials: 'same-origin' });
  return answer(res);
}

async function post(path, params) {
  const res = await fetch('/api/' + path, {
    method: 'POST', credentials: 'same-origin', body: new URLSearchParams(params),
  });
  return answer(res);
}

async function answer(res) {
  if (res.status === 403) {
    showGone('This page is no longer admitted: open the address that tarnshell ui printed.');
    throw new Error('forbidden');
  }
  const body = await res.json().catch(() => ({}));
  if (!res.ok) throw new Error(body.error || ('HTTP ' + res.status));
  return body;
}

function el(tag, props, ...children) {
  const node = document.createElement(tag);
  if (props) {
    for (const [k, v] of Object.entries(props)) {
      if (k === 'text') node.textContent = v;
      else if (k === 'class') node.className = v;
      else if (k in node && typeof v !== 'string') node[k] = v;
      else node.setAttribute(k, v);
    }
  }
  for (const child of children) if (child) node.append(child);
  return node;
}

function icon(name) {
  return el('img', { src: '/ui/icons/' + name + '.svg', alt: '' });
}

let toastTimer = 0;
function toast(message) {
  const t = $('toast');
  t.textContent = message;
  t.hidden = false;
  clearTimeout(toastTimer);
  toastTimer = setTimeout(() => { t.hidden = true; }, 5000);
}

function failed(error) {
  if (error.message !== 'forbidden') toast(error.message);
}

// ---- the folder tree and the toolbar

async function loadTree() {
  state.tree = await api('tree');
  const tree = $('tree');
  tree.replaceChildren();
  const root = treeItem('root', state.tree.root.title, 'root');
  const group = el('ul', { role: 'group' });
  for (const child of state.tree.root.children) {
    group.append(treeItem(child.name, child.title, child.builtIn ? child.name : 'root', child.comment));
  }
  root.setAttribute('aria-expanded', 'true');
  root.append(group);
  tree.append(root, treeItem('results', state.tree.results.title, 'results'));

  const bar = $('toolbar-buttons');
  bar.replaceChildren();
  for (const button of state.tree.toolbar) {
    const b = el('button', { type: 'button', 'data-command': button.command },
                 icon(ICONS[button.command] || 'root'), document.createTextNode(button.text));
    b.addEventListener('click', () => runToolbar(button.command));
    bar.append(b);
  }
  markTree();
}

function treeItem(name, title, iconName, comment) {
  const item = el('li', { role: 'treeitem', tabindex: '-1', 'data-folder': name });
  const node = el('div', { class: 'node' }, icon(iconName), el('span', { text: title }));
  if (comment) node.title = comment;
  item.append(node);
  node.addEventListener('click', () => openFolder(name));
  return item;
}

function treeItems() { return [...$('tree').querySelectorAll('[role="treeitem"]')]; }

function markTree() {
  for (const item of treeItems()) {
    const current = item.dataset.folder === state.folder;
    item.setAttribute('aria-selected', String(current));
    item.tabIndex = current ? 0 : -1;
  }
  for (const b of $('toolbar-buttons').children) {
    const c = b.dataset.command;
    // A view hides the button of its own folder.
    b.hidden = c === state.folder;
    if (c === 'search') b.setAttribute('aria-pressed', String(!$('band').hidden));
  }
}

function runToolbar(command) {
  if (command === 'search') {
    $('band').hidden = !$('band').hidden;
    markTree();
    if (!$('band').hidden) {
      if (state.folder !== 'results') openFolder('results');
      $('keyword').focus();
    }
    return;
  }
  openFolder(command);
}

$('tree').addEventListener('keydown', (e) => {
  const items = treeItems();
  const at = items.indexOf(document.activeElement);
  let next = -1;
  if (e.key === 'ArrowDown') next = Math.min(items.length - 1, at + 1);
  else if (e.key === 'ArrowUp') next = Math.max(0, at - 1);
  else if (e.key === 'Home') next = 0;
  else if (e.key === 'End') next = items.length - 1;
  else if (e.key === 'Enter' || e.key === ' ') {
    if (at >= 0) openFolder(items[at].dataset.folder);
    e.preventDefault();
    return;
  } else return;
  e.preventDefault();
  items.forEach((item, i) => { item.tabIndex = i === next ? 0 : -1; });
  items[next].focus();
});

// ---- folders

function openFolder(name, fromHash) {
  if (!fromHash && location.hash !== '#' + name) {
    location.hash = name;  // hashchange opens it
    return;
  }
  state.folder = name;
  state.view = null;
  state.sort = null;
  state.rows.clear();
  state.selected.clear();
  state.focusIndex = state.anchorIndex = 0;
  for (const old of rendered.values()) old.element.remove();
  rendered = new Map();
  $('list-body').scrollTop = 0;
  markTree();
  refresh(true);
}

// The folder the address names; "#search", as the desktop's search entry opens the page, is
// the results with the search band.
function openAddress(name) {
  if (name !== 'search') return openFolder(name || 'incoming', true);
  $('band').hidden = false;
  location.replace('#results');  // hashchange opens it
  $('keyword').focus();
}

window.addEventListener('hashchange', () => openAddress(location.hash.slice(1)));

function rowHeight() {
  return parseFloat(getComputedStyle(document.documentElement).getPropertyValue('--row')) *
         parseFloat(getComputedStyle(document.documentElement).fontSize) || 28;
}

function visibleRange() {
  const body = $('list-body');
  const h = rowHeight();
  const first = Math.floor(body.scrollTop / h);
  const count = Math.ceil(body.clientHeight / h) + 1;
  return { first, count };
}

// Fetches the rows around what is visible (again when the list changed) and redraws.
async function refresh(full) {
  if (state.fetching) { state.refetch = true; return; }
  const { first, count } = visibleRange();
  const offset = Math.max(0, first - 40);
  const params = { f: state.folder, offset, count: count + 80 };
  if (state.sort) { params.sort = state.sort.column; params.desc = state.sort.desc ? 1 : 0; }
  state.fetching = api('folder', params);
  try {
    const view = await state.fetching;
    // A folder the registry adds answers as the root's kind; any other answer is stale.
    if (view.folder !== (FOLDERS.includes(state.folder) ? state.folder : 'root')) return;
    // An answer asked for before the user sorted again: the next one will be in order.
    if (state.sort && (view.sort !== state.sort.column || view.desc !== state.sort.desc)) {
      state.refetch = true;
      return;
    }
    state.sort = { column: view.sort, desc: view.desc };
    const columnsChanged = full || !state.view || state.view.columns.length !== view.columns.length;
    state.view = view;
    state.window = { offset: view.offset, count: view.rows.length };
    state.rows.clear();
    view.rows.forEach((row, i) => state.rows.set(view.offset + i, row));
    if (columnsChanged) {
      state.widths = view.widths.length === view.columns.length ? view.widths.slice()
                                                                : view.columns.map((c) => c.width);
      drawHead();
    }
    drawRows();
  } catch (error) {
    failed(error);
  } finally {
    state.fetching = null;
    if (state.refetch) { state.refetch = false; refresh(false); }
  }
}

function drawHead() {
  const head = $('list-head');
  head.replaceChildren();
  $('folder-title').textContent = state.view.title;
  document.title = state.view.title + ' - TARN';
  state.view.columns.forEach((column, i) => {
    const cell = el('div', {
      class: 'col' + (column.align === 'right' ? ' right' : ''), role: 'columnheader', tabindex: '-1',
      text: column.title, 'data-column': String(i),
    });
    cell.style.width = columnWidth(i);
    if (state.view.sort === i) cell.setAttribute('aria-sort', state.view.desc ? 'descending' : 'ascending');
    cell.addEventListener('click', (e) => { if (!e.target.classList.contains('grip')) sortBy(i); });
    cell.addEventListener('keydown', (e) => {
      if (e.key === 'Enter' || e.key === ' ') { sortBy(i); e.preventDefault(); }
    });
    const grip = el('span', { class: 'grip', 'aria-hidden': 'true' });
    grip.addEventListener('pointerdown', (e) => startResize(e, i, cell));
    cell.append(grip);
    head.append(cell);
  });
}

// Header and cells alike: the width in characters plus the padding either side.
function columnWidth(i) { return 'calc(' + state.widths[i] + 'ch + 1rem)'; }

function sortBy(column) {
  const desc = state.sort && state.sort.column === column ? !state.sort.desc : false;
  state.sort = { column, desc };
  state.view.sort = column;
  state.view.desc = desc;
  saveViewState();
  drawHead();
  refresh(false);
}

function startResize(e, column, cell) {
  e.preventDefault();
  const startX = e.clientX;
  const ch = cell.getBoundingClientRect().width / state.widths[column];
  const start = state.widths[column];
  const move = (m) => {
    state.widths[column] = Math.max(2, Math.round(start + (m.clientX - startX) / ch));
    cell.style.width = columnWidth(column);
    drawRows();
  };
  const up = () => {
    window.removeEventListener('pointermove', move);
    window.removeEventListener('pointerup', up);
    saveViewState();
  };
  window.addEventListener('pointermove', move);
  window.addEventListener('pointerup', up);
}

function saveViewState() {
  if (!state.view || !state.sort || !FOLDERS.includes(state.folder)) return;
  post('viewstate', {
    f: state.folder, sort: state.sort.column, desc: state.sort.desc ? 1 : 0, widths: state.widths.join(','),
  }).catch(failed);
}

let rendered = new Map();  // position -> { element, signature }

function drawRow(view, index, row, h) {
  const r = el('div', {
    class: 'row', role: 'row', 'data-index': String(index), 'data-key': String(row.key),
    'aria-rowindex': String(index + 1),
  });
  r.style.top = (index * h) + 'px';
  if (row.state && row.state !== 'running') r.classList.add(row.state);
  if (index % 2) r.classList.add('odd');
  r.setAttribute('aria-selected', String(state.selected.has(row.key)));
  if (index === state.focusIndex) r.classList.add('focused');
  row.cells.forEach((text, i) => {
    const column = view.columns[i];
    const cell = el('div', { class: 'cell' + (column.align === 'right' ? ' right' : ''), role: 'gridcell' });
    cell.style.width = columnWidth(i);
    if (state.folder === 'incoming' && i === 4 && typeof row.progress === 'number') {
      const bar = el('div', { class: 'bar' }, el('span'), el('em', { text }));
      bar.firstChild.style.width = (row.progress / 10) + '%';
      bar.setAttribute('role', 'progressbar');
      bar.setAttribute('aria-valuenow', String(row.progress / 10));
      bar.setAttribute('aria-valuemin', '0');
      bar.setAttribute('aria-valuemax', '100');
      cell.append(bar);
    } else {
      cell.textContent = text;
    }
    r.append(cell);
  });
  return r;
}

function drawRows() {
  const view = state.view;
  const spacer = $('list-spacer');
  const h = rowHeight();
  spacer.style.height = (view.total * h) + 'px';
  const totalWidth = state.widths.reduce((a, b) => a + b, 0);
  spacer.style.width = 'calc(' + totalWidth + 'ch + ' + (state.widths.length * 1) + 'rem)';
  $('list-head').scrollLeft = $('list-body').scrollLeft;
  // Rows whose content, place and marks did not change keep their elements: with the lists
  // changing many times a second, only what changed is built again.
  const kept = new Map();
  for (const [index, row] of state.rows) {
    const signature = JSON.stringify([row, state.selected.has(row.key), index === state.focusIndex,
                                      state.widths, h, state.folder]);
    const old = rendered.get(index);
    if (old && old.signature === signature) { kept.set(index, old); continue; }
    if (old) old.element.remove();
    const r = drawRow(view, index, row, h);
    spacer.append(r);
    kept.set(index, { element: r, signature });
  }
  for (const [index, old] of rendered) if (!kept.has(index)) old.element.remove();
  rendered = kept;
  $('empty').hidden = view.total !== 0;
  $('st-items').textContent = view.total + (view.total === 1 ? ' item' : ' items') +
    (state.selected.size ? ', ' + state.selected.size + ' selected' : '');
  $('list').setAttribute('aria-rowcount', String(view.total));
}

// Whether rows on screen lie outside the window fetched.
function needsRows() {
  if (!state.view) return false;
  const { first, count } = visibleRange();
  const w = state.window;
  return first < w.offset || Math.min(first + count, state.view.total) > w.offset + w.count;
}

$('list-body').addEventListener('scroll', () => {
  $('list-head').scrollLeft = $('list-body').scrollLeft;
  if (needsRows()) refresh(false);
});
window.addEventListener('resize', () => refresh(false));

// ---- selection, keyboard, menus

function rowAt(index) { return state.rows.get(index); }

function selectIndex(index, { extend = false, toggle = false } = {}) {
  if (!state.view || state.view.total === 0) return;
  index = Math.max(0, Math.min(state.view.total - 1, index));
  if (extend) {
    state.selected.clear();
    const [a, b] = [Math.min(state.anchorIndex, index), Math.max(state.anchorIndex, index)];
    for (let i = a; i <= b; i++) { const row = rowAt(i); if (row) state.selected.add(row.key); }
  } else if (toggle) {
    const row = rowAt(index);
    if (row) { if (state.selected.has(row.key)) state.selected.delete(row.key); else state.selected.add(row.key); }
    state.anchorIndex = index;
  } else {
    state.selected.clear();
    const row = rowAt(index);
    if (row) state.selected.add(row.key);
    state.anchorIndex = index;
  }
  state.focusIndex = index;
  scrollToIndex(index);
  drawRows();
}

function scrollToIndex(index) {
  const body = $('list-body');
  const h = rowHeight();
  const top = index * h;
  if (top < body.scrollTop) body.scrollTop = top;
  else if (top + h > body.scrollTop + body.clientHeight) body.scrollTop = top + h - body.clientHeight;
}

$('list-spacer').addEventListener('click', (e) => {
  const row = e.target.closest('.row');
  if (!row) return;
  selectIndex(Number(row.dataset.index), { extend: e.shiftKey, toggle: e.ctrlKey || e.metaKey });
  $('list').focus({ preventScroll: true });
});
$('list-spacer').addEventListener('dblclick', (e) => {
  if (e.target.closest('.row')) runDefault();
});
$('list').addEventListener('contextmenu', (e) => {
  const row = e.target.closest('.row');
  if (!row) return;
  e.preventDefault();
  const key = Number(row.dataset.key);
  if (!state.selected.has(key)) selectIndex(Number(row.dataset.index));
  openMenu(e.clientX, e.clientY);
});

$('list').addEventListener('keydown', (e) => {
  if (!state.view) return;
  const page = Math.max(1, visibleRange().count - 1);
  const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: page, PageUp: -page };
  if (e.key in moves) {
    const target = state.focusIndex + moves[e.key];
    if (e.ctrlKey) { state.focusIndex = Math.max(0, Math.min(state.view.total - 1, target)); scrollToIndex(state.focusIndex); drawRows(); }
    else selectIndex(target, { extend: e.shiftKey });
  } else if (e.key === 'Home') selectIndex(0, { extend: e.shiftKey });
  else if (e.key === 'End') selectIndex(state.view.total - 1, { extend: e.shiftKey });
  else if (e.key === ' ' && e.ctrlKey) selectIndex(state.focusIndex, { toggle: true });
  else if (e.key === 'a' && (e.ctrlKey || e.metaKey)) {
    for (const row of state.rows.values()) state.selected.add(row.key);
    drawRows();
  } else if (e.key === 'Enter') runDefault();
  else if (e.key === 'ContextMenu' || (e.key === 'F10' && e.shiftKey)) {
    if (state.selected.size === 0) selectIndex(state.focusIndex);
    const focused = $('list-spacer').querySelector('.row.focused');
    const box = (focused || $('list')).getBoundingClientRect();
    openMenu(box.left + 24, box.top + box.height / 2);
  } else if (e.key === 'F2') renameFocused();
  else if (e.key === 'Delete' && state.folder === 'incoming') runVerb('cancel');
  else return;
  e.preventDefault();
});

function selectedKeys() { return [...state.selected]; }

async function openMenu(x, y) {
  const keys = selectedKeys();
  if (keys.length === 0) return;
  let menu;
  try { menu = await api('menu', { f: state.folder, keys: keys.join(',') }); } catch (error) { failed(error); return; }
  const box = $('menu');
  box.replaceChildren();
  for (const entry of menu.entries) {
    if (entry.separator) { box.append(el('hr', { role: 'separator' })); continue; }
    const item = el('button', {
      type: 'button', role: 'menuitem', tabindex: '-1', text: entry.text,
      class: entry.default ? 'default' : '', 'data-verb': entry.verb,
    });
    if (!entry.enabled) item.setAttribute('aria-disabled', 'true');
    item.addEventListener('click', () => {
      if (!entry.enabled) return;
      closeMenu();
      runVerb(entry.verb);
    });
    box.append(item);
  }
  box.hidden = false;
  const rect = box.getBoundingClientRect();
  box.style.left = Math.min(x, window.innerWidth - rect.width - 4) + 'px';
  box.style.top = Math.min(y, window.innerHeight - rect.height - 4) + 'px';
  const first = box.querySelector('[role="menuitem"]:not([aria-disabled])') || box.querySelector('[role="menuitem"]');
  if (first) first.focus();
}

function closeMenu(refocus = true) {
  if ($('menu').hidden) return;
  $('menu').hidden = true;
  if (refocus) $('list').focus({ preventScroll: true });
}

$('menu').addEventListener('keydown', (e) => {
  const items = [...$('menu').querySelectorAll('[role="menuitem"]')];
  const at = items.indexOf(document.activeElement);
  if (e.key === 'ArrowDown') items[(at + 1) % items.length].focus();
  else if (e.key === 'ArrowUp') items[(at - 1 + items.length) % items.length].focus();
  else if (e.key === 'Escape' || e.key === 'Tab') closeMenu();
  else return;
  e.preventDefault();
});
document.addEventListener('pointerdown', (e) => { if (!$('menu').contains(e.target)) closeMenu(false); });

function runDefault() {
  const verbs = { root: 'open', incoming: 'properties', shared: 'open', results: 'download' };
  if (state.selected.size === 0) selectIndex(state.focusIndex);
  runVerb(verbs[state.folder] || 'open');
}

async function runVerb(verb) {
  const keys = selectedKeys();
  const focused = rowAt(state.focusIndex);
  const key = focused && state.selected.has(focused.key) ? focused.key : keys[0];
  if (verb === 'about') return showAbout();
  if (verb === 'properties') return showProperties(key);
  if (verb === 'open' && state.folder === 'root') {
    const row = [...state.rows.values()].find((r) => r.key === key);
    if (row) openFolder(row.target);
    return;
  }
  try {
    const result = await post('verb', { f: state.folder, verb, keys: keys.join(',') });
    if (result.failed) toast(result.failed + ' of ' + (result.done + result.failed) + ' could not be done');
    else if (verb === 'download') toast(keys.length === 1 ? 'Download started' : keys.length + ' downloads started');
  } catch (error) { failed(error); }
}

// ---- info tips

let tipTimer = 0;
let tipFor = null;
$('list-spacer').addEventListener('pointerover', (e) => {
  const row = e.target.closest('.row');
  if (!row || row.dataset.key === tipFor) return;
  hideTip();
  tipFor = row.dataset.key;
  const { clientX: x, clientY: y } = e;
  tipTimer = setTimeout(async () => {
    try {
      const tip = await api('tip', { f: state.folder, key: row.dataset.key });
      if (tipFor !== row.dataset.key) return;
      const box = $('tip');
      box.textContent = tip.text;
      box.hidden = false;
      box.style.left = Math.min(x + 12, window.innerWidth - box.offsetWidth - 4) + 'px';
      box.style.top = Math.min(y + 16, window.innerHeight - box.offsetHeight - 4) + 'px';
    } catch (error) { /* the item went away */ }
  }, 700);
});
$('list-spacer').addEventListener('pointerleave', hideTip);
function hideTip() { clearTimeout(tipTimer); tipFor = null; $('tip').hidden = true; }

// ---- dialogs

function openDialog(title, body, buttons) {
  const dialog = $('dialog');
  $('dialog-title').textContent = title;
  $('dialog-body').replaceChildren(...body);
  $('dialog-buttons').replaceChildren(...buttons);
  if (!dialog.open) dialog.showModal();
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true });
  });
}

function dialogButton(text, value, isDefault) {
  const b = el('button', { type: 'submit', value, text });
  if (isDefault) b.setAttribute('autofocus', '');
  return b;
}

function fieldList(fields) {
  const dl = el('dl', { class: 'fields' });
  for (const f of fields) dl.append(el('dt', { text: f.label }), el('dd', { text: f.value }));
  return dl;
}

function showAbout() {
  openDialog(state.tree.aboutTitle, [fieldList(state.tree.about)], [dialogButton('OK', 'ok', true)]);
}

async function showProperties(key) {
  if (key === undefined) return;
  const folder = state.folder;
  let sheet;
  try { sheet = await api('props', { f: folder, key }); } catch (error) { failed(error); return; }
  const tabs = el('div', { class: 'tabs', role: 'tablist' });
  const pages = [];
  let alternateField = null;
  sheet.pages.forEach((page, i) => {
    const tab = el('button', { type: 'button', role: 'tab', text: page.title, id: 'tab-' + i, 'aria-controls': 'page-' + i });
    const panel = el('div', { class: 'page', role: 'tabpanel', id: 'page-' + i, 'aria-labelledby': 'tab-' + i });
    if (page.kind === 'general' || page.kind === 'about') panel.append(fieldList(page.fields));
    if (page.progress) {
      const bar = el('progress', { class: 'progress', max: String(page.progress.range), value: String(page.progress.position) });
      panel.append(bar, el('div', { text: page.progress.text }));
    }
    if (page.kind === 'alternate') {
      alternateField = el('input', { type: 'text', id: 'alt-name', value: page.fileName });
      alternateField.value = page.fileName;
      const list = el('select', { class: 'alternates', size: '6', id: 'alt-list', 'aria-label': 'Alternate File Names' });
      for (const name of page.names) list.append(el('option', { text: name, value: name }));
      list.addEventListener('change', () => { alternateField.value = list.value; });
      panel.append(el('p', { text: page.prompt }), el('label', { for: 'alt-name', text: 'File:' }), alternateField,
        el('label', { for: 'alt-list', text: 'Alternate File Names' }), list);
    }
    if (page.kind === 'summary') {
      const table = el('table', { class: 'summary' });
      table.append(el('tr', null, el('th', { text: sheet.property }), el('th', { text: sheet.value })));
      for (const group of page.groups) {
        table.append(el('tr', { class: 'group' }, el('th', { colspan: '2', text: group.name })));
        for (const row of group.rows) table.append(el('tr', null, el('td', { text: row.label }), el('td', { text: row.value })));
      }
      panel.append(table);
    }
    tab.addEventListener('click', () => showPage(i));
    tab.addEventListener('keydown', (e) => {
      const n = sheet.pages.length;
      if (e.key === 'ArrowRight') { showPage((i + 1) % n); e.preventDefault(); }
      if (e.key === 'ArrowLeft') { showPage((i - 1 + n) % n); e.preventDefault(); }
    });
    tabs.append(tab);
    pages.push(panel);
  });
  function showPage(n) {
    [...tabs.children].forEach((t, i) => {
      t.setAttribute('aria-selected', String(i === n));
      t.tabIndex = i === n ? 0 : -1;
      pages[i].hidden = i !== n;
    });
    tabs.children[n].focus();
  }
  const buttons = [dialogButton('OK', 'ok', true), dialogButton('Cancel', 'cancel')];
  const canRename = alternateField && (folder === 'incoming' || folder === 'shared');
  if (canRename) buttons.splice(1, 0, dialogButton('Apply', 'apply'));
  const done = openDialog(sheet.caption, [tabs, ...pages], buttons);
  showPage(0);
  const result = await done;
  if (canRename && (result === 'ok' || result === 'apply')) {
    const original = sheet.pages.find((p) => p.kind === 'alternate').fileName;
    if (alternateField.value && alternateField.value !== original) rename(folder, key, alternateField.value);
  }
}

async function renameFocused() {
  if (state.folder !== 'incoming' && state.folder !== 'shared') return;
  const row = rowAt(state.focusIndex);
  if (!row) return;
  const input = el('input', { type: 'text', id: 'rename-name', 'aria-label': 'New name' });
  input.value = row.cells[0];
  const result = await openDialog('Rename', [input], [dialogButton('OK', 'ok'), dialogButton('Cancel', 'cancel')]);
  if (result === 'ok' && input.value && input.value !== row.cells[0]) rename(state.folder, row.key, input.value);
}

async function rename(folder, key, name) {
  try {
    const result = await post('rename', { f: folder, key, name });
    if (!result.renamed) toast('The file could not be renamed');
  } catch (error) { failed(error); }
}

// The completion prompt, when no desktop notification showed it.
let promptOpen = false;
async function showPrompts() {
  if (promptOpen) return;
  let answer;
  try { answer = await api('prompts'); } catch (error) { return; }
  const prompt = answer.prompts[0];
  if (!prompt) return;
  promptOpen = true;
  const check = el('input', { type: 'checkbox', id: 'never-again' });
  const label = el('label', { class: 'check', for: 'never-again' }, check,
                   el('span', { text: prompt.check.replace('&', '') }));
  const result = await openDialog(prompt.title, [el('p', { text: prompt.message }), label],
                                  [dialogButton('OK', 'ok', true), dialogButton('Cancel', 'cancel')]);
  promptOpen = false;
  try {
    await post('prompt', { id: prompt.id, answer: result === 'ok' ? 'ok' : 'cancel', never: check.checked ? 1 : 0 });
  } catch (error) { failed(error); }
  showPrompts();
}

// ---- the search band

async function loadBand() {
  state.band = await api('band');
  const type = $('type');
  type.replaceChildren(...state.band.types.map((t, i) => el('option', { value: String(i), text: t.text })));
  const mode = $('size-mode');
  mode.options[0].textContent = state.band.atLeast;
  mode.options[1].textContent = state.band.atMost;
  // "&P2P Search": the character after "&" is the access key.
  const text = state.band.button;
  const at = text.indexOf('&');
  const button = $('search-button');
  button.replaceChildren();
  if (at >= 0 && at + 1 < text.length) {
    button.append(text.slice(0, at), el('span', { class: 'u', text: text[at + 1] }), text.slice(at + 2));
    button.accessKey = text[at + 1].toLowerCase();
  } else button.textContent = text;
  $('band-title').textContent = state.band.title;
}

$('search-form').addEventListener('change', (e) => {
  if (e.target.name === 'size') {
    const specified = e.target.value === 'specified';
    $('size-mode').disabled = !specified;
    $('size-mb').disabled = !specified;
  }
});

$('search-form').addEventListener('submit', async (e) => {
  e.preventDefault();
  const form = new FormData($('search-form'));
  try {
    await post('search', {
      keyword: form.get('keyword') || '', type: form.get('type') || '0', size: form.get('size') || 'any',
      mode: form.get('mode') || 'least', mb: form.get('mb') || '',
    });
    showSearchState('searching');
    if (state.folder !== 'results') openFolder('results');
  } catch (error) { failed(error); }
});

function showSearchState(search) {
  state.search = search;
  const s = $('search-state');
  s.classList.toggle('searching', search === 'searching');
  s.textContent = search === 'searching' ? 'Searching\u2026' : search === 'done' ? 'Search finished.' : '';
}

// ---- links: the paste field and the drop zone

async function addLinks(text) {
  try {
    const result = await post('link', { link: text });
    const refused = result.links.filter((l) => !l.accepted);
    toast(refused.length ? refused.map((l) => l.message).join('\n') : result.links.map((l) => l.message).join('\n'));
    return refused.length === 0;
  } catch (error) { failed(error); return false; }
}

$('link-form').addEventListener('submit', async (e) => {
  e.preventDefault();
  const input = $('link-input');
  if (await addLinks(input.value)) input.value = '';
});

const list = $('content');
let dragDepth = 0;
list.addEventListener('dragenter', (e) => { e.preventDefault(); dragDepth++; $('drop-hint').hidden = false; });
list.addEventListener('dragleave', () => { if (--dragDepth <= 0) { dragDepth = 0; $('drop-hint').hidden = true; } });
list.addEventListener('dragover', (e) => { e.preventDefault(); e.dataTransfer.dropEffect = 'copy'; });
list.addEventListener('drop', (e) => {
  e.preventDefault();
  dragDepth = 0;
  $('drop-hint').hidden = true;
  const text = e.dataTransfer.getData('text/uri-list') || e.dataTransfer.getData('text/plain');
  const links = text.split(/\r?\n/).filter((l) => l && !l.startsWith('#')).join('\n');
  if (links) addLinks(links);
});

// ---- live state: the event stream

function applyState(s) {
  const previous = state.versions;
  state.versions = s.versions;
  const reachable = s.reachable;
  document.body.classList.toggle('unreachable', !reachable);
  $('offline').hidden = reachable;
  $('gone').hidden = true;
  if (reachable !== state.reachable) { state.reachable = reachable; if (reachable) refresh(false); }
  const st = s.status;
  $('st-server').textContent = st.connected ? 'Server: ' + (st.server || st.address) : (reachable ? 'Not connected' : 'Daemon not reachable');
  $('st-id').textContent = st.id;
  $('st-users').textContent = st.connected ? 'Users: ' + st.users : '';
  $('st-files').textContent = st.connected ? 'Files: ' + st.files : '';
  $('st-up').textContent = 'Up: ' + st.up;
  $('st-down').textContent = 'Down: ' + st.down;
  if (s.search !== state.search) showSearchState(s.search);
  const channel = LIST_OF[state.folder];
  if (previous && channel && previous[channel] !== s.versions[channel]) refresh(false);
  if (!previous || previous.prompts !== s.versions.prompts) showPrompts();
}

function showGone(message) {
  $('gone').hidden = false;
  if (message) $('gone').querySelector('p').textContent = message;
}

function follow() {
  const events = new EventSource('/api/events');
  events.onmessage = (e) => applyState(JSON.parse(e.data));
  events.onerror = () => {
    // tarnshell itself went away (or restarted with a new token): the browser retries.
    if (events.readyState !== EventSource.OPEN) showGone();
  };
}

// ---- start

async function start() {
  try {
    await Promise.all([loadTree(), loadBand()]);
  } catch (error) { failed(error); return; }
  openAddress(location.hash.slice(1));
  follow();
}

start();
