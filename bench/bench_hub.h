// quadrel-bench's rows for quadrel-hub, and its shared run.
#pragma once

namespace quadrel::bench {

// Through the hub against directly, report latencies, idle CPU, and
// `load_seconds` of 20 protocol and 5 WebSocket clients at once.
void bench_hub(int exchanges, int load_seconds);
// The hub on a Mosquitto broker of its own: a device report to an MQTT
// subscriber beside a protocol client, and ten hubs idle on one broker.
void bench_hub_mqtt();
// A panel, a watch and a loop of apply runs on one device through the hub.
void bench_hub_soak(int minutes);

}  // namespace quadrel::bench
