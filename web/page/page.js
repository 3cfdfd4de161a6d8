// Keeps the status page current: reads the plant's devices and the chosen
// device's status every few seconds and redraws; a tile chooses the device
// (kept in the address as #device=ID, so a bookmark shows it again). Texts come from data attributes the server filled in the page's
// language; everything from the station is set as text, never as markup.
'use strict';

const texts = document.getElementById('texts').dataset;
let lastGood = 0;
let intervalSeconds = 5;
let plantSize = 1;
let chosen = (location.hash.match(/device=(\d{3})/) || [])[1] || '';

function el(tag, cls, text) {
  const e = document.createElement(tag);
  if (cls) e.className = cls;
  if (text !== undefined) e.textContent = text;
  return e;
}

function ageText(seconds) {
  if (seconds === null || seconds === undefined) return texts.noReply;
  if (seconds < 120) return texts.secondsAgo.replace('%1', Math.round(seconds));
  if (seconds < 7200) return texts.minutesAgo.replace('%1', Math.round(seconds / 60));
  return texts.hoursAgo.replace('%1', Math.round(seconds / 3600));
}

// The station shows times on a 24-hour clock; the page does the same
// whatever the browser's locale.
function clockText(d) {
  return [d.getHours(), d.getMinutes(), d.getSeconds()].map(n => String(n).padStart(2, '0')).join(':');
}

function limitsText(p) {
  if (p.low === null && p.high === null) return '';
  return (p.low === null ? '' : p.low) + ' – ' + (p.high === null ? '' : p.high);
}

function fillList(list, items, empty, render) {
  list.replaceChildren();
  if (!items.length) list.append(el('li', 'muted', empty));
  for (const item of items) list.append(render(item));
}

function drawParameters(parameters) {
  const body = document.querySelector('#parameters tbody');
  body.replaceChildren();
  if (!parameters.length) {
    const row = el('tr');
    const cell = el('td', 'muted', texts.noValues);
    cell.colSpan = 4;
    row.append(cell);
    body.append(row);
  }
  for (const p of parameters) {
    const row = el('tr', p.inLimits ? '' : 'bad');
    row.dataset.code = p.code;
    row.append(el('td', '', p.name), el('td', 'num value', p.text), el('td', '', p.unit),
               el('td', 'limits muted', limitsText(p)));
    body.append(row);
  }
}

function setStale(stale) {
  document.getElementById('stale').hidden = !stale;
  document.body.classList.toggle('is-stale', stale);
}

function draw(s) {
  document.getElementById('device').textContent = s.device.name || s.device.id;
  document.title = (s.device.name || s.device.id) + ' – ' + (s.link.up ? texts.linkUp : texts.linkDown);
  const link = document.getElementById('link');
  link.textContent = s.link.up ? texts.linkUp : texts.linkDown;
  link.className = 'badge ' + (s.link.up ? 'up' : 'down');
  const polling = document.getElementById('polling');
  polling.textContent = s.polling ? texts.pollingOn : texts.pollingOff;
  document.getElementById('age').textContent = ageText(s.link.ageSeconds);
  document.getElementById('yield').textContent =
    s.todayYieldKwh === null ? '–' : s.todayYieldKwh.toFixed(1) + ' kWh';
  const alarm = document.getElementById('alarm');
  alarm.textContent = s.alarm ? texts.alarmOn : texts.alarmNone;
  alarm.className = 'big' + (s.alarm ? ' bad' : '');
  fillList(document.getElementById('faults'), s.faults, texts.noFaults, f => el('li', 'bad', f));
  fillList(document.getElementById('events'), s.events || [], texts.noEvents, e => {
    const li = el('li');
    // The station's own local time, as its window shows it; the offset is for programs.
    li.append(el('span', 'time', e.time.slice(0, 19).replace('T', ' ')));
    if (plantSize > 1 && e.device) li.append(el('span', 'time', e.device));
    li.append(document.createTextNode(e.text));
    return li;
  });
  drawParameters(s.parameters);
  document.getElementById('version').textContent = 'v' + s.version;
  intervalSeconds = s.link.pollIntervalSeconds || 5;
  setStale(s.link.stale);
}

