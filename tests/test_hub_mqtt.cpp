// The hub on a real Mosquitto broker, heard and driven by mosquitto_sub and
// mosquitto_pub: availability with its last will, the retained state, the
// events, settings on `set` with their `result`, Home Assistant's discovery
// rendered as Home Assistant renders it, and a broker or a device that goes away.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "hub_process.h"
#include "hub_rig.h"
#include "mqtt_broker.h"
#include "sim_document.h"

using namespace quadrel;
using test::MqttMessage;
using test::MqttWatch;
using test::MosquittoBroker;

namespace {

QByteArray compact(const QJsonObject& o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

// A hub in this process on its own simulator, published on `broker` as `id`.
std::unique_ptr<test::HubRig> mqtt_rig(const MosquittoBroker& broker, const QString& id, const QString& record = {},
                                       bool discovery = true) {
  return std::make_unique<test::HubRig>([&](hub::HubOptions& o, corvane::SimServer&) {
    QString why;
    if (!hub::MqttOptions::parse_url(broker.url(), &o.mqtt.broker, &why)) qFatal("%s", qPrintable(why));
    o.mqtt.id = id;
    o.mqtt.record_file = record;
    o.mqtt.discovery = discovery;
  });
}

bool link_up(const MqttMessage& m) { return m.json().value("link").toObject().value("state") == "up"; }

// The newest config of each discovery topic heard, those emptied left out.
std::map<QString, QJsonObject> configs_heard(const MqttWatch& watch, const QString& component = {}) {
  std::map<QString, QJsonObject> configs;
  for (const MqttMessage& m : watch.messages()) {
    if (!m.topic.startsWith("homeassistant/" + component) || !m.topic.endsWith("/config")) continue;
    if (m.payload.isEmpty()) configs.erase(m.topic);
    else configs[m.topic] = m.json();
  }
  return configs;
}

// The configs' templates rendered by Jinja2 as Home Assistant renders them,
// over each of `states`: {topic: {"values": [...], "attributes": [...], "commands": {option: payload}}}.
QJsonObject render(const std::map<QString, QJsonObject>& configs, const QList<QByteArray>& states) {
  QJsonObject given, all;
  for (const auto& [topic, config] : configs) all[topic] = config;
  QJsonArray texts;
  for (const QByteArray& s : states) texts.append(QString::fromUtf8(s));
  given["configs"] = all;
  given["states"] = texts;
  QProcess python;
  python.start(QStringLiteral("python3"), {QStringLiteral(QUADREL_SOURCE_DIR "/tests/support/ha_render.py")});
  python.write(compact(given));
  python.closeWriteChannel();
  if (!python.waitForFinished(10000) || python.exitCode() != 0)
    qWarning("ha_render.py: %s", python.readAllStandardError().constData());
  return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// The simulator's own state as the document spells it, with the hub's link: what a value template reads.
QByteArray sim_state(test::HubRig& rig) {
  QJsonObject state = test::expected_json(rig.sim.device().state(), rig.hub->options().resolutions);
  state["link"] = rig.hub->http().state_json().value("link");
  return compact(state);
}

// The keys Home Assistant's MQTT integration documents, per component, as its
// documentation pages list them (home-assistant.io/integrations/select.mqtt/,
// switch.mqtt/, button.mqtt/, sensor.mqtt/, and mqtt/#discovery-payload for the
// device and origin blocks). Anything else in a config is refused by its schema.
const QStringList kEveryEntity{"availability",          "availability_mode",     "availability_template",
                               "availability_topic",    "device",                "enabled_by_default",
                               "encoding",              "entity_category",       "entity_picture",
                               "icon",                  "json_attributes_template", "json_attributes_topic",
                               "name",                  "object_id",             "origin",
                               "payload_available",     "payload_not_available", "qos",
                               "unique_id"};
const QMap<QString, QStringList> kComponentKeys{
    {"select", {"command_template", "command_topic", "optimistic", "options", "retain", "state_topic", "value_template"}},
    {"switch",
     {"command_template", "command_topic", "device_class", "optimistic", "payload_off", "payload_on", "retain",
      "state_off", "state_on", "state_topic", "value_template"}},
    {"button", {"command_template", "command_topic", "device_class", "payload_press", "retain"}},
    {"sensor",
     {"device_class", "expire_after", "force_update", "last_reset_value_template", "options",
      "suggested_display_precision", "state_class", "state_topic", "unit_of_measurement", "value_template"}}};
const QMap<QString, QStringList> kRequired{{"select", {"command_topic", "options"}},
                                           {"switch", {"command_topic"}},
                                           {"button", {"command_topic"}},
                                           {"sensor", {"state_topic"}}};
const QStringList kDeviceKeys{"configuration_url", "connections", "hw_version",     "identifiers", "manufacturer",
                              "model",             "model_id",    "name",           "serial_number",
                              "suggested_area",    "sw_version",  "via_device"};
const QStringList kOriginKeys{"name", "sw_version", "support_url"};

QStringList unknown_keys(const QJsonObject& object, const QStringList& known) {
  QStringList unknown;
  for (const QString& key : object.keys())
    if (!known.contains(key)) unknown << key;
  return unknown;
}

}  // namespace

class TestHubMqtt : public QObject {
  Q_OBJECT

  std::unique_ptr<MosquittoBroker> broker_;
  // One unit on a broker of its own for the rows of `set`: a hub is slow to make.
  std::unique_ptr<MosquittoBroker> set_broker_;
  std::unique_ptr<test::HubRig> set_unit_;

 private slots:
  void init() {
    broker_ = std::make_unique<MosquittoBroker>();
    QVERIFY(broker_->start());
  }
  void cleanup() { broker_.reset(); }
  void cleanupTestCase() {
    set_unit_.reset();
    set_broker_.reset();
  }

  // Availability, state and events as the hub has them; the device dropped
  // makes the unit unavailable until the link is back and the model read.
  void availability_state_and_events() {
    MqttWatch watch;
    QVERIFY(watch.start(broker_->port(), {"quadrel/#"}));
    auto rig = mqtt_rig(*broker_, "stage");
    const auto online = watch.wait("quadrel/stage/availability", [](auto& m) { return m.payload == "online"; });
    QVERIFY(online);
    QVERIFY(watch.wait("quadrel/stage/state", link_up));

    // Retained, for whoever comes later: the state the hub serves, and online.
    MqttWatch late;
    QVERIFY(late.start(broker_->port(), {"quadrel/stage/state", "quadrel/stage/availability"}));
    const auto state = late.wait("quadrel/stage/state");
    QVERIFY(state && state->retained);
    QCOMPARE(state->json(), rig->hub->http().state_json());
    QVERIFY(late.wait("quadrel/stage/availability", [](auto& m) { return m.retained && m.payload == "online"; }));

    // A front-panel change: its record on `events` (never retained), then the state.
    watch.clear();
    rig->sim.front_panel("MOD005");
    const auto event = watch.wait("quadrel/stage/events", [](auto& m) { return m.json().value("field") == "mode"; });
    QVERIFY(event);
    QVERIFY(!event->retained);
    QCOMPARE(event->json().value("value").toString(), "quad");
    QVERIFY(watch.wait("quadrel/stage/state", [](auto& m) { return m.json().value("mode") == "quad"; }));

    // A burst of changes: at most one state a tenth of a second, and the last one always.
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->link().queued() == 0; }, 5000));  // the mode's reads done
    QTest::qWait(hub::MqttBridge::kStateIntervalMs);
    watch.clear();
    QElapsedTimer burst;
    burst.start();
    for (int i = 0; i < 60; ++i) {
      rig->sim.front_panel(QStringLiteral("LCK00%1").arg(i % 2));
      QTest::qWait(5);
    }
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->http().state_json().value("key_lock") == true; }, 2000));
    QTest::qWait(hub::MqttBridge::kStateIntervalMs * 2);
    const QList<MqttMessage> states = watch.find("quadrel/stage/state");
    QVERIFY2(states.size() <= burst.elapsed() / hub::MqttBridge::kStateIntervalMs + 1,
             qPrintable(QStringLiteral("%1 states in %2 ms").arg(states.size()).arg(burst.elapsed())));
    QCOMPARE(states.last().json(), rig->hub->http().state_json());
    QCOMPARE(watch.find("quadrel/stage/events").size(), 60);

    // The device goes away: the unit is unavailable, the state says why; and back.
    watch.clear();
    rig->sim.drop_connection();
    QVERIFY(watch.wait("quadrel/stage/availability", [](auto& m) { return m.payload == "offline"; }));
    QVERIFY(watch.wait("quadrel/stage/availability", [](auto& m) { return m.payload == "online"; }));
    QVERIFY(watch.wait("quadrel/stage/state", link_up));
  }

  // `set` is PATCH /api/v1/state: strict and verified, answered on `result`;
  // what is too long or no JSON is refused there and the device hears nothing.
  void set_is_answered_on_result_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("sent");  // the device's line, or none
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("retained");  // kept by the broker from before the hub came
    const QByteArray valid = R"({"mode":"quad"})", back = R"({"mode":"matrix"})";
    QTest::newRow("a setting") << valid << 0 << "MOD005" << "" << false;
    QTest::newRow("64 KiB, the last taken") << back + QByteArray(64 * 1024 - back.size(), ' ') << 0 << "MOD001"
                                           << "" << false;
    QTest::newRow("a byte more") << valid + QByteArray(64 * 1024 - valid.size() + 1, ' ') << 64 << "" << "65537 bytes" << false;
    QTest::newRow("no JSON") << QByteArray("quad please") << 64 << "" << "no JSON" << false;
    QTest::newRow("a JSON array") << QByteArray("[1]") << 64 << "" << "no JSON object" << false;
    QTest::newRow("an unknown key") << QByteArray(R"({"mode":"quad","colour":1})") << 64 << "" << "colour" << false;
    QTest::newRow("out of range") << QByteArray(R"({"routing":{"A":5}})") << 64 << "" << "routing.A" << false;
    QTest::newRow("empty") << QByteArray() << 64 << "" << "no JSON" << false;
    QTest::newRow("retained") << valid << 64 << "" << "retained" << true;
  }
  void set_is_answered_on_result() {
    QFETCH(QByteArray, payload);
    QFETCH(int, exit_code);
    QFETCH(QString, sent);
    QFETCH(QString, says);
    QFETCH(bool, retained);
    // The rows share a unit; the retained command is met by a unit that comes after it.
    std::unique_ptr<test::HubRig> fresh;
    if (!set_unit_ && !retained) {
      set_broker_ = std::make_unique<MosquittoBroker>();
      QVERIFY(set_broker_->start());
      set_unit_ = mqtt_rig(*set_broker_, "stage");
    }
    const quint16 port = retained ? broker_->port() : set_broker_->port();
    MqttWatch watch;
    QVERIFY(watch.start(port, {"quadrel/stage/result"}));
    if (retained) {
      QVERIFY(MqttWatch::publish(port, "quadrel/stage/set", payload, true));
      fresh = mqtt_rig(*broker_, "stage");
    }
    test::HubRig* rig = retained ? fresh.get() : set_unit_.get();
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->mqtt()->client().connected() && rig->hub->link().queued() == 0; },
                            3000));
    rig->sim.clear_log();
    if (!retained) QVERIFY(MqttWatch::publish(port, "quadrel/stage/set", payload));
    const auto result = watch.wait("quadrel/stage/result");
    QVERIFY(result);
    QVERIFY(!result->retained);
    QCOMPARE(result->json().value("exit_code").toInt(), exit_code);
    QVERIFY2(result->payload.contains(says.toUtf8()), result->payload.constData());
    // What the setting sent first (the reads it set going follow), or nothing at all.
    const QStringList log = rig->sim.log();
    QVERIFY2(sent.isEmpty() ? log.isEmpty() : log.value(0) == sent, qPrintable(log.join(' ')));
    if (retained) QCOMPARE(rig->sim.device().state().mode, 1);
  }

  // Each component's configs hold only keys Home Assistant documents; each
  // command template, rendered by Jinja2, drives the simulator, and each value
  // template renders what the simulator then holds.
  void discovery_drives_the_device_data() {
    QTest::addColumn<QString>("component");
    QTest::addColumn<int>("entities");
    QTest::newRow("select") << "select" << 6;  // the mode, four outputs in Matrix, the resolution
    QTest::newRow("switch") << "switch" << 4;
    QTest::newRow("button") << "button" << 4;
    QTest::newRow("sensor") << "sensor" << 2;
  }
  void discovery_drives_the_device() {
    QFETCH(QString, component);
    QFETCH(int, entities);
    MqttWatch watch;
    QVERIFY(watch.start(broker_->port(), {"homeassistant/#", "quadrel/stage/result", "quadrel/stage/state"}));
    auto rig = mqtt_rig(*broker_, "stage");
    // The configs once the model is read: the firmware known, the outputs of the mode.
    QVERIFY(QTest::qWaitFor(
        [&] {
          const auto configs = configs_heard(watch, component);
          return int(configs.size()) == entities && std::all_of(configs.begin(), configs.end(), [](auto& c) {
                   return c.second.value("device").toObject().contains("sw_version");
                 });
        },
        3000));
    auto configs = configs_heard(watch, component);

    std::set<QString> ids;
    for (const auto& [topic, config] : configs) {
      const QStringList unknown = unknown_keys(config, kEveryEntity + kComponentKeys[component]);
      QVERIFY2(unknown.isEmpty(), qPrintable(topic + ": " + unknown.join(", ")));
      for (const QString& key : kRequired[component]) QVERIFY2(config.contains(key), qPrintable(topic + ": " + key));
      QVERIFY(unknown_keys(config.value("device").toObject(), kDeviceKeys).isEmpty());
      QVERIFY(unknown_keys(config.value("origin").toObject(), kOriginKeys).isEmpty());
      QCOMPARE(config.value("availability_topic").toString(), "quadrel/stage/availability");
      QCOMPARE(config.value("device").toObject().value("sw_version").toString(), "1.23");
      QCOMPARE(config.value("device").toObject().value("configuration_url").toString(),
               QStringLiteral("http://127.0.0.1:%1/").arg(rig->http_port()));
      QVERIFY2(ids.insert(config.value("unique_id").toString()).second, qPrintable(topic));
    }

    // Each way to drive an entity, in an order that keeps the others possible:
    // the resolution before the mode changes its list, the power last.
    struct Step {
      QString topic;        // the config's
      QString command_topic;
      QByteArray payload;   // as Home Assistant sends it
      QString shows;        // what its value template renders afterwards ("" : not rendered)
    };
    QList<Step> steps;
    const QJsonObject rendered = render(configs, {});
    auto last = [](const QString& topic) { return topic.contains("/mode/") || topic.contains("/power/"); };
    for (int pass = 0; pass < 2; ++pass)
      for (const auto& [topic, config] : configs) {
        if (last(topic) != (pass == 1)) continue;
        const QString to = config.value("command_topic").toString();
        if (component == "select") {
          const QJsonObject by_option = rendered.value(topic).toObject().value("commands").toObject();
          QCOMPARE(by_option.size(), config.value("options").toArray().size());
          for (const QJsonValue& option : config.value("options").toArray())
            steps.append({topic, to, by_option.value(option.toString()).toString().toUtf8(), option.toString()});
        } else if (component == "switch") {
          steps.append({topic, to, config.value("payload_on").toString().toUtf8(), config.value("state_on").toString()});
          steps.append({topic, to, config.value("payload_off").toString().toUtf8(), config.value("state_off").toString()});
        } else if (component == "button") {
          steps.append({topic, to, config.value("payload_press").toString().toUtf8(), {}});
        }
      }

    QList<QByteArray> states{sim_state(*rig)};
    for (const Step& step : std::as_const(steps)) {
      watch.clear();
      rig->sim.clear_log();
      QVERIFY(MqttWatch::publish(broker_->port(), step.command_topic, step.payload));
      const auto result = watch.wait("quadrel/stage/result", {}, 5000);
      QVERIFY2(result, qPrintable(step.topic + " " + step.payload));
      QVERIFY2(result->json().value("exit_code").toInt() == 0, qPrintable(step.topic + ": " + result->payload));
      if (component == "button") QVERIFY2(rig->sim.log().contains(step.payload), qPrintable(step.payload));
      states << sim_state(*rig);
    }

    // Every value template over the state before and after each step.
    const QJsonObject values = render(configs, states);
    for (qsizetype i = 0; i < steps.size(); ++i) {
      if (steps[i].shows.isEmpty()) continue;
      const QString shown = values.value(steps[i].topic).toObject().value("values").toArray().at(i + 1).toString();
      QVERIFY2(shown == steps[i].shows, qPrintable(steps[i].topic + ": " + shown + " for " + steps[i].shows));
    }
    if (component == "sensor") {
      const QJsonObject firmware = values.value("homeassistant/sensor/quadrel_stage/firmware/config").toObject();
      QCOMPARE(firmware.value("values").toArray().at(0).toString(), "1.23");
      const QJsonObject link = values.value("homeassistant/sensor/quadrel_stage/link/config").toObject();
      QCOMPARE(link.value("values").toArray().at(0).toString(), "up");
      const QJsonObject attributes =
          QJsonDocument::fromJson(link.value("attributes").toArray().at(0).toString().toUtf8()).object();
      QCOMPARE(attributes.value("target").toString(), rig->hub->link().target().describe());
    }
  }

  // The configs follow the mode's outputs; a renamed unit or discovery turned
  // off leaves nothing of itself behind on the broker.
  void discovery_follows_and_is_removed() {
    QTemporaryDir state;
    const QString record = state.filePath("mqtt-record.json");
    MqttWatch watch;
    QVERIFY(watch.start(broker_->port(), {"homeassistant/#"}));
    auto rig = mqtt_rig(*broker_, "stage", record);
    QVERIFY(QTest::qWaitFor([&] { return configs_heard(watch).count("homeassistant/select/quadrel_stage/routing_d/config"); }, 3000));
    rig->sim.front_panel("MOD003");  // TV Wall: one output
    QVERIFY(QTest::qWaitFor([&] { return !configs_heard(watch).count("homeassistant/select/quadrel_stage/routing_d/config"); }, 3000));
    const auto wall = configs_heard(watch, "select").at("homeassistant/select/quadrel_stage/routing_a/config");
    QVERIFY2(wall.value("name").toString().contains("Wall"), qPrintable(wall.value("name").toString()));
    rig.reset();

    // Renamed: the old unit's configs are emptied, the new one's published.
    rig = mqtt_rig(*broker_, "hall", record);
    QVERIFY(QTest::qWaitFor([&] {
      const auto configs = configs_heard(watch);
      return !configs.empty() && std::all_of(configs.begin(), configs.end(), [](auto& c) { return c.first.contains("quadrel_hall"); });
    }, 3000));
    rig.reset();

    // Turned off: nothing left.
    rig = mqtt_rig(*broker_, "hall", record, false);
    QVERIFY(QTest::qWaitFor([&] { return configs_heard(watch).empty(); }, 3000));
    MqttWatch late;
    QVERIFY(late.start(broker_->port(), {"homeassistant/#"}));
    QTest::qWait(200);
    QCOMPARE(late.messages().size(), 1);  // its own probe only
  }

  // Two hubs with two simulators on one broker keep apart.
  void two_units_keep_apart() {
    MqttWatch watch;
    QVERIFY(watch.start(broker_->port(), {"quadrel/+/result", "quadrel/+/state"}));
    auto stage = mqtt_rig(*broker_, "stage");
    auto hall = mqtt_rig(*broker_, "hall");
    QVERIFY(watch.wait("quadrel/stage/state", link_up));
    QVERIFY(watch.wait("quadrel/hall/state", link_up));
    QVERIFY(MqttWatch::publish(broker_->port(), "quadrel/hall/set", R"({"routing":{"B":4}})"));
    QVERIFY(watch.wait("quadrel/hall/result"));
    QVERIFY(watch.wait("quadrel/hall/state", [](auto& m) { return m.json().value("routing").toObject().value("B") == 4; }));
    QCOMPARE(hall->sim.device().state().inputs[1], 4);
    QCOMPARE(stage->sim.device().state().inputs[1], 2);
    QVERIFY(watch.find("quadrel/stage/result").isEmpty());
    QCOMPARE(watch.find("quadrel/stage/state").last().json().value("routing").toObject().value("B").toInt(), 2);
  }

  // The broker restarted (what it retained lost): availability, state and
  // configs published again once it is back.
  void the_broker_comes_back() {
    auto rig = mqtt_rig(*broker_, "stage");
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->mqtt()->client().connected(); }, 3000));
    QSignalSpy ended(rig->hub->mqtt(), &hub::MqttBridge::unreachable);
    broker_->stop();
    QVERIFY(QTest::qWaitFor([&] { return !rig->hub->mqtt()->client().connected(); }, 3000));
    QVERIFY(broker_->start());
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->mqtt()->client().connected(); }, 5000));
    // What a subscriber finds retained once the hub has said it all again.
    QVERIFY(QTest::qWaitFor([&] { return rig->hub->mqtt()->client().queued() == 0; }, 3000));
    QTest::qWait(200);
    MqttWatch late;
    QVERIFY(late.start(broker_->port(), {"quadrel/#", "homeassistant/#"}));
    QVERIFY(late.wait("quadrel/stage/state", [](auto& m) { return m.retained && link_up(m); }));
    QVERIFY(late.wait("quadrel/stage/availability", [](auto& m) { return m.retained && m.payload == "online"; }));
    QVERIFY(late.wait("homeassistant/select/quadrel_stage/mode/config", [](auto& m) { return m.retained; }));
    QCOMPARE(ended.count(), 0);
  }

  // --mqtt given and no broker there: the hub ends at start, with the reason;
  // a broker reached once and gone later only costs time.
  void a_broker_never_reached_ends_the_hub() {
    const quint16 nobody = test::free_port();
    auto rig = test::HubRig([&](hub::HubOptions& o, corvane::SimServer&) {
      hub::MqttOptions::parse_url(QStringLiteral("mqtt://127.0.0.1:%1").arg(nobody), &o.mqtt.broker, nullptr);
      o.mqtt.id = "stage";
      o.mqtt.start_limit_ms = 300;
    }, false);
    QSignalSpy unreachable(rig.hub->mqtt(), &hub::MqttBridge::unreachable);
    QVERIFY(unreachable.wait(2000));
    const QString reason = unreachable.at(0).at(0).toString();
    QVERIFY2(reason.contains(QStringLiteral("127.0.0.1:%1 not reached within 0.3 s").arg(nobody)), qPrintable(reason));
    QVERIFY2(reason.contains("refused"), qPrintable(reason));
  }

  // mqtts://: the broker's certificate checked against the authority given
  // (and its address); one signed by another authority is never talked to.
  void tls_checks_the_broker_data() {
    QTest::addColumn<bool>("its_authority");
    QTest::newRow("the broker's authority") << true;
    QTest::newRow("another authority") << false;
  }
  void tls_checks_the_broker() {
    QFETCH(bool, its_authority);
    MosquittoBroker broker({}, {}, MosquittoBroker::Tls::On);
    QVERIFY(broker.start());
    QTemporaryDir other;
    MosquittoBroker::make_authority(other.path(), "other");
    auto rig = test::HubRig([&](hub::HubOptions& o, corvane::SimServer&) {
      hub::MqttOptions::parse_url(QStringLiteral("mqtts://127.0.0.1:%1").arg(broker.port()), &o.mqtt.broker, nullptr);
      o.mqtt.broker.ca_file = its_authority ? broker.ca_file() : other.filePath("other.pem");
      o.mqtt.id = "stage";
      o.mqtt.start_limit_ms = 5000;
    });
    QSignalSpy unreachable(rig.hub->mqtt(), &hub::MqttBridge::unreachable);
    if (its_authority) {
      QVERIFY(QTest::qWaitFor([&] { return rig.hub->mqtt()->client().connected(); }, 3000));
    } else {
      // Refused at once: another try cannot mend it.
      QVERIFY(unreachable.wait(3000));
      QVERIFY(!rig.hub->mqtt()->client().connected());
      const QString reason = unreachable.at(0).at(0).toString();
      QVERIFY2(reason.contains("TLS handshake failed") && reason.contains("other.pem") && reason.contains("127.0.0.1"),
               qPrintable(reason));
    }
  }

  // A broker that takes nothing for a while: the hub's queue stays within its
  // cap while the device reports on, and the last state is the one the broker keeps.
  void a_stalled_broker_gets_the_last_state() {
    auto rig = test::HubRig([&](hub::HubOptions& o, corvane::SimServer&) {
      hub::MqttOptions::parse_url(broker_->url(), &o.mqtt.broker, nullptr);
      o.mqtt.id = "stage";
      o.mqtt.send_buffer = 4096;
    });
    if (test::kSlowdown > 1)
      QSKIP("the sanitized hub reads a flood too slowly to fill the queue; the release build holds the cap");
    hub::MqttClient& client = rig.hub->mqtt()->client();
    QVERIFY(QTest::qWaitFor([&] { return client.connected() && client.queued() == 0; }, 3000));
    broker_->pause();
    for (int round = 0; round < 40 * test::kSlowdown && client.dropped() == 0; ++round) {
      rig.sim.flood_lines(20000, {"AUD000", "AUD001"});
      QTest::qWait(50);
      QVERIFY(client.queued_bytes() <= hub::MqttClient::kMaxQueuedBytes);
    }
    QVERIFY(client.dropped() > 0);
    rig.sim.front_panel("MOD005");
    QVERIFY(QTest::qWaitFor([&] { return rig.hub->http().state_json().value("mode") == "quad"; }, 2000 * test::kSlowdown));
    // What the mode asks to read is read: the state to come is the last.
    QVERIFY(test::spin_until([&] { return rig.hub->link().queued() == 0; }, 5000 * test::kSlowdown));
    QTest::qWait(hub::MqttBridge::kStateIntervalMs * 2);
    QVERIFY(client.queued_bytes() <= hub::MqttClient::kMaxQueuedBytes);
    broker_->resume();
    QVERIFY(QTest::qWaitFor([&] { return client.queued() == 0; }, 5000));
    MqttWatch late;
    QVERIFY(late.start(broker_->port(), {"quadrel/stage/state"}));
    const auto state = late.wait("quadrel/stage/state");
    QVERIFY(state);
    QCOMPARE(state->json(), rig.hub->http().state_json());
  }

  // The hub as a process: killed, the broker tells its last will; a broker
  // that refuses the login ends it at start with the reason.
  void the_hub_as_a_process_data() {
    QTest::addColumn<bool>("refused");
    QTest::newRow("killed: its last will") << false;
    QTest::newRow("the login refused") << true;
  }
  void the_hub_as_a_process() {
    QFETCH(bool, refused);
    MosquittoBroker guarded("hub", "right-password");
    MosquittoBroker& broker = refused ? guarded : *broker_;
    if (refused) QVERIFY(guarded.start());
    QTemporaryDir dir;
    QFile password(dir.filePath("password"));
    QVERIFY(password.open(QIODevice::WriteOnly));
    QVERIFY(password.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    password.write(refused ? "wrong-password\n" : "right-password\n");
    password.close();
    MqttWatch watch;
    if (!refused) QVERIFY(watch.start(broker.port(), {"quadrel/stage/availability"}));
    corvane::SimServer sim;
    QVERIFY(sim.start({}));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", dir.path());
    test::HubProcess hub;
    QVERIFY(hub.start({"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.tcp_port()), "--listen",
                       QStringLiteral("127.0.0.1:%1").arg(hub.port), "--http",
                       QStringLiteral("127.0.0.1:%1").arg(hub.http_port), "--mqtt",
                       QStringLiteral("mqtt://hub@127.0.0.1:%1").arg(broker.port()), "--mqtt-password-file",
                       password.fileName(), "--mqtt-id", "stage"},
                      env));
    if (refused) {
      QVERIFY(QTest::qWaitFor([&] { return hub.process.state() == QProcess::NotRunning; }, 5000));
      QCOMPARE(hub.process.exitCode(), 1);
      QVERIFY2(hub.log.contains("refused the connection"), hub.log.constData());
      QVERIFY2(hub.log.contains("mqtt://hub@127.0.0.1"), hub.log.constData());
      QVERIFY(!hub.log.contains("password\n"));
      return;
    }
    QVERIFY2(watch.wait("quadrel/stage/availability", [](auto& m) { return m.payload == "online"; }, 5000),
             hub.log.constData());
    watch.clear();
    hub.process.kill();  // SIGKILL: no goodbye
    QVERIFY(watch.wait("quadrel/stage/availability", [](auto& m) { return m.payload == "offline"; }, 3000));
  }
};

QTEST_MAIN(TestHubMqtt)
#include "test_hub_mqtt.moc"
