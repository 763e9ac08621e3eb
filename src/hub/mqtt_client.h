// One connection to an MQTT broker, driven from the hub's own event loop:
// libmosquitto reads and writes when its socket is ready and keeps the
// connection alive on a timer; it has no thread of its own. What waits to be
// sent is bounded, and a retained topic keeps only its latest message.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>
#include <deque>

struct mosquitto;

namespace quadrel::hub {

// Where the broker is and who the hub is there.
struct BrokerAddress {
  QString host;
  quint16 port = 1883;
  bool tls = false;      // mqtts://: the system's certificate authorities, or `ca_file`
  QString ca_file;
  QString user;          // from the URL
  QByteArray password;   // from the password file only
  // "mqtt://broker:1883", "mqtts://hub@broker:8883": never the password.
  QString describe() const;
};

class MqttClient : public QObject {
  Q_OBJECT
 public:
  // The broker tells `will_payload` (retained) on `will_topic` when the hub
  // goes without saying goodbye.
  MqttClient(BrokerAddress broker, const QString& client_id, const QString& will_topic,
             const QByteArray& will_payload, QObject* parent = nullptr);
  // Says goodbye: what is still queued is dropped, and the broker tells the will.
  ~MqttClient() override;

  // Connects; after a failure or a loss, again after the device link's pauses.
  void start();
  bool connected() const { return connected_; }
  const BrokerAddress& broker() const { return broker_; }

  // While connected: the broker sends what is published on `filter`.
  void subscribe(const QString& filter);
  // Sent in order as the broker takes them. A retained message replaces the
  // one of its topic still waiting (the last wins); past kMaxQueuedBytes the
  // oldest that is not retained is dropped. `correlation` answers an MQTT 5
  // request (its correlation data).
  void publish(const QString& topic, const QByteArray& payload, bool retain, int qos = 1,
               const QByteArray& correlation = {});
  qsizetype queued_bytes() const { return queued_bytes_; }
  int queued() const { return static_cast<int>(queue_.size()); }
  qint64 dropped() const { return dropped_; }

  // The socket's send buffer, in bytes (0: the system's): a test makes a
  // slow broker felt after a few kilobytes instead of megabytes.
  void set_send_buffer(int bytes) { send_buffer_ = bytes; }

  static constexpr qsizetype kMaxQueuedBytes = 256 * 1024;
  static constexpr int kMaxInFlight = 32;
  // From the connection's start to the broker's answer.
  static constexpr int kConnectLimitMs = 7000;
  static constexpr int kKeepAliveS = 30;

 signals:
  // Connected (again): subscribe, and publish what is retained.
  void connected_to_broker();
  // A try failed; `lasting` when trying again cannot help (the login or the
  // certificate was refused).
  void failed(const QString& reason, bool lasting);
  // The connection, made before, is lost.
  void lost(const QString& reason);
  // A message on a subscribed topic; `retained` when the broker kept it from before.
  void message(const QString& topic, const QByteArray& payload, const QByteArray& correlation, bool retained);

 private:
  struct Outgoing {
    QString topic;
    QByteArray payload;
    bool retain = false;
    int qos = 0;
    QByteArray correlation;
  };

  void try_connect();
  void connect_to(const QString& host);
  // libmosquitto's callbacks.
  void connack(int rc);
  void closed(int rc);
  void published();
  void ended(const QString& reason, bool lasting);
  QString tls_refusal() const;
  void retry_later();
  // After each call into the library: the notifiers follow its socket and
  // whether it has something to write.
  void follow_socket();
  void abort_socket();
  void pump();

  BrokerAddress broker_;
  QString client_id_;
  mosquitto* mosq_ = nullptr;
  bool v5_ = true;
  bool connected_ = false;
  bool connecting_ = false;
  bool was_connected_ = false;
  bool pumping_ = false;
  int attempt_ = 0;
  int lookup_ = -1;
  int socket_ = -1;
  int send_buffer_ = 0;
  int in_flight_ = 0;
  QString last_failure_;        // why the try under way failed, when the library says it before it closes
  bool failure_lasting_ = false;
  bool fallback_ = false;       // the broker speaks MQTT 3.1.1: spoken to in it from the next try
  QPointer<QSocketNotifier> reader_;
  QPointer<QSocketNotifier> writer_;
  QTimer misc_;     // keep-alive
  QTimer limit_;    // the connection's start
  QTimer retry_;
  std::deque<Outgoing> queue_;
  qsizetype queued_bytes_ = 0;
  qint64 dropped_ = 0;
};

}  // namespace quadrel::hub
