// The station server's front panel: the picture with its buttons (laid out
// from /api/panel, the window's own geometry), the unit's state as the
// events socket pushes it, the commands as API calls, and set-up uploads.
'use strict';

const TOKEN_KEY = 'koraveld-token';
const PICTURE = { width: 520, height: 312 }; // replaced by the server's figures
const DIRECTION_NAMES = { normal: 'normal', 180: '180\u00b0', bidir: 'bidirectional' };

let token = localStorage.getItem(TOKEN_KEY) || '';
let asking = null;
let lastAnnounced = '';
let announceTimer = 0;
let socketDelay = 500;

const $ = (id) => document.getElementById(id);

function authHeaders(extra) {
  const headers = Object.assign({}, extra || {});
  if (token) headers.Authorization = 'Bearer ' + token;
  return headers;
}

// Asks for the token once; every request that met a 401 waits for it.
function askToken() {
  if (!asking) {
    asking = new Promise((resolve) => {
      const dialog = $('token-dialog');
      const input = $('token');
      input.value = '';
      dialog.addEventListener('close', function done() {
        dialog.removeEventListener('close', done);
        token = input.value.trim();
        if (token) localStorage.setItem(TOKEN_KEY, token);
        asking = null;
        resolve();
      });
      dialog.showModal();
    });
  }
  return asking;
}

async function api(path, options) {
  for (;;) {
    const init = Object.assign({}, options || {});
    init.headers = authHeaders(init.headers);
    const response = await fetch(path, init);
    if (response.status !== 401) return response;
    localStorage.removeItem(TOKEN_KEY);
    await askToken();
  }
}

function showError(text) {
  const error = $('error');
  error.textContent = text || '';
  error.hidden = !text;
}

async function post(path, body) {
  showError('');
  try {
    const response = await api(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body || {}),
    });
    if (!response.ok) {
      const reply = await response.json().catch(() => ({}));
      showError((reply.error || response.statusText) + (reply.reason ? ': ' + reply.reason : ''));
    }
  } catch (e) {
    showError('the server cannot be reached');
  }
}

function place(element, area) {
  element.style.left = (100 * area.x / PICTURE.width) + '%';
  element.style.top = (100 * area.y / PICTURE.height) + '%';
  element.style.width = (100 * area.width / PICTURE.width) + '%';
  element.style.height = (100 * area.height / PICTURE.height) + '%';
}

function areaName(area) {
  switch (area.action) {
    case 'band': return 'Band ' + area.band + ' m';
    case 'step': return (area.khz < 0 ? 'Down ' : 'Up ') + Math.abs(area.khz) + ' kHz';
    case 'direction': return 'Direction ' + DIRECTION_NAMES[area.direction];
    case 'retract': return 'Retract the elements';
    default: return area.label;
  }
}

function showMarker(area) {
  const marker = $('marker');
  marker.style.left = (100 * area.x / PICTURE.width) + '%';
  marker.style.top = (100 * (area.y + 30) / PICTURE.height) + '%';
  marker.style.width = (100 * 65 / PICTURE.width) + '%';
  marker.hidden = false;
}

function click(area) {
  switch (area.action) {
    case 'band': return post('/api/band', { band: area.band });
    case 'step': return post('/api/step', { khz: area.khz });
    case 'direction':
      showMarker(area);
      return post('/api/tune', { direction: area.direction });
    case 'retract': {
      const dialog = $('retract-dialog');
      dialog.returnValue = '';
      dialog.addEventListener('close', function done() {
        dialog.removeEventListener('close', done);
        if (dialog.returnValue === 'retract') post('/api/retract');
      });
      dialog.showModal();
      return undefined;
    }
    default: return undefined;
  }
}

async function buildPanel() {
  const response = await api('/api/panel');
  const layout = await response.json();
  PICTURE.width = layout.width;
  PICTURE.height = layout.height;
  place($('frequency'), layout.frequency);
  place($('band-lcd'), layout.band);
  place($('moving'), layout.moving);
  const panel = $('panel');
  for (const area of layout.areas) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'area';
    button.setAttribute('aria-label', areaName(area));
    button.title = areaName(area);
    place(button, area);
    button.addEventListener('click', () => click(area));
    panel.insertBefore(button, $('marker'));
  }
}

function announce(text) {
  clearTimeout(announceTimer);
  announceTimer = setTimeout(() => {
    if (text !== lastAnnounced) {
      lastAnnounced = text;
      $('announce').textContent = text;
    }
  }, 800);
}