function kwhText(kwh) {
  if (kwh === null || kwh === undefined) return '–';
  return kwh.toLocaleString('en-US', { minimumFractionDigits: 1, maximumFractionDigits: 1 }) + ' kWh';
}

function wattText(watts) {
  return watts === null || watts === undefined ? '–' : Math.round(watts).toLocaleString('en-US') + ' W';
}

function tileState(d) {
  if (!d.linkUp) return ['down', texts.linkDown];
  if (d.alarm) return ['alarm', texts.alarmOn];
  if (d.asleep) return ['up', texts.asleep];
  return ['up', d.stale ? texts.stale : texts.linkUp];
}

function choose(id) {
  chosen = id;
  history.replaceState(null, '', '#device=' + id);
  for (const t of document.querySelectorAll('.tile')) t.classList.toggle('selected', t.dataset.id === id);
  refresh(true);
  refreshChart(true);
}

function drawPlant(list) {
  plantSize = list.devices.length;
  // A plant of one shows as a single device, as it always did.
  document.getElementById('plant').hidden = plantSize < 2;
  if (plantSize < 2) return;
  const p = list.plant;
  document.getElementById('plant-power').textContent = wattText(p.powerWatts);
  document.getElementById('plant-yield').textContent = kwhText(p.todayYieldKwh);
  document.getElementById('plant-energy').textContent = kwhText(p.energyKwh);
  document.getElementById('plant-up').textContent =
    texts.devicesUp.replace('%1', p.devicesUp).replace('%2', p.devices);
  const tiles = document.getElementById('tiles');
  tiles.replaceChildren();
  for (const d of list.devices) {
    const [cls, state] = tileState(d);
    const tile = el('button', 'tile ' + cls + (d.id === chosen ? ' selected' : ''));
    tile.type = 'button';
    tile.dataset.id = d.id;
    tile.setAttribute('role', 'listitem');
    tile.append(el('div', 'name', (d.name || d.id) + ' · ' + d.id), el('div', 'power', wattText(d.powerWatts)),
                el('div', 'muted', kwhText(d.todayYieldKwh)), el('div', 'state', state));
    tile.addEventListener('click', () => choose(d.id));
    tiles.append(tile);
  }
}

// The chosen device's query; none for a plant of one, so the answers are
// those of a station of one device.
function deviceQuery(first) {
  return plantSize > 1 && chosen ? (first ? '?' : '&') + 'device=' + chosen : '';
}

let refreshTimer = 0;
async function refresh(once) {
  if (!once) clearTimeout(refreshTimer);
  try {
    const devices = await fetch('/api/v1/devices', { cache: 'no-store' });
    if (!devices.ok) throw new Error(devices.status);
    const list = await devices.json();
    // A device no longer on the line: back to the first.
    if (!list.devices.some(d => d.id === chosen)) chosen = list.devices.length ? list.devices[0].id : '';
    drawPlant(list);
    const reply = await fetch('/api/v1/status' + deviceQuery(true), { cache: 'no-store' });
    if (!reply.ok) throw new Error(reply.status);
    draw(await reply.json());
    lastGood = Date.now();
    document.getElementById('updated').textContent = texts.updated + ' ' + clockText(new Date());
  } catch (e) {
    // The station itself is out of reach: what is shown ages like an old reply.
    if (Date.now() - lastGood > 3 * intervalSeconds * 1000) {
      setStale(true);
      document.getElementById('updated').textContent = texts.unreachable;
    }
  }
  if (!once) refreshTimer = setTimeout(refresh, Math.min(5, Math.max(2, intervalSeconds)) * 1000);
}

const SVG_NS = 'http://www.w3.org/2000/svg';
const CHART_W = 600;
const CHART_H = 220;
const CHART_REFRESH_MS = 60000;

