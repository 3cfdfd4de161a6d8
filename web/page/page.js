// Keeps the status page current: reads /api/v1/status every few seconds and
// redraws. Texts come from data attributes the server filled in the page's
// language; everything from the station is set as text, never as markup.
'use strict';

const texts = document.getElementById('texts').dataset;
let lastGood = 0;
let intervalSeconds = 5;

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
  alarm.textContent = s.alarm ? '!' : '–';
  alarm.className = 'big' + (s.alarm ? ' bad' : '');
  fillList(document.getElementById('faults'), s.faults, texts.noFaults, f => el('li', 'bad', f));
  fillList(document.getElementById('events'), s.events || [], texts.noEvents, e => {
    const li = el('li');
    // The station's own local time, as its window shows it; the offset is for programs.
    li.append(el('span', 'time', e.time.slice(0, 19).replace('T', ' ')), document.createTextNode(e.text));
    return li;
  });
  drawParameters(s.parameters);
  document.getElementById('version').textContent = 'v' + s.version;
  intervalSeconds = s.link.pollIntervalSeconds || 5;
  setStale(s.link.stale);
}

async function refresh() {
  try {
    const reply = await fetch('/api/v1/status', { cache: 'no-store' });
    if (!reply.ok) throw new Error(reply.status);
    draw(await reply.json());
    lastGood = Date.now();
    document.getElementById('updated').textContent = texts.updated + ' ' + new Date().toLocaleTimeString();
  } catch (e) {
    // The station itself is out of reach: what is shown ages like an old reply.
    if (Date.now() - lastGood > 3 * intervalSeconds * 1000) {
      setStale(true);
      document.getElementById('updated').textContent = texts.unreachable;
    }
  }
  setTimeout(refresh, Math.min(5, Math.max(2, intervalSeconds)) * 1000);
}

refresh();
