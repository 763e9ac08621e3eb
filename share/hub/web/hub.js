// The hub's web panel: renders the state document, follows the event stream
// and sends what a click asks for through the API. No framework, no build.
"use strict";

const MODES = [
  ["matrix", "Matrix", "MOD001"],
  ["dual-pop", "Dual PoP", "MOD002"],
  ["tv-wall", "TV Wall", "MOD003"],
  ["dual-pip", "Dual PiP", "MOD004"],
  ["quad", "Quad", "MOD005"],
];
const OUTPUTS = ["A", "B", "C", "D"];
const TOKEN_KEY = "quadrel-hub-token";

let state = null;
let busy = false;

const $ = (id) => document.getElementById(id);

function token() {
  return localStorage.getItem(TOKEN_KEY) || "";
}

async function api(method, path, body) {
  const headers = {};
  if (token()) headers.Authorization = "Bearer " + token();
  if (body !== undefined) headers["Content-Type"] = "application/json";
  const response = await fetch(path, {
    method, headers, cache: "no-store",
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  if (response.status === 401) {
    $("token-form").hidden = false;
    throw new Error("This hub needs its token.");
  }
  let json = null;
  try { json = await response.json(); } catch (e) { /* no body */ }
  return { status: response.status, json };
}

function say(text) {
  const box = $("message");
  box.textContent = text || "";
  box.hidden = !text;
}

// What went wrong with a request, in words.
function failure(status, json) {
  if (status === 200) return "";
  if (status === 409) return "The device refused, or holds something else.";
  if (status === 504) return "The device did not answer.";
  if (status === 503) return "The hub's link to the device is down.";
  // Errors are problem documents (RFC 9457): a detail, and a document's faults.
  const faults = json && json.errors && json.errors.length ? json.errors.map((e) => e.message || e).join("; ") : "";
  const detail = faults || (json && json.detail);
  return "The hub refused the request" + (detail ? ": " + detail : ".");
}

async function act(request) {
  if (busy) return;
  busy = true;
  document.body.setAttribute("aria-busy", "true");
  try {
    const { status, json } = await request();
    say(failure(status, json));
  } catch (error) {
    say(error.message || "The hub cannot be reached.");
  } finally {
    busy = false;
    document.body.removeAttribute("aria-busy");
    refresh();
  }
}

const send = (line) => act(() => api("POST", "/api/v1/send", { line }));
const patch = (doc) => act(() => api("PATCH", "/api/v1/state", doc));

function button(text, name, onClick) {
  const b = document.createElement("button");
  b.type = "button";
  b.textContent = text;
  if (name) b.setAttribute("aria-label", name);
  b.addEventListener("click", onClick);
  return b;
}

function press(b, on) {
  b.setAttribute("aria-pressed", on ? "true" : "false");
}

function label(input) {
  const text = state && state.labels && state.labels.text ? state.labels.text[String(input)] : null;
  return text ? text.trim() : "";
}

function build() {
  const outputs = $("outputs");
  for (const out of OUTPUTS) {
    const card = document.createElement("div");
    card.className = "output";
    card.setAttribute("role", "group");
    card.setAttribute("aria-labelledby", "out-" + out);
    card.innerHTML = `<h3 id="out-${out}">Output ${out}</h3><p class="now" id="now-${out}">–</p>`;
    const row = document.createElement("div");
    row.className = "buttons";
    for (let input = 1; input <= 4; input++) {
      const b = button(String(input), null, () => route(out, input));
      b.id = `route-${out}-${input}`;
      press(b, false);
      row.append(b);
    }
    card.append(row);
    outputs.append(card);
  }
  for (const [word, caption, line] of MODES) {
    const b = button(caption, null, () => send(line));
    b.id = "mode-" + word;
    press(b, false);
    $("modes").append(b);
  }
  for (let p = 1; p <= 4; p++) {
    $("recall").append(button(String(p), "Recall preset " + p, () => send("CAL00" + p)));
    $("save").append(button(String(p), "Save to preset " + p, () => send("SAV00" + p)));
  }
  $("power-on").addEventListener("click", () => send("PWR001"));
  $("power-standby").addEventListener("click", () => send("PWR000"));
  $("key-lock").addEventListener("click", () => send(state && state.key_lock ? "LCK000" : "LCK001"));
  $("token-form").addEventListener("submit", (event) => {
    event.preventDefault();
    localStorage.setItem(TOKEN_KEY, $("token").value.trim());
    $("token-form").hidden = true;
    say("");
    refresh();
    connect();
  });
}

function route(out, input) {
  // On a TV Wall every output shows the one picture.
  const outs = state && state.mode === "tv-wall" ? OUTPUTS : [out];
  const routing = {};
  for (const o of outs) routing[o] = input;
  patch({ routing });
}

function render() {
  if (!state) return;
  for (const out of OUTPUTS) {
    const input = state.routing ? state.routing[out] : null;
    $("now-" + out).textContent = input ? `Input ${input}${label(input) ? " · " + label(input) : ""}` : "Input not known";
    for (let i = 1; i <= 4; i++) {
      const b = $(`route-${out}-${i}`);
      press(b, input === i);
      const name = label(i);
      b.setAttribute("aria-label", `Output ${out}: input ${i}${name ? " (" + name + ")" : ""}`);
      b.title = name ? `Input ${i}: ${name}` : `Input ${i}`;
    }
  }
  for (const [word] of MODES) press($("mode-" + word), state.mode === word);
  press($("power-on"), state.power === "on");
  press($("power-standby"), state.power === "standby");
  press($("key-lock"), state.key_lock === true);
  const fw = state.firmware || {};
  $("firmware").textContent = fw.version ? `Firmware ${fw.version}${fw.version2 ? " / " + fw.version2 : ""}` : "";
}

// One read of the state at a time; a record that comes meanwhile asks for one more.
let reading = false;
let again = false;
async function refresh() {
  if (reading) { again = true; return; }
  reading = true;
  try {
    const { status, json } = await api("GET", "/api/v1/state");
    if (status === 200) { state = json; render(); }
  } catch (error) {
    /* told by the link line */
  } finally {
    reading = false;
    if (again) { again = false; refresh(); }
  }
}

function show_link(up, text) {
  const link = $("link");
  link.className = "link " + (up ? "up" : "down");
  link.textContent = text;
}

// The event stream, opened again after it closes (once a second at first, every 5 s at most).
let socket = null;
let wait = 1000;
function connect() {
  if (socket) socket.close();
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(`${scheme}//${location.host}/api/v1/events`);
  const me = socket;
  me.onopen = () => {
    wait = 1000;
    if (token()) me.send(JSON.stringify({ token: token() }));
  };
  me.onmessage = (event) => {
    let record;
    try { record = JSON.parse(event.data); } catch (e) { return; }
    if (record.event === "back") show_link(true, "Device connected (" + record.link + ")");
    if (record.event === "lost") show_link(false, "Device link down: " + record.reason);
    refresh();
  };
  me.onclose = () => {
    if (socket !== me) return;
    show_link(false, "Hub not reachable; trying again…");
    setTimeout(connect, wait);
    wait = Math.min(wait * 2, 5000);
  };
}

build();
refresh();
connect();
