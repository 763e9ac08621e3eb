#include "hub/mqtt_bridge.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include "hub/access.h"
#include "hub/command_rules.h"
#include "hub/event_stream.h"
#include "hub/http_api.h"
#include "hub/hub_log.h"
#include "hub/shared_link.h"
#include "hub/state_patch.h"
#include "link/apply_plan.h"
#include "link/exit_code.h"

namespace quadrel::hub {

namespace {

constexpr qint64 kMaxPasswordFile = 4096;
constexpr qint64 kMaxRecordFile = 64 * 1024;

QByteArray compact(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// What a request that never reached the device is answered with.
QJsonObject refusal(int code, const QString& why) {
  ApplyReport report;
  report.errors = {DocumentError{{}, why}};
  report.exit_code = code;
  return report.to_json();
}

QString device_said(ExchangeOutcome outcome, const QString& line) {
  switch (outcome) {
    case ExchangeOutcome::Answered: return {};
    case ExchangeOutcome::DeviceError: return QStringLiteral("the device refused %1 (ERR)").arg(line);
    case ExchangeOutcome::NoAnswer: return QStringLiteral("the device did not answer %1").arg(line);
    default: return QStringLiteral("the link to the device is not open");
  }
}

}  // namespace

// --- options ------------------------------------------------------------------

bool MqttOptions::parse_url(const QString& text, BrokerAddress* broker, QString* why) {
  const QUrl url(text.trimmed(), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (!url.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) || url.host().isEmpty()) {
    *why = QStringLiteral("not mqtt://[USER@]HOST[:PORT] or mqtts://...: %1").arg(text);
    return false;
  }
  if (!url.password().isEmpty()) {
    *why = QStringLiteral("a password on the command line is seen by every user of this machine: put it in a file "
                          "only the hub's user may read, and name it with --mqtt-password-file");
    return false;
  }
  if ((!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment()) {
    *why = QStringLiteral("a broker's URL names a host and a port, nothing more: %1").arg(text);
    return false;
  }
  broker->tls = scheme == QLatin1String("mqtts");
  broker->host = url.host();
  broker->port = static_cast<quint16>(url.port(broker->tls ? 8883 : 1883));
  broker->user = url.userName();
  if (url.port() == 0) {
    *why = QStringLiteral("port 0 is no broker's: %1").arg(text);
    return false;
  }
  return true;
}

bool MqttOptions::valid_id(const QString& id) {
  static const QRegularExpression kId(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
  return kId.match(id).hasMatch();
}

bool MqttOptions::valid_prefix(const QString& prefix) {
  static const QRegularExpression kPrefix(QStringLiteral("^[^/#+\\x00-\\x1f]{1,64}(/[^/#+\\x00-\\x1f]{1,64}){0,7}$"));
  return kPrefix.match(prefix).hasMatch();
}

QString MqttOptions::default_id(const LinkTarget& target) {
  QString id = target.tcp ? target.host + (target.port == 23 ? QString() : QStringLiteral("-%1").arg(target.port))
                          : QFileInfo(target.device).fileName();
  id.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("-"));
  return (QStringLiteral("corvane-") + id).left(64);
}

QString MqttOptions::default_record(const LinkTarget& target) {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (!QDir::isAbsolutePath(state)) state = QDir::home().filePath(QStringLiteral(".local/state"));
  QString name = target.describe();
  name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]+")), QStringLiteral("_"));
  return QDir(state).filePath(QStringLiteral("quadrel/mqtt-%1.json").arg(name));
}

// --- the bridge -----------------------------------------------------------------

MqttBridge::MqttBridge(MqttOptions options, SharedLink& link, HttpApi& http, EventStream& events,
                       std::vector<std::string> resolutions, QString panel_url, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      link_(link),
      http_(http),
      events_(events),
      resolutions_(std::move(resolutions)) {
  base_ = options_.prefix + QLatin1Char('/') + options_.id;
  unit_ = {options_.id, base_, options_.ha_prefix, std::move(panel_url), QCoreApplication::applicationVersion()};
  state_timer_.setSingleShot(true);
  connect(&state_timer_, &QTimer::timeout, this, [this] { publish_state(false); });
  start_limit_.setSingleShot(true);
  connect(&start_limit_, &QTimer::timeout, this, [this] {
    if (!reached_)
      emit unreachable(QStringLiteral("MQTT: %1 not reached within %2 s: %3")
                           .arg(options_.broker.describe())
                           .arg(options_.start_limit_ms / 1000.0)
                           .arg(last_failure_.isEmpty() ? QStringLiteral("no answer") : last_failure_));
  });
}

MqttBridge::~MqttBridge() {
  if (client_ && client_->connected()) client_->publish(topic(QStringLiteral("availability")), "offline", true);
}

bool MqttBridge::start(QString* error) {
  if (!options_.password_file.isEmpty()) {
    const auto text = Access::read_private(options_.password_file, kMaxPasswordFile, QStringLiteral("password"), error);
    if (!text) return false;
    QByteArray password = text->left(text->indexOf('\n'));
    if (password.endsWith('\r')) password.chop(1);
    options_.broker.password = password;
    if (options_.broker.password.isEmpty()) {
      *error = QStringLiteral("%1 holds no password on its first line").arg(options_.password_file);
      return false;
    }
  }
  // What this hub published last: what is no longer in use is removed once connected.
  QFile record(options_.record_file);
  if (!options_.record_file.isEmpty() && record.open(QIODevice::ReadOnly)) {
    const QJsonObject saved = QJsonDocument::fromJson(record.read(kMaxRecordFile)).object();
    if (saved.value("broker").toString() == options_.broker.describe())
      for (const QJsonValue& t : saved.value("topics").toArray()) recorded_ << t.toString();
  }
  client_ = std::make_unique<MqttClient>(options_.broker, QStringLiteral("quadrel-hub-") + options_.id,
                                         topic(QStringLiteral("availability")), "offline");
  client_->set_send_buffer(options_.send_buffer);
  connect(client_.get(), &MqttClient::connected_to_broker, this, &MqttBridge::on_connected);
  connect(client_.get(), &MqttClient::message, this, &MqttBridge::on_message);
  connect(client_.get(), &MqttClient::failed, this, [this](const QString& reason, bool lasting) {
    // Refused at start: the hub ends, and says why then.
    if (!reached_ && lasting)
      return emit unreachable(QStringLiteral("MQTT: cannot connect to %1: %2").arg(options_.broker.describe(), reason));
    // Once per reason: a broker away for a night does not fill the journal.
    if (reason != last_failure_)
      log_event(QStringLiteral("MQTT: cannot connect to %1: %2; trying again").arg(options_.broker.describe(), reason));
    last_failure_ = reason;
  });
  connect(client_.get(), &MqttClient::lost, this, [this](const QString& reason) {
    log_event(QStringLiteral("MQTT: connection to %1 lost: %2; trying again").arg(options_.broker.describe(), reason));
    last_failure_ = reason;
  });

  // The device's state and what it reports.
  connect(&link_.device(), &Device::changed, this, &MqttBridge::schedule_state);
  connect(&link_, &SharedLink::link_state, this, [this] {
    publish_availability(false);
    publish_state(false);
  });
  connect(&events_, &EventStream::published, this, [this](const QJsonObject& record) {
    if (client_->connected()) client_->publish(topic(QStringLiteral("events")), compact(record), false, 0);
  });
  start_limit_.start(options_.start_limit_ms);
  // From the event loop: whoever hears `unreachable` is listening by then.
  QTimer::singleShot(0, client_.get(), &MqttClient::start);
  return true;
}

void MqttBridge::on_connected() {
  log_event(QStringLiteral("MQTT: connected to %1%2 as %3")
                .arg(options_.broker.describe(), reached_ ? QStringLiteral(" again") : QString(), base_));
  reached_ = true;
  last_failure_.clear();
  start_limit_.stop();
  client_->subscribe(topic(QStringLiteral("set")));
  client_->subscribe(topic(QStringLiteral("send")));
  // A broker that restarted may have lost what was retained: all of it again.
  publish_availability(true);
  publish_state(true);
  remove_stale();
}

void MqttBridge::publish_availability(bool again) {
  const QByteArray now = link_.up() ? "online" : "offline";
  if (!again && now == availability_sent_) return;
  availability_sent_ = now;
  client_->publish(topic(QStringLiteral("availability")), now, true);
}

void MqttBridge::schedule_state() {
  // At most one state a period, and always the last: a change within the
  // period goes out at its end.
  if (state_timer_.isActive()) return;
  const qint64 since = state_clock_.isValid() ? state_clock_.elapsed() : kStateIntervalMs;
  if (since >= kStateIntervalMs) publish_state(false);
  else state_timer_.start(static_cast<int>(kStateIntervalMs - since));
}

void MqttBridge::publish_state(bool again) {
  state_timer_.stop();
  const QJsonObject state = http_.state_json();
  const QByteArray bytes = compact(state);
  if (again || bytes != state_sent_) {
    state_sent_ = bytes;
    state_clock_.start();
    client_->publish(topic(QStringLiteral("state")), bytes, true);
  }
  // What the configs show follows the state: the mode's outputs, the labels, the firmware.
  publish_discovery(again);
}

void MqttBridge::publish_discovery(bool again) {
  std::map<QString, QByteArray> configs;
  if (options_.discovery) configs = discovery_configs(unit_, http_.state_json(), resolutions_);
  bool changed = again;
  for (const auto& [topic, payload] : configs) {
    const auto sent = configs_sent_.find(topic);
    if (!again && sent != configs_sent_.end() && sent->second == payload) continue;
    client_->publish(topic, payload, true);
    changed = true;
  }
  // An output the mode no longer has.
  for (const auto& [topic, payload] : configs_sent_) {
    if (configs.count(topic)) continue;
    client_->publish(topic, {}, true);
    changed = true;
  }
  configs_sent_ = std::move(configs);
  if (changed && client_->connected()) save_record();
}

void MqttBridge::remove_stale() {
  QStringList stale = recorded_;
  if (!options_.discovery)
    for (const QString& t : all_discovery_topics(unit_, resolutions_)) stale << t;
  for (const QString& t : std::as_const(stale)) {
    const bool ours = t == topic(QStringLiteral("availability")) || t == topic(QStringLiteral("state")) ||
                      configs_sent_.count(t);
    if (!ours) client_->publish(t, {}, true);
  }
  if (!stale.isEmpty() && !recorded_.isEmpty())
    log_event(QStringLiteral("MQTT: %1 retained topics of an earlier name or discovery removed").arg(recorded_.size()));
  recorded_.clear();
  save_record();
}

void MqttBridge::save_record() {
  if (options_.record_file.isEmpty()) return;
  QJsonArray topics{topic(QStringLiteral("availability")), topic(QStringLiteral("state"))};
  for (const auto& entry : configs_sent_) topics.append(entry.first);
  QDir().mkpath(QFileInfo(options_.record_file).absolutePath());
  QSaveFile file(options_.record_file);
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(compact({{"broker", options_.broker.describe()}, {"topics", topics}}));
  if (!file.commit()) log_event(QStringLiteral("MQTT: cannot write %1").arg(options_.record_file));
}

// --- requests -----------------------------------------------------------------------

void MqttBridge::on_message(const QString& topic_name, const QByteArray& payload, const QByteArray& correlation,
                            bool retained) {
  const bool set = topic_name == topic(QStringLiteral("set"));
  if (!set && topic_name != topic(QStringLiteral("send"))) return;
  // A command the broker kept would be carried out again at every connection.
  if (retained) {
    log_event(QStringLiteral("MQTT: a retained message on %1 is not taken; clear it with an empty retained message")
                  .arg(topic_name));
    return answer(refusal(exit_code::Usage, QStringLiteral("a retained command is not taken (it would be carried out "
                                                           "again at each connection): publish it without retain")),
                  set ? "set" : "send", correlation);
  }
  if (set) take_set(payload, correlation);
  else take_send(payload, correlation);
}

void MqttBridge::answer(QJsonObject result, const char* from, const QByteArray& correlation) {
  result.insert(QStringLiteral("topic"), QLatin1String(from));
  client_->publish(topic(QStringLiteral("result")), compact(result), false, 1, correlation);
}

void MqttBridge::take_set(const QByteArray& payload, const QByteArray& correlation) {
  // Refused before the device hears of it: too long, no JSON, or too many waiting.
  if (payload.size() > kMaxSetBytes)
    return answer(refusal(exit_code::Usage, QStringLiteral("the document is %1 bytes; at most %2 are taken")
                                                .arg(payload.size())
                                                .arg(kMaxSetBytes)),
                  "set", correlation);
  QJsonParseError parse;
  const QJsonDocument document = QJsonDocument::fromJson(payload, &parse);
  if (parse.error != QJsonParseError::NoError || !document.isObject())
    return answer(refusal(exit_code::Usage, parse.error != QJsonParseError::NoError
                                                ? QStringLiteral("no JSON: %1 at byte %2").arg(parse.errorString()).arg(parse.offset)
                                                : QStringLiteral("no JSON object")),
                  "set", correlation);
  if (waiting_ >= kMaxWaiting)
    return answer(refusal(exit_code::LinkError,
                          QStringLiteral("%1 requests wait for the device already; nothing was sent").arg(waiting_)),
                  "set", correlation);
  ++waiting_;
  link_.enqueue([self = QPointer(this), payload, correlation] { return set_job(self, payload, correlation); }, this);
}

QCoro::Task<> MqttBridge::set_job(QPointer<MqttBridge> self, QByteArray payload, QByteArray correlation) {
  if (!self) co_return;
  // As PATCH /api/v1/state: strict, sent where it differs, read back.
  const PatchOutcome outcome = co_await patch_state(self->link_, payload);
  if (!self) co_return;
  --self->waiting_;
  self->answer(outcome.report, "set", correlation);
}

void MqttBridge::take_send(const QByteArray& payload, const QByteArray& correlation) {
  // One line of the device, as POST /api/v1/send takes it: a command of the
  // parameter table, printable ASCII, its line end optional.
  QByteArray line = payload;
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  const std::optional<Command> command =
      line.size() <= static_cast<qsizetype>(kMaxCommandLength) ? check_command(line.toStdString()) : std::nullopt;
  const QString text = QString::fromLatin1(line.left(static_cast<qsizetype>(kMaxCommandLength) + 1));
  if (!command) {
    QJsonObject result = refusal(exit_code::Usage, QStringLiteral("not a command of the device: %1").arg(text));
    result.insert(QStringLiteral("line"), text);
    return answer(result, "send", correlation);
  }
  if (waiting_ >= kMaxWaiting) {
    QJsonObject result = refusal(
        exit_code::LinkError, QStringLiteral("%1 requests wait for the device already; nothing was sent").arg(waiting_));
    result.insert(QStringLiteral("line"), text);
    return answer(result, "send", correlation);
  }
  ++waiting_;
  link_.enqueue([self = QPointer(this), command = *command, text, correlation] {
    return send_job(self, command, text, correlation);
  }, this);
}

QCoro::Task<> MqttBridge::send_job(QPointer<MqttBridge> self, Command command, QString text, QByteArray correlation) {
  if (!self) co_return;
  const SharedLink::Result result = co_await self->link_.carry(command, self.data());
  if (!self) co_return;
  --self->waiting_;
  QJsonObject report{{"line", text},
                     {"reply", result.reply.isEmpty() ? QJsonValue() : QJsonValue(QString::fromLatin1(result.reply))},
                     {"exit_code", exit_code_of(result.outcome)}};
  if (const QString why = device_said(result.outcome, text); !why.isEmpty()) report.insert("message", why);
  self->answer(report, "send", correlation);
}

}  // namespace quadrel::hub
