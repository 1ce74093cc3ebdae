// The devserver's dashboard: each section reads one JSON endpoint of the server and is
// redrawn every few seconds, without a reload. A section is added in one place, the list
// below. Every recorded value reaches the page as text (textContent), never as HTML.
'use strict';

const POLL_MS = 2000;
const PAGE_SIZE = 50;

// Filters and paging of the events section; changing them redraws at once.
const eventView = { type: '', unit: '', session: '', pages: [] };

const sections = [
  { id: 'requests', title: 'Requests by endpoint', url: () => '/dev/api/requests',
    render: renderRequests },
  { id: 'init', title: 'Init answers', url: () => '/dev/api/init', render: renderInit },
  { id: 'events', title: 'Analytics events', wide: true, url: eventsUrl, render: renderEvents },
  { id: 'crashes', title: 'Crash reports', wide: true, url: () => '/dev/api/crashes?limit=20',
    render: renderCrashes },
  { id: 'revenue', title: 'Revenue by unit and day', wide: true, url: () => '/dev/api/revenue',
    render: renderRevenue },
  { id: 'campaigns', title: 'Campaigns', wide: true, url: () => '/dev/api/campaigns',
    render: renderCampaigns },
];

// ---- DOM helpers: text only --------------------------------------------------------------

function el(tag, attributes, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes || {})) {
    if (name === 'className') node.className = value;
    else node.setAttribute(name, value);
  }
  for (const child of children) {
    node.append(child instanceof Node ? child : document.createTextNode(String(child ?? '')));
  }
  return node;
}

function table(headings, rows) {
  const body = el('tbody');
  for (const cells of rows) {
    body.append(el('tr', null, ...cells.map((cell) => (cell instanceof Node && cell.tagName === 'TD'
      ? cell : el('td', null, cell)))));
  }
  return el('table', null, el('thead', null, el('tr', null, ...headings.map((h) => el('th', null, h)))),
    body);
}

function empty(text) {
  return el('p', { className: 'muted' }, text);
}

function time(seconds) {
  return new Date(seconds * 1000).toLocaleTimeString();
}

function statusCell(status) {
  return el('td', { className: status >= 400 ? 'bad' : 'good' }, status);
}

// ---- Sections ----------------------------------------------------------------------------

function renderRequests(data) {
  const parts = [];
  parts.push(data.byEndpoint.length
    ? table(['endpoint', 'status', 'requests'],
      data.byEndpoint.map((row) => [row.endpoint, statusCell(row.status), row.count]))
    : empty('No request yet.'));
  if (data.latest.length) {
    parts.push(el('h2', null, 'Latest'));
    parts.push(table(['time', 'request', 'status', 'ms', 'reason'],
      data.latest.slice(0, 10).map((row) => [time(row.at), `${row.method} ${row.path}`,
        statusCell(row.status), row.ms, row.reason])));
  }
  return parts;
}

function renderInit(data) {
  if (!data.answers.length) return [empty('No /sdk/init request yet.')];
  return [table(['time', 'status', 'ad units', 'SDK', 'ms', 'reason'],
    data.answers.map((row) => [time(row.at), statusCell(row.status), row.adUnits ?? '–',
      row.sdkVersion, row.ms, row.reason]))];
}

function eventsUrl() {
  const query = new URLSearchParams({ limit: PAGE_SIZE });
  for (const name of ['type', 'unit', 'session']) {
    if (eventView[name]) query.set(name, eventView[name]);
  }
  const before = eventView.pages[eventView.pages.length - 1];
  if (before !== undefined) query.set('before', before);
  return `/dev/api/events?${query}`;
}

let filterChoices = { types: [], units: [], sessions: [] };

function filterSelect(name, label, choices) {
  const select = el('select', { 'aria-label': label, 'data-filter': name },
    el('option', { value: '' }, `every ${label}`));
  for (const choice of choices) select.append(el('option', { value: choice }, choice));
  if (eventView[name] && !choices.includes(eventView[name])) {
    select.append(el('option', { value: eventView[name] }, eventView[name]));
  }
  select.value = eventView[name];
  select.addEventListener('change', () => {
    eventView[name] = select.value;
    eventView.pages = [];
    refresh('events');
  });
  return select;
}

