// The hub's HTTP API: requests with the token, and the changes the page
// asks for, one at a time in the order asked.

import { changed } from "./store.js";

const TOKEN_KEY = "quadrel-hub-token";

export const token = {
  get: () => localStorage.getItem(TOKEN_KEY) || "",
  set: (value) => localStorage.setItem(TOKEN_KEY, value),
};

// The hub wants its token (401).
export class NeedsToken extends Error {
  constructor() {
    super("This hub needs its token.");
  }
}

// One request; {status, json}. Throws NeedsToken, or a TypeError when the
// hub cannot be reached.
export async function request(method, path, body) {
  const headers = {};
  if (token.get()) headers.Authorization = "Bearer " + token.get();
  if (body !== undefined) headers["Content-Type"] = "application/json";
  const response = await fetch(path, {
    method,
    headers,
    cache: "no-store",
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  if (response.status === 401) throw new NeedsToken();
  let json = null;
  try {
    json = await response.json();
  } catch (e) {
    /* no body */
  }
  return { status: response.status, json };
}

// A document that sets one value at a dotted path: {"routing": {"B": 3}}.
export function documentOf(path, value) {
  const doc = {};
  let node = doc;
  const keys = path.split(".");
  keys.slice(0, -1).forEach((key) => (node = node[key] = {}));
  node[keys[keys.length - 1]] = value;
  return doc;
}

// The changes waiting or under way, by key (a control's path).
export const pending = new Set();
const queue = [];
let running = false;

// Runs job() after the changes asked before it. A change asked again for the
// same key before its turn replaces the one waiting: a slider moved twice
// sends where it stopped. `done(outcome)` hears how it ended.
export function write(key, job, done) {
  const waiting = queue.find((w) => w.key === key);
  if (waiting) Object.assign(waiting, { job, done });
  else queue.push({ key, job, done });
  pending.add(key);
  changed();
  pump();
}

async function pump() {
  if (running) return;
  running = true;
  while (queue.length) {
    const { key, job, done } = queue.shift();
    let outcome;
    try {
      outcome = await job();
    } catch (error) {
      outcome = { error };
    }
    if (!queue.some((w) => w.key === key)) pending.delete(key);
    changed();
    if (done) done(outcome);
  }
  running = false;
}

// PATCH /api/v1/state: the hub sends what differs and reads it back.
export const patch = (doc) => request("PATCH", "/api/v1/state", doc);
// POST /api/v1/send: one line of the device (an event, a question), checked
// by the hub and answered by the device or refused.
export const send = (line) => request("POST", "/api/v1/send", { line });
