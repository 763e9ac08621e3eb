#include "hub/mqtt_client.h"

#include <QHostAddress>
#include <QHostInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <mutex>
#include <utility>
#include <sys/socket.h>

#include "link/link_opener.h"

namespace quadrel::hub {

namespace {

// The keep-alive's work is looked at this often: a ping goes out at most
// this late, well within the broker's patience (1.5 keep-alives).
constexpr int kMiscMs = 5000;

constexpr auto& kRetryMs = LinkOpener::kRetryMs;

QString library_error(int rc) {
  if (rc == MOSQ_ERR_ERRNO) return QString::fromLocal8Bit(std::strerror(errno));
  return QString::fromUtf8(mosquitto_strerror(rc));
}

// A refusal that another try cannot mend: who the hub is, or what it may do.
bool lasting_refusal(int rc, bool v5) {
  if (!v5) return rc == 2 || rc == 4 || rc == 5;  // identifier rejected, bad user name or password, not authorised
  return rc == MQTT_RC_CLIENTID_NOT_VALID || rc == MQTT_RC_BAD_USERNAME_OR_PASSWORD || rc == MQTT_RC_NOT_AUTHORIZED ||
         rc == MQTT_RC_BANNED || rc == MQTT_RC_BAD_AUTHENTICATION_METHOD;
}

}  // namespace

QString BrokerAddress::describe() const {
  const QString name = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
  return QStringLiteral("%1://%2%3:%4")
      .arg(tls ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), user.isEmpty() ? QString() : user + QLatin1Char('@'),
           name)
      .arg(port);
}

MqttClient::MqttClient(BrokerAddress broker, const QString& client_id, const QString& will_topic,
                       const QByteArray& will_payload, QObject* parent)
    : QObject(parent), broker_(std::move(broker)), client_id_(client_id) {
  static std::once_flag library;
  std::call_once(library, [] { mosquitto_lib_init(); });
  mosq_ = mosquitto_new(client_id_.toUtf8().constData(), true, this);
  if (!mosq_) qFatal("quadrel-hub: out of memory for the MQTT client");
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_int_option(mosq_, MOSQ_OPT_TCP_NODELAY, 1);
  mosquitto_connect_v5_callback_set(mosq_, [](mosquitto*, void* self, int rc, int, const mosquitto_property*) {
    static_cast<MqttClient*>(self)->connack(rc);
  });
  mosquitto_disconnect_v5_callback_set(mosq_, [](mosquitto*, void* self, int rc, const mosquitto_property*) {
    static_cast<MqttClient*>(self)->closed(rc);
  });
  mosquitto_publish_v5_callback_set(mosq_, [](mosquitto*, void* self, int, int, const mosquitto_property*) {
    static_cast<MqttClient*>(self)->published();
  });
  mosquitto_message_v5_callback_set(
      mosq_, [](mosquitto*, void* self, const mosquitto_message* message, const mosquitto_property* props) {
        void* data = nullptr;
        uint16_t length = 0;
        QByteArray correlation;
        if (mosquitto_property_read_binary(props, MQTT_PROP_CORRELATION_DATA, &data, &length, false)) {
          correlation = QByteArray(static_cast<const char*>(data), length);
          free(data);
        }
        auto* client = static_cast<MqttClient*>(self);
        emit client->message(QString::fromUtf8(message->topic),
                             QByteArray(static_cast<const char*>(message->payload), message->payloadlen), correlation,
                             message->retain);
      });
  const QByteArray topic = will_topic.toUtf8();
  mosquitto_will_set(mosq_, topic.constData(), static_cast<int>(will_payload.size()), will_payload.constData(), 1, true);
  if (!broker_.user.isEmpty() || !broker_.password.isEmpty())
    mosquitto_username_pw_set(mosq_, broker_.user.toUtf8().constData(),
                              broker_.password.isEmpty() ? nullptr : broker_.password.constData());
  if (broker_.tls) {
    // The certificate is checked against the broker's name, by the given
    // authority or by the system's.
    const QByteArray ca = broker_.ca_file.toLocal8Bit();
    mosquitto_tls_set(mosq_, ca.isEmpty() ? nullptr : ca.constData(), ca.isEmpty() ? "/etc/ssl/certs" : nullptr,
                      nullptr, nullptr, nullptr);
    if (ca.isEmpty()) mosquitto_int_option(mosq_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
  }
  misc_.setInterval(kMiscMs);
  connect(&misc_, &QTimer::timeout, this, [this] {
    mosquitto_loop_misc(mosq_);
    follow_socket();
  });
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] {
    last_failure_ = QStringLiteral("no answer from the broker within %1 s").arg(kConnectLimitMs / 1000);
    abort_socket();
  });
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &MqttClient::try_connect);
}