function renderEvents(data) {
  const older = el('button', { type: 'button' }, 'Older');
  older.disabled = data.nextBefore === null;
  older.addEventListener('click', () => {
    eventView.pages.push(data.nextBefore);
    refresh('events');
  });
  const newer = el('button', { type: 'button' }, 'Newer');
  newer.disabled = eventView.pages.length === 0;
  newer.addEventListener('click', () => {
    eventView.pages.pop();
    refresh('events');
  });
  const controls = el('div', { className: 'controls' },
    filterSelect('type', 'type', filterChoices.types),
    filterSelect('unit', 'unit', filterChoices.units),
    filterSelect('session', 'session', filterChoices.sessions),
    newer, older,
    el('span', { className: 'muted' },
      `${data.total} matching, page ${eventView.pages.length + 1}`));
  const rows = data.events.map((event) => [
    new Date(event.createdAt).toLocaleTimeString(), event.eventType,
    event.payload && event.payload.adUnitId, event.sessionId,
    el('td', { className: 'payload', 'data-event-id': event.eventId },
      JSON.stringify(event.payload))]);
  return [controls, rows.length ? table(['created', 'type', 'unit', 'session', 'payload'], rows)
    : empty('No event matches.')];
}

function renderCrashes(data) {
  if (!data.events.length) return [empty('No crash report yet.')];
  return [table(['detected', 'checkpoint', 'crashed', 'metadata', 'session'],
    data.events.map((event) => [new Date(event.createdAt).toLocaleString(),
      event.payload.checkpoint, time(event.payload.crashTimestamp),
      el('td', { className: 'payload' }, event.payload.metadata ?? ''), event.sessionId]))];
}

function money(value, currency) {
  return `${Number(value).toFixed(4)} ${currency ?? ''}`.trim();
}

function renderRevenue(data) {
  if (!data.rows.length) return [empty('No ad event yet.')];
  return [table(['day', 'ad unit', 'requests', 'fills', 'impressions', 'clicks', 'revenue'],
    data.rows.map((row) => [row.day, row.adUnitId ?? '–', row.requests ?? '–', row.fills ?? '–',
      row.impressions ?? '–', row.clicks ?? '–',
      row.revenue === null ? '–' : money(row.revenue, data.currency)])),
  el('p', { className: 'muted' }, data.currency
    ? 'Revenue: what the auctions won here billed, by the day the server was billed.'
    : 'The SDK\'s analytics carry no price: revenue shows where the server ran the auction.')];
}

function renderCampaigns(data) {
  if (!data.configured) return [empty('No campaigns: start tilo-devserver with --campaigns FILE.')];
  const parts = [table(['campaign', 'bid (CPM)', 'auctions', 'wins', 'impressions', 'clicks', 'spend'],
    data.campaigns.map((row) => [row.title || row.id, money(row.price, data.currency), row.auctions,
      row.wins, row.impressions, row.clicks, money(row.spend, data.currency)]))];
  if (data.total > data.campaigns.length) {
    parts.push(el('p', { className: 'muted' }, `${data.total - data.campaigns.length} more not shown`));
  }
  parts.push(el('h2', null, 'Latest auctions'));
  parts.push(data.latest.length
    ? table(['time', 'tagid', 'format', 'outcome', 'campaign', 'CPM', 'notices'],
      data.latest.map((row) => [time(row.receivedAt),
        el('td', { 'data-auction-id': row.id }, row.tagid), row.format, row.outcome,
        row.campaign ?? '–', row.price === undefined ? '–' : row.price,
        Object.entries(row.notices).filter(([, n]) => n).map(([kind, n]) => `${kind} ${n}`)
          .join(' · ')]))
    : empty('No auction yet.'));
  return parts;
}

// ---- Polling -----------------------------------------------------------------------------

const nodes = {};

function build() {
  const main = document.getElementById('sections');
  for (const section of sections) {
    const body = el('div');
    const node = el('section', { id: section.id, className: section.wide ? 'wide' : '' },
      el('h2', null, section.title), body);
    nodes[section.id] = body;
    main.append(node);
  }
}

async function refresh(only) {
  const status = document.getElementById('status');
  try {
    if (!only) {
      const response = await fetch('/dev/api/filters', { cache: 'no-store' });
      if (response.ok) filterChoices = await response.json();
    }
    for (const section of sections) {
      if (only && section.id !== only) continue;
      const response = await fetch(section.url(), { cache: 'no-store' });
      if (!response.ok) throw new Error(`${section.url()} answered ${response.status}`);
      nodes[section.id].replaceChildren(...section.render(await response.json()));
    }
    status.textContent = `updated ${new Date().toLocaleTimeString()}`;
    status.className = 'status';
  } catch (error) {
    status.textContent = `cannot reach the server: ${error.message}`;
    status.className = 'status error';
  }
}

build();
refresh();
setInterval(refresh, POLL_MS);
