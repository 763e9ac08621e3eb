// quadrel-bench's rows for quadrel-hub: an exchange through the hub against
// the device directly, a device report to a WebSocket client and to the web
// panel's page, many clients at once, idle CPU; and the shared run of a
// panel, a watch and a loop of apply runs.
#include "bench_hub.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include <algorithm>
#include <functional>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include <sched.h>
#include <unistd.h>

#include "browser.h"
#include "hub/mqtt_client.h"
#include "mqtt_broker.h"
#include "plain_client.h"
#include "panel_fixture.h"
#include "shell/frm_main.h"
#include "sim_process.h"
#include "sim_server.h"
#include "hub_rig.h"
#include "sim_document.h"
#include "state_copy.h"

namespace quadrel::bench {

namespace {

using quadrel::test::Browser;
using quadrel::test::SimProcess;

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}
double p99(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * 99 / 100)];
}

// Microseconds of the wall clock, comparable with a page's timeOrigin + now().
double epoch_us() {
  using namespace std::chrono;
  return static_cast<double>(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

// Waits in the event loop itself (QTest's waits sleep 10 ms at a time).
bool spin(const std::function<bool()>& done, int ms) {
  QDeadlineTimer deadline(ms);
  QTimer wake;
  wake.start(ms);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

quint16 free_port() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// CPU time a process has run, in seconds, to the nanosecond (the scheduler's own count).
double process_cpu_seconds(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/schedstat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  return stat.readAll().split(' ').value(0).toDouble() / 1e9;
}

// quadrel-hub as its own process, pinned to a core.
struct Hub {
  QProcess process;
  QByteArray log;
  quint16 port = free_port();
  quint16 http_port = free_port();

  bool start(quint16 device_port, int cpu) {
    return start_on({"--tcp", QStringLiteral("127.0.0.1:%1").arg(device_port)}, cpu);
  }
  bool start_on(const QStringList& link, int cpu) {
    process.setChildProcessModifier([cpu] {
      cpu_set_t set;
      CPU_ZERO(&set);
      CPU_SET(cpu, &set);
      sched_setaffinity(0, sizeof set, &set);
    });
    QObject::connect(&process, &QProcess::readyReadStandardError, [this] { log += process.readAllStandardError(); });
    process.start(QStringLiteral(QUADREL_HUB_PATH),
                  link + QStringList{"--listen", QStringLiteral("127.0.0.1:%1").arg(port), "--http",
                                     QStringLiteral("127.0.0.1:%1").arg(http_port)});
    return process.waitForStarted(5000) && QTest::qWaitFor([this] { return log.contains("model read"); }, 10000);
  }
  ~Hub() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(3000)) process.kill();
  }
};

// A client of the protocol port that keeps one query in flight.
struct LoadClient {
  QTcpSocket socket;
  QByteArray query, code, buffer;
  qint64 sent = 0, answered = 0, wrong = 0, doubled = 0, reports = 0;
  bool waiting = false;
  bool stop = false;

  void next() {
    if (stop) return;
    waiting = true;
    ++sent;
    socket.write(query + '\r');
  }
  void take() {
    buffer += socket.readAll();
    qsizetype end;
    while ((end = buffer.indexOf('\r')) >= 0) {
      const QByteArray line = buffer.left(end);
      buffer.remove(0, end + 1);
      if (line.startsWith("AUE")) {
        ++reports;
      } else if (!line.startsWith(code)) {
        ++wrong;
      } else if (!waiting) {
        ++doubled;
      } else {
        waiting = false;
        ++answered;
        next();
      }
    }
  }
};

}  // namespace