MqttClient::~MqttClient() {
  if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
  if (!mosq_) return;
  // Nothing of the library's reaches this object any more.
  mosquitto_connect_v5_callback_set(mosq_, nullptr);
  mosquitto_disconnect_v5_callback_set(mosq_, nullptr);
  mosquitto_publish_v5_callback_set(mosq_, nullptr);
  mosquitto_message_v5_callback_set(mosq_, nullptr);
  // MQTT 5: the broker tells the will as it would for a hub gone silent (its
  // own `offline`); MQTT 3.1.1 knows no such goodbye (the hub said it itself).
  if (connected_) {
    if (v5_) mosquitto_disconnect_v5(mosq_, MQTT_RC_DISCONNECT_WITH_WILL_MSG, nullptr);
    else mosquitto_disconnect(mosq_);
  }
  delete reader_;
  delete writer_;
  mosquitto_destroy(mosq_);
}

void MqttClient::start() {
  if (!connecting_ && !connected_ && !retry_.isActive()) try_connect();
}

void MqttClient::try_connect() {
  connecting_ = true;
  last_failure_.clear();
  if (!QHostAddress(broker_.host).isNull()) return connect_to(broker_.host);
  // The name is looked up off the event loop; over TLS the library is given
  // the name (its certificate is checked against it), which the system's
  // resolver has just answered.
  lookup_ = QHostInfo::lookupHost(broker_.host, this, [this](const QHostInfo& info) {
    lookup_ = -1;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
      return ended(QStringLiteral("cannot find %1: %2").arg(broker_.host, info.errorString()), false);
    connect_to(broker_.tls ? broker_.host : info.addresses().first().toString());
  });
}

void MqttClient::connect_to(const QString& host) {
  const int rc = mosquitto_connect_async(mosq_, host.toUtf8().constData(), broker_.port, kKeepAliveS);
  if (rc == MOSQ_ERR_TLS) return ended(tls_refusal(), true);
  if (rc != MOSQ_ERR_SUCCESS) return ended(library_error(rc), false);
  if (send_buffer_ > 0 && mosquitto_socket(mosq_) >= 0)
    setsockopt(mosquitto_socket(mosq_), SOL_SOCKET, SO_SNDBUF, &send_buffer_, sizeof send_buffer_);
  limit_.start(kConnectLimitMs);
  misc_.start();
  follow_socket();
}

void MqttClient::connack(int rc) {
  limit_.stop();
  if (rc == 0) {
    connecting_ = false;
    connected_ = was_connected_ = true;
    attempt_ = 0;
    in_flight_ = 0;
    emit connected_to_broker();
    pump();
    return;
  }
  // A broker of MQTT 3.1.1 is spoken to in its own version from the next try.
  if (v5_ && (rc == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION || rc == 1)) {
    v5_ = false;
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    fallback_ = true;  // tried again at once, and nobody needs to hear of it
    return;
  }
  last_failure_ = QStringLiteral("the broker refused the connection: %1")
                      .arg(QString::fromUtf8(v5_ ? mosquitto_reason_string(rc) : mosquitto_connack_string(rc)));
  failure_lasting_ = lasting_refusal(rc, v5_);
}

void MqttClient::closed(int rc) {
  const bool was_up = connected_;
  if (!was_up && !connecting_) return;
  connected_ = connecting_ = false;
  in_flight_ = 0;
  limit_.stop();
  misc_.stop();
  follow_socket();
  QString reason = std::exchange(last_failure_, {});
  bool lasting = std::exchange(failure_lasting_, false);
  if (reason.isEmpty() && rc == MOSQ_ERR_TLS && !was_up) {
    reason = tls_refusal();
    lasting = true;
  }
  if (std::exchange(fallback_, false)) {
    retry_.start(0);
    return;
  }
  if (reason.isEmpty()) {
    reason = rc == MOSQ_ERR_KEEPALIVE ? QStringLiteral("the broker did not answer its keep-alive")
             : rc == MOSQ_ERR_CONN_LOST ? QStringLiteral("the broker closed the connection")
                                        : library_error(rc);
  }
  if (was_up) emit lost(reason);
  else emit failed(reason, lasting);
  retry_later();
}

QString MqttClient::tls_refusal() const {
  // The handshake failed: as a refused login, another try cannot mend it.
  return QStringLiteral("the TLS handshake failed: the broker's certificate is not signed by %1, or does not name %2")
      .arg(broker_.ca_file.isEmpty() ? QStringLiteral("an authority this system trusts")
                                     : QStringLiteral("the authority in %1").arg(broker_.ca_file),
           broker_.host);
}

void MqttClient::ended(const QString& reason, bool lasting) {
  connecting_ = false;
  limit_.stop();
  emit failed(reason, lasting);
  retry_later();
}

