// The whole panel, grouped as the desktop panel groups it: power; the mode,
// the outputs with their inputs, the menu keys and the output resolution;
// audio, bezel, picture, aspect; HDCP, input labels and the Dual PiP windows;
// presets; network, firmware and the factory reset. Every choice, range and
// caption comes from the hub's table; every value from the device.

import { el, choiceButtons, toggle, selectBox, slider, textField, action, readout } from "./controls.js";
import { state, value, live } from "./store.js";

const LETTERS = ["A", "B", "C", "D"];
const INPUTS = [1, 2, 3, 4];

// `act`: change(path, value, what, key?), event(line, what), ask(question, button).
export function buildPanel(table, act, root) {
  const groups = [];
  const mode = () => table.mode(value("mode"));
  const modeIs = (...words) => words.includes(value("mode"));
  const powered = () => value("power") === "on";
  const outputName = (i) => {
    const m = mode();
    return m ? m.outputs[i] : LETTERS[i];
  };
  const label = (input) => (value(`labels.text.${input}`) || "").trim();

  // A group of the panel: a fieldset with its legend, off while `enabled` says so.
  function group(title, { id, enabled, hint, className, actions } = {}, ...children) {
    const legend = el("legend", {}, title);
    const note = hint ? el("p", { class: "note" }) : null;
    const set = el("fieldset", { id, class: ["group", className, actions ? "actions" : ""].filter(Boolean).join(" ") },
      legend, ...children, note);
    groups.push({ set, enabled, note, hint });
    return set;
  }
  const row = (...children) => el("div", { class: "row" }, ...children);

  // --- power ---------------------------------------------------------------
  const power = toggle({
    text: () => (value("power") === "on" ? "Power: on" : value("power") === "standby" ? "Power: standby" : "Power"),
    get: () => (value("power") === null ? null : powered()),
    key: "power",
    className: "power",
    set: async (on) => {
      if (!on && !(await act.ask("Put the Corvane in standby? Every output goes dark.", "Standby"))) return;
      act.change("power", on ? "on" : "standby", on ? "Power on" : "Standby");
    },
  });

  // --- mode, outputs, menu keys, resolution --------------------------------
  const modes = choiceButtons({
    name: "Mode",
    key: "mode",
    options: table.choices("mode").map((c) => ({ value: c.word, text: c.caption })),
    get: () => value("mode"),
    set: (word) => act.change("mode", word, `Mode ${table.caption("mode", word)}`),
    className: "choices modes",
  });

  const blocks = LETTERS.map((letter, i) => {
    const used = () => !modeIs("tv-wall") || i === 0;
    const name = () => outputName(i) || `Output ${letter}`;
    const heading = el("h3", { id: `output-${letter}` });
    const inputs = choiceButtons({
      name: () => (used() ? `${name()}: input` : `${name()}, not used in this mode`),
      key: () => (modeIs("tv-wall") ? "routing" : `routing.${letter}`),
      className: "choices inputs",
      options: INPUTS.map((input) => ({
        value: input,
        text: String(input),
        hint: () => label(input),
        label: () => `${name()}: input ${input}${label(input) ? ` (${label(input)})` : ""}`,
      })),
      get: () => value(`routing.${letter}`),
      enabled: used,
      set: (input) => {
        // A TV Wall shows one input on every output.
        if (modeIs("tv-wall")) act.change("routing", Object.fromEntries(LETTERS.map((l) => [l, input])), `Wall: input ${input}`, "routing");
        else act.change(`routing.${letter}`, input, `${name()}: input ${input}`);
      },
    });
    const block = el("div", { class: "output", role: "group", "aria-labelledby": `output-${letter}` }, heading, inputs.element);
    groups.push({ render: () => {
      const words = used() ? name() : "–";
      if (heading.textContent !== words) heading.textContent = words;
      block.classList.toggle("unused", !used());
    } });
    return block;
  });

  const resolution = selectBox({
    label: "Output Resolution",
    key: "resolution",
    id: "resolution",
    options: table.choices("resolution").map((c) => ({
      value: c.value,
      text: c.caption,
      enabled: () => !c.modes || !value("mode") || c.modes.includes(value("mode")),
    })),
    get: () => value("resolution"),
    set: (n) => act.change("resolution", n, `Output Resolution ${table.caption("resolution", n)}`),
  });

  const keys = table.keys();
  const key = (word) => {
    const row = keys.get(word);
    const caption = row.choices[0].caption;
    return action({
      text: caption,
      label: `Menu key ${caption}`,
      className: `key key-${word}`,
      run: () => act.event(row.commands[0].line, `Menu key ${caption}`),
    }).element;
  };
  const audio = toggle({
    text: () => (value("audio.on") === false ? "Audio off" : "Audio"),
    get: () => value("audio.on"),
    key: "audio.on",
    className: "key key-audio",
    set: (on) => act.change("audio.on", on, on ? "Audio on" : "Audio off"),
  });
  const lock = toggle({
    text: "Lock",
    label: "Key lock",
    get: () => value("key_lock"),
    key: "key_lock",
    className: "key key-lock",
    set: (on) => act.change("key_lock", on, on ? "Key lock" : "Keys unlocked"),
  });

  // --- audio, bezel, picture, aspect -------------------------------------------
  const source = (path, index) => {
    const row = table.row(path);
    return choiceButtons({
      name: row.caption,
      key: path,
      options: row.choices.map((c, at) => ({
        value: c.value,
        text: () => (mode() && mode().sources ? mode().sources[at] : c.caption),
      })),
      get: () => value(path),
      set: (v) => act.change(path, v, `${row.caption} ${v}`),
    });
  };
  const choices = (path, options = {}) =>
    choiceButtons({
      name: table.row(path).caption,
      key: path,
      options: table.choices(path).map((c) => ({ value: table.row(path).kind === "word" ? c.word : c.value, text: c.caption })),
      get: () => value(path),
      set: (v) => act.change(path, v, `${table.row(path).caption} ${table.caption(path, v)}`),
      ...options,
    });

  const bezel = (path, limit) =>
    slider({
      label: table.row(path).caption,
      min: table.row(path).min,
      max: () => value(limit) ?? table.row(path).max,
      key: path,
      get: () => value(path),
      set: (v) => act.change(path, v, `${table.row(path).caption} ${v}`),
    });

  // The picture: one frame per adjustment, one row per picture of the mode
  // (in Matrix one, the whole picture).
  const pictureFrame = (path) => {
    const row = table.row(path);
    const paths = table.paths(path);
    const whole = paths[0].includes(".all.");
    const rows = [0, 1, 2, 3].map((i) => {
      const at = () => (whole && modeIs("matrix") ? paths[0] : paths[i + (whole ? 1 : 0)]);
      const caption = () => (mode() ? mode().picture_rows[i] : "");
      return slider({
        label: () => `${row.caption} ${caption() || "–"}`,
        short: () => caption() || "–",
        min: row.min,
        max: row.max,
        key: () => at(),
        enabled: () => caption() !== "" && (i === 0 || !modeIs("matrix")),
        get: () => (caption() !== "" && (i === 0 || !modeIs("matrix")) ? value(at()) : null),
        set: (v) => act.change(at(), v, `${row.caption} ${caption()} ${v}`),
      }).element;
    });
    return el("fieldset", { class: "adjustment" }, el("legend", {}, row.caption), ...rows);
  };

  const aspect = selectBox({
    label: "Aspect Ratio",
    key: "aspect",
    id: "aspect",
    hideLabel: true,
    options: table.choices("aspect").map((c) => ({ value: c.word, text: c.caption })),
    get: () => value("aspect"),
    set: (word) => act.change("aspect", word, `Aspect Ratio ${table.caption("aspect", word)}`),
  });

  // --- HDCP, labels, PiP ---------------------------------------------------------
  const hdcp = (pattern, names) =>
    table.paths(pattern).map((path, i) =>
      choiceButtons({
        name: names[i],
        key: path,
        className: "choices pair",
        options: table.choices(pattern).map((c) => ({ value: c.word, text: c.caption, label: `${names[i]}: ${c.caption}` })),
        get: () => value(path),
        set: (word) => act.change(path, word, `HDCP ${names[i]} ${table.caption(pattern, word)}`),
      }).element,
    );
  const labelRow = table.row("labels.text.#");
  const labels = table.paths("labels.text.#").map((path, i) =>
    textField({
      label: `Input ${i + 1}`,
      maxLength: labelRow.max_length,
      pattern: labelRow.pattern.replace(/^\^|\$$/g, ""),
      key: path,
      get: () => value(path),
      set: (text) => act.change(path, text, `Label of input ${i + 1}`),
    }).element,
  );
  const inPip = () => modeIs("dual-pip");
  const pip = (i) => {
    const corner = table.paths("pip.@.corner")[i];
    const size = table.paths("pip.@.size")[i];
    const swap = table.row("pip.@.swap");
    const name = `PiP ${LETTERS[i]}`;
    return el(
      "div",
      { class: "pip", role: "group", "aria-label": name },
      el("h3", {}, name),
      action({
        text: swap.choices[i].caption,
        label: `${name}: ${swap.choices[i].caption}`,
        run: () => act.event(swap.commands[i].line, `${name} swapped`),
        className: "swap",
      }).element,
      selectBox({
        label: "Size",
        key: size,
        options: table.choices("pip.@.size").map((c) => ({ value: c.word, text: c.caption })),
        get: () => value(size),
        set: (word) => act.change(size, word, `${name} size ${table.caption("pip.@.size", word)}`),
      }).element,
      choiceButtons({
        name: `${name}: corner`,
        key: corner,
        className: "choices corners",
        options: table.choices("pip.@.corner").map((c) => ({ value: c.word, text: c.caption, label: `${name}: ${c.caption}` })),
        get: () => value(corner),
        set: (word) => act.change(corner, word, `${name} ${table.caption("pip.@.corner", word)}`),
      }).element,
    );
  };

  // --- presets, network, firmware, reset ------------------------------------------
  const presets = (path, verb) =>
    table.row(path).commands.map(({ value: n, line }) =>
      action({
        text: `${verb} ${n}`,
        current: () => state.last[path] === n,
        run: async () => {
          if (verb === "Save" && !(await act.ask(`Save the current settings to preset ${n}? What it holds now is replaced.`, `Save to preset ${n}`)))
            return;
          act.event(line, `${verb} ${n}`);
        },
      }).element,
    );
  const readAgain = (text, paths) =>
    action({
      text,
      className: "read",
      run: () => paths.forEach((p) => act.event(table.row(p).query, table.row(p).caption)),
    }).element;
  const reset = table.row("factory_reset");

  // --- the panel -------------------------------------------------------------------
  const on = () => powered();
  const panel = el(
    "div",
    { class: "panel" },
    group("Power", { id: "g-power", className: "power-group" }, power.element),
    group(
      "Outputs",
      { id: "g-outputs", enabled: on, className: "wide" },
      el("div", { class: "mode-row" }, modes.element),
      el("div", { class: "map" }, ...blocks),
      resolution.element,
    ),
    group(
      "Menu keys",
      { id: "g-keys", enabled: on },
      el("div", { class: "keypad" }, audio.element, key("up"), lock.element, key("left"), key("ok"), key("right"),
        key("exit"), key("down"), key("menu")),
    ),
    group("Dual A Audio", { id: "g-dual-a", enabled: () => on() && modeIs("dual-pop", "dual-pip"), hint: "Dual PoP and Dual PiP" },
      source("audio.dual_a").element),
    group("Dual B Audio", { id: "g-dual-b", enabled: () => on() && modeIs("dual-pop", "dual-pip"), hint: "Dual PoP and Dual PiP" },
      source("audio.dual_b").element),
    group("Quad Audio", { id: "g-quad", enabled: () => on() && modeIs("quad"), hint: "Quad" },
      choices("audio.quad").element),
    group("Audio EDID", { id: "g-edid", enabled: on }, choices("audio.edid").element),
    group(
      "Bezel Correction",
      { id: "g-bezel", enabled: () => on() && modeIs("tv-wall"), hint: "TV Wall" },
      toggle({
        text: "Bezel correction",
        get: () => value("bezel.on"),
        key: "bezel.on",
        set: (v) => act.change("bezel.on", v, v ? "Bezel correction on" : "Bezel correction off"),
      }).element,
      bezel("bezel.h", "bezel.h_limit").element,
      bezel("bezel.v", "bezel.v_limit").element,
    ),
    group(
      "Picture",
      { id: "g-picture", enabled: on, className: "wide" },
      el("div", { class: "adjustments" }, ...["picture.*.contrast", "picture.*.brightness", "picture.*.saturation", "picture.*.hue"].map(pictureFrame)),
      action({ text: reset.choices[1].caption, label: "Reset the picture", className: "act",
        run: () => act.event(reset.commands[1].line, "Picture reset") }).element,
    ),
    group("Aspect Ratio", { id: "g-aspect", enabled: on }, aspect.element),
    group("HDCP", { id: "g-hdcp", enabled: on },
      row(el("div", { class: "hdcp" }, el("h3", {}, "HDCP Input"), ...hdcp("hdcp.inputs.#", INPUTS.map((n) => `Input ${n}`))),
        el("div", { class: "hdcp" }, el("h3", {}, "HDCP Output"), ...hdcp("hdcp.outputs.@", LETTERS.map((l) => `Output ${l}`))))),
    group("Input Labels", { id: "g-labels", enabled: on },
      toggle({
        text: "Labels on screen",
        get: () => value("labels.shown"),
        key: "labels.shown",
        set: (v) => act.change("labels.shown", v, v ? "Labels shown" : "Labels hidden"),
      }).element,
      ...labels),
    group("Dual PiP", { id: "g-pip", enabled: () => on() && inPip(), hint: "Dual PiP" }, row(pip(0), pip(1))),
    group("Recall / Save", { id: "g-presets", enabled: on, actions: true },
      el("div", { class: "presets", role: "group", "aria-label": "Recall" }, ...presets("preset.recalled", "Recall")),
      el("div", { class: "presets", role: "group", "aria-label": "Save" }, ...presets("preset.saved", "Save"))),
    group("Network", { id: "g-network" },
      readout({ label: "IP", get: () => value("network.ip") }).element,
      readout({ label: "Subnet Mask", get: () => value("network.mask") }).element,
      readout({ label: "Gate Way", get: () => value("network.gateway") }).element,
      el("div", { class: "actions" }, readAgain("Get IP", ["network.ip", "network.mask", "network.gateway"]))),
    group("Firmware", { id: "g-firmware" },
      readout({ label: "F/W Ver", get: () => [value("firmware.version"), value("firmware.version2")].filter(Boolean).join(" / ") }).element,
      el("div", { class: "actions" }, readAgain("F/W Ver", ["firmware.version", "firmware.version2"]))),
    group("Factory Reset", { id: "g-reset", actions: true },
      action({
        text: reset.choices[0].caption,
        className: "danger",
        run: async () => {
          if (await act.ask("Reset the Corvane to its factory settings? Every setting, label and preset is lost, and it restarts.", "Factory Reset"))
            act.event(reset.commands[0].line, "Factory reset");
        },
      }).element),
  );
  root.replaceChildren(panel);

  return function render() {
    for (const g of groups) {
      if (g.render) {
        g.render();
        continue;
      }
      const off = g.enabled ? !g.enabled() : false;
      if (g.set.disabled !== off) g.set.disabled = off;
      if (g.note) g.note.textContent = off && value("power") === "on" && g.hint ? `In ${g.hint} only.` : "\u00a0";
    }
    root.classList.toggle("stale", !live());
  };
}