void bench_hub(int exchanges, int load_seconds) {
  std::printf("\n## quadrel-hub (its own process; simulator on CPU 1, hub and clients on CPU 0)\n\n");
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) { std::printf("simulator did not start\n"); return; }

  // The device directly, first: it takes one TCP client, which will be the hub.
  const int direct_fd = plain_tcp(sim.port());
  plain_exchanges(direct_fd, 100);
  const std::vector<double> direct = plain_exchanges(direct_fd, exchanges);
  ::close(direct_fd);
  QTest::qWait(50);

  Hub hub;
  if (!hub.start(sim.port(), 0)) { std::printf("hub did not start: %s\n", hub.log.constData()); return; }
  const int hub_fd = plain_tcp(hub.port);
  plain_exchanges(hub_fd, 100);
  const std::vector<double> through = plain_exchanges(hub_fd, exchanges);
  ::close(hub_fd);

  std::printf("| %-44s | %12s | %12s | %8s |\n", "what", "median", "p99", "ratio");
  std::printf("|----------------------------------------------|-------------:|-------------:|---------:|\n");
  std::printf("| %-44s | %9.1f us | %9.1f us | %8s |\n", "one exchange, device directly (plain client)",
              median(direct), p99(direct), "");
  std::printf("| %-44s | %9.1f us | %9.1f us | %7.2fx |\n", "one exchange through the hub (plain client)",
              median(through), p99(through), median(through) / median(direct));

  // The same at the device's real speed: the hub on a serial line at 115200
  // baud (the simulator's pseudo-terminal, paced).
  {
    SimProcess paced;
    if (paced.start({}, {"--log", "/dev/null", "--pace"}, 1)) {
      const int fd = plain_pty(paced.pty());
      plain_exchanges(fd, 20);
      const std::vector<double> serial_direct = plain_exchanges(fd, 200);
      ::close(fd);
      Hub serial_hub;
      if (serial_hub.start_on({"--serial", paced.pty()}, 0)) {
        const int via = plain_tcp(serial_hub.port);
        plain_exchanges(via, 20);
        const std::vector<double> serial_through = plain_exchanges(via, 200);
        ::close(via);
        std::printf("| %-44s | %9.1f us | %9.1f us | %8s |\n", "one exchange at 115200 baud, directly",
                    median(serial_direct), p99(serial_direct), "");
        std::printf("| %-44s | %9.1f us | %9.1f us | %7.2fx |\n", "one exchange at 115200 baud, through the hub",
                    median(serial_through), p99(serial_through), median(serial_through) / median(serial_direct));
      }
    }
  }

  // A device report to a protocol client, a WebSocket client and the web
  // panel's page: the device is simulated in this process, so the moment it
  // sends its report is known to the microsecond.
  {
    corvane::SimServer device;
    corvane::SimServer::Options sim_options;
    sim_options.pty = false;
    device.start(sim_options);
    Hub near;
    if (!near.start(device.tcp_port(), 1)) { std::printf("hub did not start\n"); return; }
    QWebSocket events;
    double arrived = 0;
    QObject::connect(&events, &QWebSocket::textMessageReceived, [&](const QString& text) {
      if (text.contains("\"code\":\"LCK\"")) arrived = epoch_us();
    });
    events.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(near.http_port)));
    spin([&] { return events.state() == QAbstractSocket::ConnectedState; }, 3000);
    QTcpSocket plain;
    double plain_arrived = 0;
    plain.connectToHost(QStringLiteral("127.0.0.1"), near.port);
    plain.waitForConnected(3000);
    QObject::connect(&plain, &QTcpSocket::readyRead, [&] {
      if (plain.readAll().contains("LCK")) plain_arrived = epoch_us();
    });
    spin([] { return false; }, 100);
    std::vector<double> ws_ms, plain_ms;
    for (int i = 0; i < 200; ++i) {
      arrived = plain_arrived = 0;
      const double t0 = epoch_us();
      device.front_panel(QStringLiteral("LCK00%1").arg(i % 2));
      if (!spin([&] { return arrived > 0 && plain_arrived > 0; }, 2000)) continue;
      ws_ms.push_back((arrived - t0) / 1000.0);
      plain_ms.push_back((plain_arrived - t0) / 1000.0);
      spin([] { return false; }, 2);
    }
    std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "device report to a protocol client",
                median(plain_ms), p99(plain_ms), "");
    std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "device report to a WebSocket client (< 5 ms)",
                median(ws_ms), p99(ws_ms), "");

    // Agreement: from a device report until a consumer's copy (the snapshot
    // and the records), GET /api/v1/state and the device's own state are one
    // document; a mode or a recall brings the hub's reads of what it changed.
    {
      test::EventClient consumer(near.http_port);
      spin([&] { return !consumer.records.isEmpty(); }, 3000);
      // GET on a kept connection, waited for without naps.
      QNetworkAccessManager network;
      const QNetworkRequest state_url(QUrl(QStringLiteral("http://127.0.0.1:%1/api/v1/state").arg(near.http_port)));
      auto agreed = [&] {
        QNetworkReply* reply = network.get(state_url);
        spin([&] { return reply->isFinished(); }, 3000);
        QJsonObject served = QJsonDocument::fromJson(reply->readAll()).object();
        reply->deleteLater();
        if (!test::differences(test::copy_of(consumer.records), served).isEmpty()) return false;
        QJsonObject device_state = test::expected_json(device.device().state(), {});
        for (QJsonObject* d : {&served, &device_state}) d->remove("link"), d->remove("resolution_name");
        return test::differences(served, device_state).isEmpty();
      };
      const char* const reports[] = {"LCK001", "BEH042", "MOD004", "LCK000", "RES001", "BEH000", "MOD005", "RES008"};
      std::vector<double> values_ms, modes_ms;
      // Each report on its own, as a press at the front panel: one close
      // behind another is a storm's, which the hub reads once it has passed.
      for (int i = 0; i < 48; ++i) {
        const QString line = QString::fromLatin1(reports[i % std::size(reports)]);
        const double t0 = epoch_us();
        device.front_panel(line);
        QTimer tick;  // looked at every millisecond, records or not
        tick.start(1);
        if (!spin(agreed, 3000)) continue;
        (line.startsWith("MOD") ? modes_ms : values_ms).push_back((epoch_us() - t0) / 1000.0);
        spin([] { return false; }, 250);
      }
      std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "report to agreement, a value (< 100 ms)",
                  median(values_ms), p99(values_ms), "");
      std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "report to agreement, a mode (< 100 ms)",
                  median(modes_ms), p99(modes_ms), "");
    }

    if (Browser::program().isEmpty()) {
      std::printf("| %-44s | %12s | %12s | %8s |\n", "device report to the page's DOM", "no Chromium", "", "");
    } else {
      Browser browser;
      QString error;
      if (!browser.open(QStringLiteral("http://127.0.0.1:%1/").arg(near.http_port), &error)) {
        std::printf("browser: %s\n", qPrintable(error));
      } else {
        // A page load on loopback to a page filled with the device's state,
        // by the page's own clock (from its navigation's start).
        const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(near.http_port);
        std::vector<double> load_ms;
        for (int i = 0; i < 40; ++i) {
          browser.call("Page.navigate", {{"url", url}});
          if (browser.wait_true("document.body && document.body.dataset.filled === 'true'", 10000))
            load_ms.push_back(browser.eval("performance.getEntriesByName('filled')[0].startTime").toDouble());
        }
        if (load_ms.size() > 5) load_ms.erase(load_ms.begin(), load_ms.begin() + 5);  // the browser's own first loads
        std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "page load to a filled page (< 300 ms)",
                    median(load_ms), p99(load_ms), "");
        // A mode the device reports, to its button on the page.
        const QString pressed = QStringLiteral(
            "[...document.querySelectorAll('#g-outputs button')].find(b => b.textContent === '%1')"
            "?.getAttribute('aria-pressed') === 'true'");
        browser.wait_true(pressed.arg("Matrix"), 10000);
        browser.eval(QStringLiteral(R"(window.__t = 0; new MutationObserver(() => {
              if (!window.__t && (%1)) window.__t = performance.timeOrigin + performance.now();
            }).observe(document.body, {subtree: true, attributes: true}); true)").arg(pressed.arg("TV Wall")));
        std::vector<double> dom_ms;
        for (int i = 0; i < 30; ++i) {
          browser.eval("window.__t = 0");
          const double t0 = epoch_us();
          device.front_panel(QStringLiteral("MOD003"));
          if (browser.wait_true("window.__t > 0", 3000))
            dom_ms.push_back((browser.eval("window.__t").toDouble() * 1000.0 - t0) / 1000.0);
          device.front_panel(QStringLiteral("MOD001"));
          browser.wait_true(pressed.arg("Matrix"), 3000);
          spin([] { return false; }, 20);
        }
        std::printf("| %-44s | %9.2f ms | %9.2f ms | %8s |\n", "device report to the page's DOM (< 50 ms)",
                    median(dom_ms), p99(dom_ms), "");
      }
    }
  }

  // Idle: the link open, a protocol client and a WebSocket client connected.
  {
    QTcpSocket plain;
    plain.connectToHost(QStringLiteral("127.0.0.1"), hub.port);
    plain.waitForConnected(3000);
    QWebSocket events;
    events.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(hub.http_port)));
    QTest::qWait(500);
    const double cpu0 = process_cpu_seconds(hub.process.processId());
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(10000);
    const double percent = 100.0 * (process_cpu_seconds(hub.process.processId()) - cpu0) / (clock.elapsed() / 1000.0);
    std::printf("| %-44s | %9.5f %% | %12s | %8s |\n", "hub idle CPU, 10 s (<= 0.01 % of a core)", percent, "", "");
  }

  // Many clients at once: each of 20 keeps one query of its own code in
  // flight; 5 WebSocket clients listen; the device reports every 200 ms.
  {
    static const char* kQueries[] = {"MOD999", "OUT999", "RES999", "ASP999", "VER999", "VR2999", "LCK999",
                                     "PWR999", "AUD999", "AUA999", "AUB999", "AUQ999", "BEZ999", "BEH999",
                                     "BEV999", "LAB999", "HPI991", "HPO991", "LAI991", "BRI999"};
    std::vector<std::unique_ptr<LoadClient>> clients;
    for (const char* query : kQueries) {
      auto c = std::make_unique<LoadClient>();
      c->query = query;
      c->code = c->query.left(3);
      c->socket.connectToHost(QStringLiteral("127.0.0.1"), hub.port);
      c->socket.waitForConnected(3000);
      LoadClient* raw = c.get();
      QObject::connect(&c->socket, &QTcpSocket::readyRead, [raw] { raw->take(); });
      clients.push_back(std::move(c));
    }
    std::vector<std::unique_ptr<QWebSocket>> streams;
    std::vector<int> stream_reports(5, 0);
    for (int i = 0; i < 5; ++i) {
      auto ws = std::make_unique<QWebSocket>();
      QObject::connect(ws.get(), &QWebSocket::textMessageReceived, [&stream_reports, i](const QString& text) {
        if (text.contains("\"code\":\"AUE\"")) ++stream_reports[i];
      });
      ws->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(hub.http_port)));
      streams.push_back(std::move(ws));
    }
    QTest::qWait(300);
    int injected = 0;
    QTimer reporter;
    QObject::connect(&reporter, &QTimer::timeout, [&] { sim.command(QStringLiteral("panel AUE00%1").arg(++injected % 5)); });
    reporter.start(200);
    for (auto& c : clients) c->next();
    QTest::qWait(load_seconds * 1000);
    reporter.stop();
    for (auto& c : clients) c->stop = true;
    QTest::qWait(2000);
    qint64 sent = 0, answered = 0, wrong = 0, doubled = 0, lost = 0, missed_reports = 0;
    for (auto& c : clients) {
      sent += c->sent;
      answered += c->answered;
      wrong += c->wrong;
      doubled += c->doubled;
      lost += c->waiting ? 1 : 0;
      missed_reports += injected - c->reports;
    }
    for (int n : stream_reports) missed_reports += injected - n;
    std::printf("| %-44s | %12s | %12s | %8s |\n",
                qPrintable(QStringLiteral("20 protocol + 5 WebSocket clients, %1 s").arg(load_seconds)),
                qPrintable(QStringLiteral("%1 exch.").arg(answered)),
                qPrintable(QStringLiteral("%1/s").arg(answered / std::max(1, load_seconds))), "");
    std::printf("\nUnder load: %lld sent, %lld answered, %lld lost, %lld doubled, %lld misrouted; %d reports "
                "injected, %lld missed over 25 clients.\n",
                static_cast<long long>(sent), static_cast<long long>(answered), static_cast<long long>(lost),
                static_cast<long long>(doubled), static_cast<long long>(wrong), injected,
                static_cast<long long>(missed_reports));
  }
}