function svg(tag, attrs) {
  const e = document.createElementNS(SVG_NS, tag);
  for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v);
  return e;
}

// A round top for the power axis: 1, 2 or 5 times a power of ten.
function niceMax(value) {
  if (!(value > 0)) return 1;
  const step = Math.pow(10, Math.floor(Math.log10(value)));
  for (const m of [1, 2, 5, 10]) if (value <= m * step) return m * step;
  return 10 * step;
}

// Runs of points between gaps and missing values, as chart coordinates.
function powerRuns(history, column) {
  const start = Date.parse(history.from);
  const span = Date.parse(history.to) - start;
  const runs = [];
  let run = [];
  for (const p of history.points) {
    const v = p.values[column];
    if (p.gap || v === null || v === undefined) {
      if (run.length) runs.push(run);
      run = [];
    }
    if (v === null || v === undefined) continue;
    run.push([(Date.parse(p.time) - start) / span, v]);
  }
  if (run.length) runs.push(run);
  return runs;
}

function drawChart(history, dayYield) {
  const chart = document.getElementById('chart');
  const note = document.getElementById('chart-note');
  chart.replaceChildren();
  for (let i = 0; i <= 4; ++i) {
    const x = (i * CHART_W / 4).toFixed(1);
    chart.append(svg('line', { x1: x, y1: 0, x2: x, y2: CHART_H, class: 'grid' }));
  }
  chart.append(svg('line', { x1: 0, y1: CHART_H - 1, x2: CHART_W, y2: CHART_H - 1, class: 'axis' }));
  const column = history ? history.columns.findIndex(c => c.code === 'PAC') : -1;
  if (column < 0) {
    note.textContent = texts.noHistory;
    return;
  }
  const runs = powerRuns(history, column);
  let peak = 0;
  for (const run of runs) for (const [, v] of run) peak = Math.max(peak, v);
  const top = niceMax(peak);
  const unit = history.columns[column].unit || 'W';
  const xy = ([t, v]) => (t * CHART_W).toFixed(1) + ',' + (CHART_H - 2 - v / top * (CHART_H - 12)).toFixed(1);
  for (const run of runs) {
    const line = run.map(xy).join(' ');
    const first = (run[0][0] * CHART_W).toFixed(1);
    const last = (run[run.length - 1][0] * CHART_W).toFixed(1);
    chart.append(svg('polygon', { points: first + ',' + CHART_H + ' ' + line + ' ' + last + ',' + CHART_H, class: 'area' }));
    chart.append(svg('polyline', { points: line, class: 'power' }));
  }
  const parts = [];
  if (dayYield !== null && dayYield !== undefined) parts.push(texts.dayYield.replace('%1', dayYield.toFixed(1)));
  parts.push('0 – ' + top.toLocaleString('en-US') + ' ' + unit);
  if (!runs.length) parts.push(texts.noHistory);
  note.textContent = parts.join(' · ');
}

let chartTimer = 0;
async function refreshChart(once) {
  if (!once) clearTimeout(chartTimer);
  let history = null;
  let dayYield = null;
  const device = deviceQuery(false);
  try {
    const reply = await fetch('/api/v1/history?codes=PAC' + device, { cache: 'no-store' });
    if (reply.ok) history = await reply.json();
    if (history) {
      const day = history.from.slice(0, 10);
      const month = await fetch('/api/v1/yield?year=' + day.slice(0, 4) + '&month=' + Number(day.slice(5, 7)) + device,
                                { cache: 'no-store' });
      if (month.ok) {
        const row = ((await month.json()).days || []).find(d => d.day === day);
        if (row) dayYield = row.energyKwh;
      }
    }
  } catch (e) {
    // Drawn as "no history" below; the status part of the page goes on.
  }
  drawChart(history, dayYield);
  if (!once) chartTimer = setTimeout(refreshChart, CHART_REFRESH_MS);
}

// The chart waits for the first list, which tells whether this is a plant.
refresh().then(() => refreshChart());
