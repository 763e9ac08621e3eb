// What the page tells: where the link stands (with the time since it was
// lost), messages that last as long as their cause, polite announcements of
// what changed, and the question asked once more before a change that
// affects the room.

import { state, link } from "./store.js";

const $ = (id) => document.getElementById(id);

// --- the link's line ---------------------------------------------------------

function clock(date) {
  return date.toLocaleTimeString([], { hour: "2-digit", minute: "2-digit", second: "2-digit" });
}

// "5 s", "3 min 12 s", "2 h 5 min".
export function duration(ms) {
  const s = Math.max(0, Math.floor(ms / 1000));
  if (s < 60) return `${s} s`;
  if (s < 3600) return `${Math.floor(s / 60)} min ${s % 60} s`;
  return `${Math.floor(s / 3600)} h ${Math.floor((s % 3600) / 60)} min`;
}

// The words of the link's line, and whether it is up: from the event stream
// and the document's link.
export function linkLine(now = new Date()) {
  const since = (date) => `since ${clock(date)} (${duration(now - date)})`;
  if (state.hub !== "up") {
    const what = state.hub === "down" ? "The hub cannot be reached" : "Reaching the hub";
    return { kind: state.hub === "down" ? "down" : "waiting", text: `${what} ${since(state.hubSince)}; trying again.` };
  }
  const l = link();
  if (!l) return { kind: "waiting", text: "Reading the device…" };
  const at = new Date(l.since);
  if (l.state === "up") return { kind: "up", text: `Device connected (${l.target})` };
  if (l.state === "connecting") return { kind: "waiting", text: `Reading the device (${l.target}) ${since(at)}.` };
  const reason = l.reason ? `: ${l.reason}` : "";
  return { kind: "down", text: `Device link down ${since(at)}${reason}. The values shown are the last known; trying again.` };
}

export function showLink() {
  const line = linkLine();
  const box = $("link");
  box.dataset.kind = line.kind;
  // Only its words change while it is down: a screen reader hears the change
  // of state, not each second.
  $("link-text").textContent = line.text;
}

// --- messages ----------------------------------------------------------------

// Each message has a cause; it goes when its cause goes.
const messages = new Map();

export function say(cause, text) {
  messages.set(cause, text);
  drawMessages();
}

export function unsay(test) {
  let any = false;
  for (const cause of [...messages.keys()])
    if (typeof test === "function" ? test(cause) : cause === test) any = messages.delete(cause) || any;
  if (any) drawMessages();
}

export function messageCount() {
  return messages.size;
}

function drawMessages() {
  const list = $("messages");
  list.replaceChildren();
  for (const [cause, text] of messages) {
    const item = document.createElement("li");
    const words = document.createElement("span");
    words.textContent = text;
    const close = document.createElement("button");
    close.type = "button";
    close.className = "dismiss";
    close.textContent = "×";
    close.setAttribute("aria-label", "Dismiss: " + text);
    close.addEventListener("click", () => unsay(cause));
    item.append(words, close);
    list.append(item);
  }
  list.hidden = messages.size === 0;
}

// --- announcements -------------------------------------------------------------

let spoken = "";
let timer = 0;

// Politely, once the changes of a moment are all in: "Mode: Quad".
export function announce(text) {
  spoken = spoken && spoken !== text ? spoken + ". " + text : text;
  clearTimeout(timer);
  timer = setTimeout(() => {
    $("announce").textContent = spoken;
    spoken = "";
  }, 150);
}

// --- asking once more ----------------------------------------------------------

// Resolves true when the person confirms `question` with the button `action`.
export function confirm(question, action) {
  const dialog = $("confirm");
  $("confirm-text").textContent = question;
  $("confirm-ok").textContent = action;
  dialog.returnValue = "";
  return new Promise((resolve) => {
    dialog.addEventListener("close", () => resolve(dialog.returnValue === "ok"), { once: true });
    dialog.showModal();
    $("confirm-cancel").focus();
  });
}