// The shared run: a panel, a watch and a loop of apply runs share one
// simulated device through the hub, with front-panel changes all along and
// the web panel driving it from Chromium now and then.
void bench_hub_mqtt() {
  std::printf("\n## quadrel-hub on an MQTT broker (Mosquitto on loopback; hubs on CPU 1, broker and clients as"
              " the system places them), %s\n\n",
              qPrintable(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd hh:mm 'UTC'"))));
  test::MosquittoBroker broker;
  if (!broker.start()) { std::printf("mosquitto did not start\n"); return; }
  QTemporaryDir state;  // what the hubs record of their topics
  qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
  hub::BrokerAddress address;
  address.host = QStringLiteral("127.0.0.1");
  address.port = broker.port();
  std::printf("| %-48s | %12s | %12s |\n", "what", "median", "p99");
  std::printf("|--------------------------------------------------|-------------:|-------------:|\n");

  // A front-panel change, timed from the simulator in this process to a
  // subscriber of `events` (libmosquitto), beside a plain protocol client.
  {
    corvane::SimServer device;
    corvane::SimServer::Options sim_options;
    sim_options.pty = false;
    device.start(sim_options);
    Hub near;
    if (!near.start_on({"--tcp", QStringLiteral("127.0.0.1:%1").arg(device.tcp_port()), "--mqtt", broker.url(),
                        "--mqtt-id", "bench"},
                       1)) {
      std::printf("hub did not start: %s\n", near.log.constData());
      return;
    }
    hub::MqttClient subscriber(address, QStringLiteral("quadrel-bench"), QStringLiteral("quadrel-bench/gone"), "1");
    double arrived = 0, plain_arrived = 0;
    QObject::connect(&subscriber, &hub::MqttClient::connected_to_broker,
                     [&] { subscriber.subscribe(QStringLiteral("quadrel/bench/events")); });
    QObject::connect(&subscriber, &hub::MqttClient::message, [&](const QString&, const QByteArray& payload) {
      if (payload.contains("\"code\":\"LCK\"")) arrived = epoch_us();
    });
    subscriber.start();
    QTcpSocket plain;
    plain.connectToHost(QStringLiteral("127.0.0.1"), near.port);
    plain.waitForConnected(3000);
    QObject::connect(&plain, &QTcpSocket::readyRead, [&] {
      if (plain.readAll().contains("LCK")) plain_arrived = epoch_us();
    });
    spin([&] { return subscriber.connected(); }, 3000);
    spin([] { return false; }, 300);
    std::vector<double> mqtt_ms, plain_ms;
    for (int i = 0; i < 300; ++i) {
      arrived = plain_arrived = 0;
      const double t0 = epoch_us();
      device.front_panel(QStringLiteral("LCK00%1").arg(i % 2));
      if (!spin([&] { return arrived > 0 && plain_arrived > 0; }, 2000)) continue;
      mqtt_ms.push_back((arrived - t0) / 1000.0);
      plain_ms.push_back((plain_arrived - t0) / 1000.0);
      spin([] { return false; }, 2);
    }
    std::printf("| %-48s | %9.2f ms | %9.2f ms |\n", "device report to a protocol client (plain)", median(plain_ms),
                p99(plain_ms));
    std::printf("| %-48s | %9.2f ms | %9.2f ms |\n", "device report to an MQTT subscriber (< 10 ms)",
                median(mqtt_ms), p99(mqtt_ms));
    std::printf("| %-48s | %12zu | %12s |\n", "  of 300 reports, delivered to both", mqtt_ms.size(), "");
  }

  // Ten units on one broker: each hub idle, then one report from each device.
  {
    constexpr int kUnits = 10;
    std::vector<std::unique_ptr<corvane::SimServer>> devices;
    std::vector<std::unique_ptr<Hub>> hubs;
    for (int i = 0; i < kUnits; ++i) {
      auto device = std::make_unique<corvane::SimServer>();
      corvane::SimServer::Options sim_options;
      sim_options.pty = false;
      device->start(sim_options);
      auto hub = std::make_unique<Hub>();
      if (!hub->start_on({"--tcp", QStringLiteral("127.0.0.1:%1").arg(device->tcp_port()), "--mqtt", broker.url(),
                          "--mqtt-id", QStringLiteral("room%1").arg(i)},
                         1)) {
        std::printf("hub %d did not start: %s\n", i, hub->log.constData());
        return;
      }
      devices.push_back(std::move(device));
      hubs.push_back(std::move(hub));
    }
    hub::MqttClient subscriber(address, QStringLiteral("quadrel-bench-site"), QStringLiteral("quadrel-bench/gone"), "1");
    std::map<QString, double> arrived;
    QObject::connect(&subscriber, &hub::MqttClient::connected_to_broker,
                     [&] { subscriber.subscribe(QStringLiteral("quadrel/+/events")); });
    QObject::connect(&subscriber, &hub::MqttClient::message, [&](const QString& topic, const QByteArray& payload) {
      if (payload.contains("\"code\":\"LCK\"") && !arrived.count(topic)) arrived[topic] = epoch_us();
    });
    subscriber.start();
    spin([&] { return subscriber.connected(); }, 3000);
    spin([] { return false; }, 1000);
    std::vector<double> cpu0;
    for (auto& hub : hubs) cpu0.push_back(process_cpu_seconds(hub->process.processId()));
    QElapsedTimer clock;
    clock.start();
    spin([] { return false; }, 10000);
    std::vector<double> idle;
    for (int i = 0; i < kUnits; ++i)
      idle.push_back(100.0 * (process_cpu_seconds(hubs[i]->process.processId()) - cpu0[i]) / (clock.elapsed() / 1000.0));
    std::printf("| %-48s | %9.5f %% | %9.5f %% |\n", "each of 10 hubs idle, 10 s (< 0.01 % of a core)", median(idle),
                *std::max_element(idle.begin(), idle.end()));
    const double t0 = epoch_us();
    for (auto& device : devices) device->front_panel(QStringLiteral("LCK001"));
    spin([&] { return int(arrived.size()) == kUnits; }, 5000);
    std::vector<double> delivered_ms;
    for (const auto& entry : arrived) delivered_ms.push_back((entry.second - t0) / 1000.0);
    std::printf("| %-48s | %9.2f ms | %9.2f ms |\n", "one report from each of 10 devices, delivered",
                median(delivered_ms), p99(delivered_ms));
    std::printf("| %-48s | %9zu/%d | %12s |\n", "  reports delivered", arrived.size(), kUnits, "");
  }
  std::printf("\n(the idle row's second column is the busiest hub; the report rows' p99 of 10 is their slowest)\n");
}

void bench_hub_soak(int minutes) {
  std::printf("\n## Shared run through quadrel-hub, %d min\n\n", minutes);
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) { std::printf("simulator did not start\n"); return; }
  Hub hub;
  if (!hub.start(sim.port(), 1)) { std::printf("hub did not start\n"); return; }
  const QString via = QStringLiteral("127.0.0.1:%1").arg(hub.port);

  // The panel's window on the hub.
  QTemporaryDir folder;
  quadrel::test::prepare_program_folder(folder.path(), QStringLiteral("/nonexistent"), 1, true, via);
  quadrel::test::CapturingNotifier notifier;
  FrmMainOptions options;
  options.program_folder = folder.path();
  options.notifier = &notifier;
  FrmMain panel(options);
  panel.controls().cmd_conn_eth->click();
  if (!QTest::qWaitFor([&] { return panel.link().state().eth_connected; }, 3000)) {
    std::printf("panel did not connect\n");
    return;
  }

  // watch --json through the hub: every front-panel change must be in it.
  QProcess watch;
  QByteArray watched;
  QObject::connect(&watch, &QProcess::readyReadStandardOutput, [&] { watched += watch.readAllStandardOutput(); });
  watch.start(QStringLiteral(QUADREL_CLI_PATH), {"--tcp", via, "watch", "--json"});
  watch.waitForStarted(3000);

  QTemporaryDir docs;
  const QStringList documents = {R"({"routing":{"B":3,"C":1},"aspect":"full"})",
                                 R"({"routing":{"B":2,"C":4},"aspect":"16:9"})"};
  QStringList files;
  for (int i = 0; i < documents.size(); ++i) {
    QFile f(docs.filePath(QStringLiteral("doc%1.json").arg(i)));
    f.open(QIODevice::WriteOnly);
    f.write(documents[i].toUtf8());
    files << f.fileName();
  }

  Browser browser;
  QString error;
  const bool web = !Browser::program().isEmpty() &&
                   browser.open(QStringLiteral("http://127.0.0.1:%1/").arg(hub.http_port), &error);

  int applies = 0, failed = 0, events = 0, clicks = 0, web_clicks = 0, web_failed = 0;
  QStringList failures;
  QElapsedTimer clock;
  clock.start();
  QProcess apply;
  int next_doc = 0;
  auto start_apply = [&] {
    apply.start(QStringLiteral(QUADREL_CLI_PATH), {"--tcp", via, "apply", files[next_doc++ % files.size()]});
  };
  QObject::connect(&apply, &QProcess::finished, [&](int code, QProcess::ExitStatus) {
    ++applies;
    if (code != 0) {
      ++failed;
      if (failures.size() < 5) failures << QString::fromUtf8(apply.readAllStandardError()).trimmed();
    }
    apply.readAll();
    if (clock.elapsed() < minutes * 60000LL) start_apply();
  });
  start_apply();

  QTimer front_panel;  // the device's own changes: an audio format the others never set
  QObject::connect(&front_panel, &QTimer::timeout, [&] { sim.command(QStringLiteral("panel AUE00%1").arg(++events % 5)); });
  front_panel.start(1000);

  const double cpu0 = process_cpu_seconds(hub.process.processId());
  while (clock.elapsed() < minutes * 60000LL) {
    // The panel: an output and a refresh of everything now and then.
    QTest::qWait(2500);
    if (!qEnvironmentVariableIsSet("SOAK_NO_OUT")) panel.controls().cmd_out[1 + clicks % 4]->click();
    ++clicks;
    if (clicks % 8 == 0) panel.controls().cmd_refresh->click();
    if (web && clicks % 4 == 0) {
      // The key lock: a setting none of the others touches.
      const bool lock = web_clicks++ % 2 == 0;
      const QString key = QStringLiteral("document.querySelector('#g-keys button[aria-label=\"Key lock\"]')");
      browser.eval(key + ".click()");
      if (!browser.wait_true(QStringLiteral("%1.getAttribute('aria-pressed') === '%2'").arg(key, lock ? "true" : "false"),
                             5000))
        ++web_failed;
    }
  }
  front_panel.stop();
  (void)QTest::qWaitFor([&] { return apply.state() == QProcess::NotRunning; }, 20000);
  QTest::qWait(1500);
  const double cpu = process_cpu_seconds(hub.process.processId()) - cpu0;

  int seen = 0;
  int expected = 1;
  for (const QByteArray& line : watched.split('\n')) {
    const QJsonObject record = QJsonDocument::fromJson(line).object();
    if (!record["line"].toString().startsWith("AUE")) continue;
    if (record["line"].toString() == QStringLiteral("AUE00%1").arg(expected % 5)) {
      ++seen;
      ++expected;
    }
  }
  watch.terminate();
  watch.waitForFinished(3000);
  std::printf("| %-40s | %12s |\n", "what", "figure");
  std::printf("|------------------------------------------|-------------:|\n");
  std::printf("| %-40s | %12d |\n", "apply runs", applies);
  std::printf("| %-40s | %12d |\n", "failed apply runs", failed);
  std::printf("| %-40s | %12d |\n", "front-panel changes", events);
  std::printf("| %-40s | %12d |\n", "of them in the watch, in order", seen);
  std::printf("| %-40s | %12d |\n", "panel clicks (outputs, refreshes)", clicks);
  std::printf("| %-40s | %12d |\n", "panel messages (link errors)", static_cast<int>(notifier.texts.size()));
  std::printf("| %-40s | %12s |\n", "web panel clicks, failed",
              web ? qPrintable(QStringLiteral("%1, %2").arg(web_clicks).arg(web_failed)) : "no Chromium");
  std::printf("| %-40s | %10.2f %% |\n", "hub CPU over the run", 100.0 * cpu / (clock.elapsed() / 1000.0));
  for (const QString& f : failures) std::printf("\nfailed run: %s\n", qPrintable(f));
  if (hub.process.state() != QProcess::Running)
    std::printf("\nthe hub ended (exit %d, %s); its last words:\n%s\n", hub.process.exitCode(),
                hub.process.exitStatus() == QProcess::CrashExit ? "crashed" : "exited", hub.log.right(2000).constData());
}

}  // namespace quadrel::bench
