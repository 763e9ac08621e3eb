// The hub's event stream: its first message is the whole state, then a
// record for every change. Opened again when it closes, soon at first and
// every 5 s at most.

import { token } from "./api.js";
import { apply, setHub } from "./store.js";

export function openStream({ onRecord, onRefused }) {
  let wait = 500;
  let socket = null;

  function connect() {
    const scheme = location.protocol === "https:" ? "wss:" : "ws:";
    const me = (socket = new WebSocket(`${scheme}//${location.host}/api/v1/events`));
    me.addEventListener("open", () => {
      // A page cannot send the header: its token is its first message.
      if (token.get()) me.send(JSON.stringify({ token: token.get() }));
    });
    me.addEventListener("message", (event) => {
      let record;
      try {
        record = JSON.parse(event.data);
      } catch (e) {
        return;
      }
      if (record.event === "state") {
        wait = 500;
        setHub("up");
      }
      onRecord(record, apply(record));
    });
    me.addEventListener("close", (event) => {
      if (socket !== me) return;
      setHub("down");
      // 1008: refused (its token); the page asks for it.
      if (event.code === 1008 && /token/.test(event.reason)) onRefused(event.reason);
      setTimeout(connect, wait);
      wait = Math.min(wait * 2, 5000);
    });
  }

  connect();
  return {
    again() {
      if (socket) socket.close();
    },
  };
}