function render(state) {
  const link = $('link');
  link.className = 'link ' + state.link;
  link.textContent = 'Link: ' + state.link;
  const khz = state.frequency_khz;
  const frequency = khz === null ? '--.---' : (khz / 1000).toFixed(3);
  $('frequency').textContent = frequency + ' MHz';
  const band = state.band ? state.band + ' m' + (state.custom ? ' (custom)' : '') : '';
  $('band').textContent = band || '\u2013';
  $('band-lcd').textContent = band;
  $('direction').textContent = state.direction ? (DIRECTION_NAMES[state.direction] || state.direction) : '\u2013';
  $('elements').textContent = state.moving ? 'moving' : state.retracted ? 'retracted' : khz === null ? '\u2013' : 'still';
  $('firmware').textContent = state.firmware || '\u2013';
  $('port').textContent = 'COM' + state.port.number + (state.port.target ? ' (' + state.port.target + ')' : '');
  const moving = $('moving');
  moving.hidden = !state.moving;
  moving.classList.toggle('blink', state.moving);
  $('txwarning').hidden = !state.transmit_warning;

  const rigs = $('rigs');
  rigs.replaceChildren(...state.rigs.map((rig) => {
    const item = document.createElement('li');
    const hz = rig.frequency_hz === null ? '' : ' ' + (rig.frequency_hz / 1e6).toFixed(6) + ' MHz';
    item.textContent = 'Rig ' + rig.rig + ': ' + rig.status + hz + (rig.transmitting ? ', transmitting' : '');
    return item;
  }));
  const notices = $('notices');
  notices.replaceChildren(...state.notices.map((text) => {
    const item = document.createElement('li');
    item.textContent = text;
    return item;
  }));

  const transfer = state.transfer;
  const progress = $('setup-progress');
  if (transfer.running || transfer.outcome) {
    progress.hidden = false;
    progress.max = transfer.total || 68;
    progress.value = transfer.done;
    $('setup-status').textContent = transfer.running
      ? 'Writing block ' + transfer.done + ' of ' + transfer.total + (transfer.block ? ' [' + transfer.block + ']' : '')
      : 'Set-up ' + transfer.outcome + (transfer.message ? ': ' + transfer.message : '') +
        ' (' + transfer.done + ' of ' + transfer.total + ' blocks)';
  }
  $('setup-send').disabled = transfer.running;

  announce(frequency + ' MHz, link ' + state.link + (state.transmit_warning ? ', transmitting while the elements move' : ''));
}

async function refresh() {
  const response = await api('/api/state');
  if (response.ok) render(await response.json());
}

function connectEvents() {
  const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
  const query = token ? '?token=' + encodeURIComponent(token) : '';
  const socket = new WebSocket(scheme + '//' + location.host + '/api/events' + query);
  socket.onopen = () => { socketDelay = 500; };
  socket.onmessage = (event) => render(JSON.parse(event.data));
  socket.onclose = () => {
    // A refused socket says nothing of why: the state request asks for the
    // token when that is it.
    setTimeout(async () => {
      try { await refresh(); } catch (e) { /* the server is away: try again */ }
      connectEvents();
    }, socketDelay);
    socketDelay = Math.min(socketDelay * 2, 8000);
  };
}

async function upload(event) {
  event.preventDefault();
  const file = $('setup-file').files[0];
  if (!file) return;
  const findings = $('setup-findings');
  findings.replaceChildren();
  $('setup-status').textContent = 'Sending ' + file.name + '...';
  const force = $('setup-force').checked ? '?force=1' : '';
  try {
    const response = await api('/api/setup' + force, {
      method: 'POST',
      headers: { 'Content-Type': 'text/plain' },
      body: file,
    });
    const reply = await response.json().catch(() => ({}));
    if (!response.ok) {
      $('setup-status').textContent = 'Not sent: ' + (reply.reason || reply.error || response.statusText);
      findings.replaceChildren(...(reply.findings || []).map((text) => {
        const item = document.createElement('li');
        item.textContent = text;
        return item;
      }));
    }
  } catch (e) {
    $('setup-status').textContent = 'Not sent: the server cannot be reached';
  }
}

async function start() {
  $('setup-form').addEventListener('submit', upload);
  try {
    await buildPanel();
    await refresh();
  } catch (e) {
    showError('the server cannot be reached');
  }
  connectEvents();
}

start();
