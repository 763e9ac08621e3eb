// The page's copy of the device's state: the hub's snapshot, kept current by
// the records of its event stream. Nothing in it is guessed: every value
// came from the hub, which has it from the device.

export const state = {
  doc: null,            // the state document, its link included
  hub: "connecting",    // the event stream: "up", "connecting" or "down"
  hubSince: new Date(), // since when it is so
  last: {},             // events the document does not hold: "preset.saved", "preset.recalled"
};

const listeners = new Set();
let queued = false;

// fn() runs once after every batch of changes (within the same task).
export function onChange(fn) {
  listeners.add(fn);
}

export function changed() {
  if (queued) return;
  queued = true;
  queueMicrotask(() => {
    queued = false;
    for (const fn of listeners) fn();
  });
}

// The value at a dotted path of the document, or null.
export function value(path) {
  let node = state.doc;
  for (const key of path.split(".")) {
    if (node === null || typeof node !== "object") return null;
    node = node[key];
  }
  return node === undefined ? null : node;
}

export function link() {
  return (state.doc && state.doc.link) || null;
}

// The device's state may be trusted: the hub is reached and its link is up.
export function live() {
  return state.hub === "up" && link() !== null && link().state === "up";
}

export function setHub(hub) {
  if (state.hub === hub) return;
  state.hub = hub;
  state.hubSince = new Date();
  changed();
}

export function snapshot(doc) {
  state.doc = doc;
  changed();
}

// Applies one record of the event stream. Returns the document's field it
// changed, or null (a snapshot, the link's events, a line that names none).
export function apply(record) {
  if (record.event === "state") {
    snapshot(record.state);
    return null;
  }
  if (record.event === "lost" || record.event === "back") {
    if (state.doc) {
      const up = record.event === "back";
      state.doc.link = Object.assign({}, state.doc.link, {
        state: up ? "up" : "down",
        since: record.time,
        reason: up ? (state.doc.link || {}).reason || null : record.reason,
      });
      changed();
    }
    return null;
  }
  if (!record.field || !state.doc) return null;
  if (record.field === "preset.saved" || record.field === "preset.recalled") {
    state.last[record.field] = record.value;
    changed();
    return record.field;
  }
  const keys = record.field.split(".");
  const last = keys.pop();
  let node = state.doc;
  for (const key of keys) {
    if (node === null || typeof node[key] !== "object" || node[key] === null) return null;
    node = node[key];
  }
  if (!(last in node)) return null;
  if (node[last] !== null && typeof node[last] === "object") {
    // One value for every member: the TV Wall's one input on all its outputs.
    for (const key of Object.keys(node[last])) node[last][key] = record.value;
  } else {
    node[last] = record.value;
  }
  changed();
  return record.field;
}
