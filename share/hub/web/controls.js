// The page's controls: real buttons, selects, sliders and text boxes, each
// drawn from the device's value (never from what was clicked) and asking for
// a change through a function it is given. A change under way marks its
// control busy; the value shown stays the device's until the device says
// otherwise.

import { pending } from "./api.js";

const all = [];

export function renderAll() {
  for (const control of all) control.render();
}

// An element with attributes (a function value: an event listener) and children.
export function el(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (typeof value === "function") node.addEventListener(name, value);
    else if (value !== null && value !== undefined && value !== false) node.setAttribute(name, value === true ? "" : value);
  }
  node.append(...children.filter((c) => c !== null && c !== undefined));
  return node;
}

// Changes an attribute only when it differs (null removes it).
function attr(node, name, value) {
  if (value === null || value === false) {
    if (node.hasAttribute(name)) node.removeAttribute(name);
  } else if (node.getAttribute(name) !== String(value)) {
    node.setAttribute(name, value);
  }
}

function text(node, words) {
  if (node.textContent !== words) node.textContent = words;
}

const call = (f, ...args) => (typeof f === "function" ? f(...args) : f);

function add(control) {
  all.push(control);
  return control;
}

// Buttons of which the one pressed is the device's value. Each option:
// {value, text, label?, hint?, enabled?}; `text`, `label` may be functions.
export function choiceButtons({ name, options, get, set, key, enabled, className = "choices" }) {
  const group = el("div", { role: "group", "aria-label": name, class: className });
  const buttons = options.map((option) => {
    const button = el("button", { type: "button", "aria-pressed": "false", click: () => set(option.value) });
    const caption = el("span", { class: "caption" });
    const hint = option.hint ? el("span", { class: "hint" }) : null;
    button.append(caption, hint || "");
    group.append(button);
    return { button, caption, hint, option };
  });
  return add({
    element: group,
    render() {
      const now = get();
      const busy = pending.has(call(key));
      attr(group, "aria-label", call(name));
      attr(group, "aria-busy", busy ? "true" : null);
      for (const { button, caption, hint, option } of buttons) {
        attr(button, "aria-pressed", now !== null && now === option.value ? "true" : "false");
        text(caption, call(option.text) || "\u00a0");
        if (hint) text(hint, call(option.hint) || "\u00a0");
        attr(button, "aria-label", call(option.label) || null);
        const on = (!enabled || enabled()) && (!option.enabled || option.enabled());
        button.disabled = !on;
      }
    },
  });
}

// One button pressed while the device's value is true.
export function toggle({ text: words, label, get, set, key, enabled, className }) {
  const button = el("button", { type: "button", "aria-pressed": "false", class: className, click: () => set(!(get() === true)) });
  return add({
    element: button,
    render() {
      const now = get();
      attr(button, "aria-pressed", now === true ? "true" : "false");
      attr(button, "aria-busy", pending.has(call(key)) ? "true" : null);
      text(button, call(words));
      attr(button, "aria-label", call(label) || null);
      button.disabled = enabled ? !enabled() : false;
    },
  });
}

// A list to choose from; it shows the device's value, or "not known".
export function selectBox({ label, options, get, set, key, enabled, id, hideLabel }) {
  const select = el("select", { id, change: () => set(JSON.parse(select.value)) });
  const unknown = el("option", { value: "null", disabled: true }, "–");
  select.append(unknown);
  const items = options.map((option) => {
    const item = el("option", { value: JSON.stringify(option.value) }, option.text);
    select.append(item);
    return { item, option };
  });
  const wrap = el("label", { class: "field" }, el("span", { class: hideLabel ? "visually-hidden" : "name" }, label), select);
  return add({
    element: wrap,
    render() {
      const busy = pending.has(call(key));
      attr(select, "aria-busy", busy ? "true" : null);
      select.disabled = enabled ? !enabled() : false;
      for (const { item, option } of items) item.disabled = option.enabled ? !option.enabled() : false;
      if (busy) return;
      const now = get();
      const known = items.some(({ option }) => option.value === now);
      unknown.textContent = now === null || now === undefined ? "–" : `${now} (not in the list)`;
      const wanted = known ? JSON.stringify(now) : "null";
      if (select.value !== wanted) select.value = wanted;
    },
  });
}

// A slider that sends where it is let go (or each key press) and shows the
// device's value beside it.
export function slider({ label, short, min, max, get, set, key, enabled }) {
  const input = el("input", { type: "range", min, max: call(max), step: 1 });
  const shown = el("output", { class: "number" });
  const name = el("span", { class: "name" });
  let moving = false;
  input.addEventListener("pointerdown", () => (moving = true));
  for (const end of ["pointerup", "pointercancel"]) input.addEventListener(end, () => (moving = false));
  input.addEventListener("input", () => {
    shown.textContent = input.value;
    shown.classList.add("moving");
  });
  input.addEventListener("change", () => {
    moving = false;
    set(Number(input.value));
  });
  const row = el("label", { class: "slider" }, name, input, shown);
  return add({
    element: row,
    render() {
      const words = call(label);
      text(name, short ? call(short) : words);
      attr(input, "aria-label", words);
      attr(input, "max", call(max));
      const on = enabled ? enabled() : true;
      input.disabled = !on;
      const busy = pending.has(call(key));
      attr(input, "aria-busy", busy ? "true" : null);
      if (moving || busy) return;
      const now = get();
      shown.classList.remove("moving");
      text(shown, now === null ? "–" : String(now));
      attr(input, "aria-valuetext", now === null ? "not known" : null);
      if (now !== null && input.value !== String(now)) input.value = String(now);
    },
  });
}

// A text box sent with Enter or its button, checked as the device takes it.
export function textField({ label, maxLength, pattern, get, set, key, enabled, button = "Set" }) {
  const input = el("input", { type: "text", maxlength: maxLength, pattern, autocomplete: "off", spellcheck: "false" });
  const name = el("span", { class: "name" }, label);
  const form = el(
    "form",
    { class: "text-field" },
    el("label", {}, name, input),
    el("button", { type: "submit", "aria-label": `${button} ${label}` }, button),
  );
  form.addEventListener("submit", (event) => {
    event.preventDefault();
    if (form.reportValidity()) set(input.value);
  });
  return add({
    element: form,
    render() {
      const on = enabled ? enabled() : true;
      for (const control of form.elements) control.disabled = !on;
      const busy = pending.has(call(key));
      attr(input, "aria-busy", busy ? "true" : null);
      // What is being typed is kept; otherwise the device's label shows.
      if (busy || document.activeElement === input) return;
      const now = get();
      if (input.value !== (now || "")) input.value = now || "";
    },
  });
}

// A button that does something (a preset, a menu key, a reset); `current`
// marks the one the device last reported.
export function action({ text: words, label, run, enabled, current, className }) {
  const button = el("button", { type: "button", class: className, click: () => run() });
  return add({
    element: button,
    render() {
      text(button, call(words));
      attr(button, "aria-label", call(label) || null);
      attr(button, "aria-current", current && current() ? "true" : null);
      button.disabled = enabled ? !enabled() : false;
    },
  });
}

// A value shown as text ("1.23", "192.168.1.10").
export function readout({ label, get }) {
  const value = el("output", { class: "value" });
  const row = el("div", { class: "readout" }, el("span", { class: "name" }, label), value);
  return add({
    element: row,
    render() {
      const now = get();
      text(value, now === null || now === "" ? "–" : String(now));
    },
  });
}
