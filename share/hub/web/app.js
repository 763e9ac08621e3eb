// The hub's web panel: the table of the device's parameters and the event
// stream in, the panel drawn from them, changes out through the API. Plain
// modules, no build, no framework.

import { NeedsToken, documentOf, patch, request, send, token, write } from "./api.js";
import { renderAll } from "./controls.js";
import { announce, confirm, say, showLink, unsay } from "./notices.js";
import { buildPanel } from "./panel.js";
import { changed, live, onChange, state, value } from "./store.js";
import { openStream } from "./stream.js";
import { Table } from "./table.js";

const $ = (id) => document.getElementById(id);
const VIEW_KEY = "quadrel-hub-view-only";

let table = null;
let renderPanel = null;
let stream = null;

// --- view only: a screen at the back of the room shows, and changes nothing --

const params = new URLSearchParams(location.search);
state.viewOnly = params.has("view") ? params.get("view") !== "0" : localStorage.getItem(VIEW_KEY) === "1";

function setViewOnly(on) {
  state.viewOnly = on;
  localStorage.setItem(VIEW_KEY, on ? "1" : "0");
  changed();
}

// --- what a change came to ---------------------------------------------------------

// Words for what the device holds at a path (after it refused another value).
function holds(path, held) {
  if (held === null || held === undefined) return "nothing known";
  const words = table.describe(path, held, table.mode(value("mode")));
  return words ? words.slice(words.indexOf(": ") + 2) : String(held);
}

function outcome(key, what, result) {
  if (result.error instanceof NeedsToken) return askToken();
  if (result.error) return say("hub", `${what}: not sent; the hub cannot be reached.`);
  const { status, json } = result;
  if (status === 200) return;
  const cause = "change:" + key;
  if (status === 503) return say("link:" + key, `${what}: not done; the device's link is down.`);
  if (status === 504) return say(cause, `${what}: the device did not answer.`);
  const refused = ((json && json.changes) || []).find((c) => c.result !== "held" && c.result !== "planned");
  if (status === 409 && refused) {
    const result = refused.result === "refused" ? "the device refused it" : "the device did not take it";
    // What the device holds: as the change read it back, else as the hub knows it.
    const held = refused.holds !== null && refused.holds !== undefined ? refused.holds : value(refused.path);
    return say(cause, `${what}: ${result}; it holds ${holds(refused.path, held)}.`);
  }
  if (status === 409) return say(cause, `${what}: the device refused it.`);
  return say(cause, `${what}: ${(json && json.detail) || `refused (${status})`}.`);
}

const act = {
  // Asks the hub to set the device's value at `path`; it is verified there.
  change(path, to, what, key = path) {
    unsay((cause) => cause.endsWith(":" + key));
    write(key, () => patch(documentOf(path, to)), (result) => outcome(key, what, result));
  },
  // One of the device's events (a preset, a menu key, a reset): its line,
  // answered by the device or refused.
  event(line, what) {
    unsay("change:" + line);
    write(line, () => send(line), (result) => outcome(line, what, result));
  },
  ask: confirm,
};

// --- the stream --------------------------------------------------------------------

let wasLive = false;
let hubWas = state.hub;

function onRecord(record, field) {
  if (field) {
    // A value the device reports ends the message about a change of it.
    unsay((cause) => cause.startsWith("change:") && (field.startsWith(cause.slice(7)) || cause.slice(7).startsWith(field)));
    if (table) {
      const words = table.describe(field, record.value, table.mode(value("mode")));
      if (words) announce(words);
    }
  }
}

onChange(() => {
  const now = live();
  if (now && !wasLive) unsay(() => true);  // the link is back: every message's cause has gone
  if (now !== wasLive) announce(now ? "Device connected." : "The device's values are not live.");
  wasLive = now;
  if (state.hub === "up" && hubWas !== "up") unsay("hub");
  hubWas = state.hub;
  document.body.classList.toggle("view-only", state.viewOnly);
  $("view-only").checked = state.viewOnly;
  $("controls").disabled = !now || state.viewOnly;
  showLink();
  if (renderPanel && state.doc) {
    renderPanel();
    renderAll();
    if (!document.body.dataset.filled) {
      document.body.dataset.filled = "true";
      $("panel").hidden = false;
      performance.mark("filled");
    }
  }
});

// While the link is not up, its line counts the time.
setInterval(() => {
  if (!live()) showLink();
}, 1000);

// --- the token ---------------------------------------------------------------------

let tokenWaiters = [];

function askToken() {
  $("token-form").hidden = false;
  return new Promise((resolve) => tokenWaiters.push(resolve));
}

$("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  token.set($("token").value.trim());
  $("token-form").hidden = true;
  tokenWaiters.forEach((resolve) => resolve());
  tokenWaiters = [];
  if (stream) stream.again();
});

$("view-only").addEventListener("change", (event) => setViewOnly(event.target.checked));

// --- start -------------------------------------------------------------------------

async function loadTable() {
  for (let wait = 500; ; wait = Math.min(wait * 2, 5000)) {
    try {
      const { status, json } = await request("GET", "/api/v1/parameters");
      if (status === 200) return new Table(json);
    } catch (error) {
      if (error instanceof NeedsToken) {
        await askToken();
        continue;
      }
    }
    await new Promise((resolve) => setTimeout(resolve, wait));
  }
}

stream = openStream({ onRecord, onRefused: () => askToken() });
showLink();
loadTable().then((loaded) => {
  table = loaded;
  renderPanel = buildPanel(table, act, $("panel"));
  changed();
});
