// What the hub says each value of the device is and takes (GET
// /api/v1/parameters): the page's choices, ranges and captions, what each
// mode calls its outputs, and the line of each of the device's events.
// The page knows the document's paths; everything else about the device it
// reads from here.

export class Table {
  constructor(description) {
    this.rows = description.parameters;
    this.byPath = new Map(this.rows.filter((r) => r.path).map((r) => [r.path, r]));
  }

  row(path) {
    const row = this.byPath.get(path);
    if (!row) throw new Error(`The hub describes no "${path}".`);
    return row;
  }

  choices(path) {
    return this.row(path).choices || [];
  }

  // The caption of a value as the document spells it (a word, or a number).
  caption(path, value) {
    const choice = this.choices(path).find((c) => c.word === value || c.value === value);
    return choice ? choice.caption : value === null || value === undefined ? "" : String(value);
  }

  // A mode's choice by its word: caption, outputs, picture rows, sources.
  mode(word) {
    return this.choices("mode").find((c) => c.word === word) || null;
  }

  // The document's path of each channel of a row ("routing.@" -> routing.A..D;
  // a picture row: the whole picture first, then A..D).
  paths(path) {
    return this.row(path).paths || [path];
  }

  // The line that makes one value of an event happen ("Save 2").
  line(path, value) {
    const command = (this.row(path).commands || []).find((c) => c.value === value);
    return command ? command.line : null;
  }

  // The menu keys, by their words ("up", "ok", ...): events without a path.
  keys() {
    const keys = new Map();
    for (const row of this.rows)
      if (!row.path && row.commands && row.choices) keys.set(row.choices[0].word, row);
    return keys;
  }

  // The row a document's path belongs to, and which of its channels it is.
  find(path) {
    for (const row of this.rows) {
      if (row.path === path) return { row, at: -1 };
      const at = (row.paths || []).indexOf(path);
      if (at >= 0) return { row, at };
    }
    return null;
  }

  // A field and its value in words: "Routing AL: 3", "Mode: Quad".
  describe(path, value, mode) {
    // "routing" alone: one input on every output (the TV Wall), named by the first.
    const found = this.find(path) || this.find(path + ".A");
    if (!found) return null;
    const { row, at } = found;
    let name = row.caption;
    if (at >= 0) {
      const wholePicture = row.paths[0].includes(".all.");
      const outputs = mode ? mode.outputs : ["A", "B", "C", "D"];
      const channel = row.path.includes("#") ? String(at + 1)
        : wholePicture && at === 0 ? "ALL" : outputs[at - (wholePicture ? 1 : 0)] || path.split(".")[1];
      name += " " + channel;
    }
    const shown = typeof value === "boolean" ? (value ? "on" : "off") : this.caption(row.path, value);
    return `${name}: ${shown === "" ? "not known" : shown}`;
  }
}
