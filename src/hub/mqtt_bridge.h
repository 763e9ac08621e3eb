// The hub on an MQTT broker: the unit's availability, its state and its
// events under quadrel/ID/, settings taken from quadrel/ID/set as PATCH
// /api/v1/state takes them and lines from quadrel/ID/send as POST
// /api/v1/send does, each answered on quadrel/ID/result, and Home
// Assistant's discovery configs.
#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qcoro/qcorotask.h>

#include "hub/command_rules.h"
#include "hub/ha_discovery.h"
#include "hub/mqtt_client.h"
#include "link/link_opener.h"

namespace quadrel::hub {

class EventStream;
class HttpApi;
class SharedLink;

struct MqttOptions {
  BrokerAddress broker;  // no host: no MQTT
  QString id;            // the unit's name in topics
  QString prefix = QStringLiteral("quadrel");
  QString ha_prefix = QStringLiteral("homeassistant");
  bool discovery = true;
  QString password_file;
  // Where the topics last published are kept, to be removed once the unit is
  // renamed or its discovery turned off (empty: not kept).
  QString record_file;
  int send_buffer = 0;  // the socket's send buffer (tests: a slow broker felt soon)
  // At start, the broker must be reached within this time, or the hub ends (tests shorten it).
  int start_limit_ms = 10000;

  bool enabled() const { return !broker.host.isEmpty(); }

  // "mqtt://[USER@]HOST[:PORT]" or "mqtts://..." (port 1883, 8883 by default);
  // false with the reason. A password in the URL is refused.
  static bool parse_url(const QString& text, BrokerAddress* broker, QString* why);
  // Letters, digits, '-' and '_', 1 to 64 of them.
  static bool valid_id(const QString& id);
  // Topic levels without wildcards: "quadrel", "site/av".
  static bool valid_prefix(const QString& prefix);
  // The unit's name made from its link: "corvane-10-0-0-5", "corvane-ttyUSB0".
  static QString default_id(const LinkTarget& target);
  // $XDG_STATE_HOME/quadrel/mqtt-<the link>.json.
  static QString default_record(const LinkTarget& target);
};

class MqttBridge : public QObject {
  Q_OBJECT
 public:
  MqttBridge(MqttOptions options, SharedLink& link, HttpApi& http, EventStream& events,
             std::vector<std::string> resolutions, QString panel_url, QObject* parent = nullptr);
  // Says `offline` and goodbye.
  ~MqttBridge() override;

  // Reads the password file and starts connecting; false with the reason.
  bool start(QString* error);

  QString topic(const QString& leaf) const { return base_ + QLatin1Char('/') + leaf; }
  MqttClient& client() { return *client_; }
  const MqttOptions& options() const { return options_; }

  // A `set` payload may be this long; a longer one is refused with a result.
  static constexpr qsizetype kMaxSetBytes = 64 * 1024;
  // Requests from the broker waiting for the device at most; more are refused.
  static constexpr int kMaxWaiting = 16;
  // The state goes out at most this often (the last one always).
  static constexpr int kStateIntervalMs = 100;

 signals:
  // At start the broker was not reached, or it refused the hub: the hub ends.
  void unreachable(const QString& reason);

 private:
  void on_connected();
  void on_message(const QString& topic, const QByteArray& payload, const QByteArray& correlation, bool retained);
  void take_set(const QByteArray& payload, const QByteArray& correlation);
  void take_send(const QByteArray& payload, const QByteArray& correlation);
  // The link's jobs: each request's turn on the device, and its result
  // (none when the bridge has gone meanwhile).
  static QCoro::Task<> set_job(QPointer<MqttBridge> self, QByteArray payload, QByteArray correlation);
  static QCoro::Task<> send_job(QPointer<MqttBridge> self, Command command, QString text, QByteArray correlation);
  void answer(QJsonObject result, const char* from, const QByteArray& correlation);
  void schedule_state();
  void publish_state(bool again);
  void publish_availability(bool again);
  void publish_discovery(bool again);
  // Topics of a name or a discovery no longer in use: emptied on the broker.
  void remove_stale();
  void save_record();

  MqttOptions options_;
  SharedLink& link_;
  HttpApi& http_;
  EventStream& events_;
  std::vector<std::string> resolutions_;
  DiscoveryUnit unit_;
  QString base_;
  std::unique_ptr<MqttClient> client_;
  QTimer state_timer_;
  QElapsedTimer state_clock_;
  QByteArray state_sent_;
  QByteArray availability_sent_;
  std::map<QString, QByteArray> configs_sent_;
  QStringList recorded_;  // what the record held at start, on the same broker
  QString last_failure_;
  bool reached_ = false;
  int waiting_ = 0;
  QTimer start_limit_;
};

}  // namespace quadrel::hub