void MqttClient::retry_later() {
  retry_.start(kRetryMs[std::min<int>(attempt_++, static_cast<int>(std::size(kRetryMs)) - 1)]);
}

void MqttClient::published() {
  in_flight_ = std::max(0, in_flight_ - 1);
  pump();
}

void MqttClient::follow_socket() {
  const int fd = mosquitto_socket(mosq_);
  if (fd != socket_) {
    // The old ones may be in their own signal: gone once it returns.
    for (QSocketNotifier* notifier : {reader_.data(), writer_.data()}) {
      if (!notifier) continue;
      notifier->setEnabled(false);
      notifier->deleteLater();
    }
    socket_ = fd;
    if (fd >= 0) {
      reader_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
      writer_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
      connect(reader_, &QSocketNotifier::activated, this, [this] {
        if (const int rc = mosquitto_loop_read(mosq_, 1); rc != MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) < 0)
          closed(rc);
        follow_socket();
      });
      connect(writer_, &QSocketNotifier::activated, this, [this] {
        if (const int rc = mosquitto_loop_write(mosq_, 1); rc != MOSQ_ERR_SUCCESS && mosquitto_socket(mosq_) < 0)
          closed(rc);
        pump();
        follow_socket();
      });
    }
  }
  if (writer_) writer_->setEnabled(mosquitto_want_write(mosq_));
}

void MqttClient::abort_socket() {
  // The library waits on the socket; cut it, and let the library see it end.
  const int fd = mosquitto_socket(mosq_);
  if (fd >= 0) {
    ::shutdown(fd, SHUT_RDWR);
    const int rc = mosquitto_loop_read(mosq_, 1);
    if (mosquitto_socket(mosq_) < 0 || rc != MOSQ_ERR_SUCCESS) closed(rc == MOSQ_ERR_SUCCESS ? MOSQ_ERR_CONN_LOST : rc);
  } else {
    closed(MOSQ_ERR_NO_CONN);
  }
  follow_socket();
}

void MqttClient::subscribe(const QString& filter) {
  if (!connected_) return;
  mosquitto_subscribe(mosq_, nullptr, filter.toUtf8().constData(), 1);
  follow_socket();
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain, int qos,
                         const QByteArray& correlation) {
  if (retain) {
    const auto same = std::find_if(queue_.begin(), queue_.end(), [&](const Outgoing& o) { return o.retain && o.topic == topic; });
    if (same != queue_.end()) {
      queued_bytes_ += payload.size() - same->payload.size();
      same->payload = payload;
      same->qos = qos;
      return pump();
    }
  }
  queue_.push_back({topic, payload, retain, qos, correlation});
  queued_bytes_ += payload.size() + topic.size();
  // Bounded: the oldest that is not retained goes first; what is retained
  // is one message a topic.
  while (queued_bytes_ > kMaxQueuedBytes) {
    const auto old = std::find_if(queue_.begin(), queue_.end(), [](const Outgoing& o) { return !o.retain; });
    if (old == queue_.end()) break;
    queued_bytes_ -= old->payload.size() + old->topic.size();
    queue_.erase(old);
    ++dropped_;
  }
  pump();
}

void MqttClient::pump() {
  if (!connected_ || pumping_) return;
  pumping_ = true;
  // Handed to the library only while it has nothing left to write: what
  // waits stays here, where the last state replaces the one before.
  while (connected_ && !queue_.empty() && in_flight_ < kMaxInFlight && !mosquitto_want_write(mosq_)) {
    Outgoing next = std::move(queue_.front());
    queue_.pop_front();
    queued_bytes_ -= next.payload.size() + next.topic.size();
    mosquitto_property* props = nullptr;
    if (v5_ && !next.correlation.isEmpty())
      mosquitto_property_add_binary(&props, MQTT_PROP_CORRELATION_DATA, next.correlation.constData(),
                                    static_cast<uint16_t>(std::min<qsizetype>(next.correlation.size(), 65535)));
    ++in_flight_;
    const int rc = mosquitto_publish_v5(mosq_, nullptr, next.topic.toUtf8().constData(),
                                        static_cast<int>(next.payload.size()), next.payload.constData(), next.qos,
                                        next.retain, props);
    mosquitto_property_free_all(&props);
    if (rc != MOSQ_ERR_SUCCESS) {
      in_flight_ = std::max(0, in_flight_ - 1);
      if (rc == MOSQ_ERR_NO_CONN || rc == MOSQ_ERR_CONN_LOST) {
        // Sent again once connected: it goes back to the front.
        queued_bytes_ += next.payload.size() + next.topic.size();
        queue_.push_front(std::move(next));
        break;
      }
      ++dropped_;  // the broker's limits refuse it (too long for it): it never goes
    }
  }
  pumping_ = false;
  follow_socket();
}

}  // namespace quadrel::hub
