#include "hub/hub.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QRegularExpression>
#include <QUrl>

#include "hub/event_stream.h"
#include "hub/http_api.h"
#include "hub/hub_log.h"
#include "hub/protocol_port.h"
#include "link/endpoint.h"
#include "link/serial_ports.h"
#include "settings/file_locations.h"
#include "settings/settings_file.h"

namespace quadrel::hub {

namespace {

constexpr qint64 kMaxListFile = 1 << 20;

std::optional<std::string> read_small_file(const QString& path) {
  QFile file(path);
  if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.read(kMaxListFile).toStdString();
}

// The link the panel was last left on.
std::optional<LinkTarget> panel_link(QString* message) {
  const FileLocations where = file_locations();
  const QString path = where.settings_source();
  const std::optional<std::string> text = path.isEmpty() ? std::nullopt : read_small_file(path);
  if (!text) {
    *message = QStringLiteral("no link given: use --serial DEVICE or --tcp HOST[:PORT] (the panel's settings "
                              "cannot be read)");
    return std::nullopt;
  }
  const Settings settings = parse_settings(*text);
  LinkTarget target;
  if (settings.iface == 0) {
    target.device = serial_device(settings.com_port, where.settings_folder());
    if (target.device.isEmpty()) {
      *message = QStringLiteral("the panel's COM%1 is no serial device of this machine").arg(settings.com_port);
      return std::nullopt;
    }
    return target;
  }
  target.tcp = true;
  if (!parse_endpoint(QString::fromStdString(settings.address), &target.host, &target.port)) {
    *message = QStringLiteral("the panel's address is no host[:port]");
    return std::nullopt;
  }
  return target;
}

QString default_web_folder() {
  const FileLocations where = file_locations();
  const QString beside = QDir(where.program).filePath(QStringLiteral("hub"));
  if (QFileInfo::exists(QDir(beside).filePath(QStringLiteral("index.html")))) return beside;
  return QDir(where.installed_data).filePath(QStringLiteral("hub"));
}

std::vector<std::string> resolution_names() {
  const QString path = QDir(file_locations().data_folder()).filePath(QStringLiteral("output_reso.txt"));
  std::vector<std::string> names;
  if (const auto text = read_small_file(path)) names = parse_resolution_list(*text);
  return names.empty() ? default_resolution_list() : names;
}

// The MQTT options, given --mqtt; without it, none of them is taken.
bool parse_mqtt(const QCommandLineParser& parser, HubOptions& o, QString* message) {
  const QStringList names{"mqtt-id", "mqtt-prefix", "mqtt-password-file", "mqtt-ca", "ha-prefix", "no-ha-discovery"};
  if (!parser.isSet(QStringLiteral("mqtt"))) {
    for (const QString& name : names)
      if (parser.isSet(name)) {
        *message = QStringLiteral("--%1 needs --mqtt URL").arg(name);
        return false;
      }
    return true;
  }
  MqttOptions& m = o.mqtt;
  QString why;
  if (!MqttOptions::parse_url(parser.value(QStringLiteral("mqtt")), &m.broker, &why)) {
    *message = QStringLiteral("--mqtt: %1").arg(why);
    return false;
  }
  m.id = parser.isSet(QStringLiteral("mqtt-id")) ? parser.value(QStringLiteral("mqtt-id"))
                                                 : MqttOptions::default_id(o.target);
  if (!MqttOptions::valid_id(m.id)) {
    *message = QStringLiteral("--mqtt-id: letters, digits, - and _ only, at most 64: %1").arg(m.id);
    return false;
  }
  for (const auto& [name, prefix] : {std::pair{"mqtt-prefix", &m.prefix}, std::pair{"ha-prefix", &m.ha_prefix}}) {
    if (!parser.isSet(QLatin1String(name))) continue;
    *prefix = parser.value(QLatin1String(name));
    if (!MqttOptions::valid_prefix(*prefix)) {
      *message = QStringLiteral("--%1: topic levels without + or #, and no / at either end: %2").arg(name, *prefix);
      return false;
    }
  }
  m.password_file = parser.value(QStringLiteral("mqtt-password-file"));
  m.broker.ca_file = parser.value(QStringLiteral("mqtt-ca"));
  if (!m.broker.ca_file.isEmpty() && !m.broker.tls) {
    *message = QStringLiteral("--mqtt-ca is for mqtts:// brokers");
    return false;
  }
  if (!m.broker.ca_file.isEmpty() && !QFileInfo(m.broker.ca_file).isReadable()) {
    *message = QStringLiteral("--mqtt-ca: cannot read %1").arg(m.broker.ca_file);
    return false;
  }
  m.discovery = !parser.isSet(QStringLiteral("no-ha-discovery"));
  m.record_file = MqttOptions::default_record(o.target);
  return true;
}

// The web panel's address as another machine names it: Home Assistant's link to it.
QString panel_url(const QHostAddress& address, quint16 port) {
  QString host = address.toString();
  if (address == QHostAddress::Any || address == QHostAddress::AnyIPv6 || address == QHostAddress::AnyIPv4)
    host = QHostInfo::localHostName();
  else if (address.protocol() == QAbstractSocket::IPv6Protocol)
    host = QLatin1Char('[') + host + QLatin1Char(']');
  return QStringLiteral("http://%1:%2/").arg(host).arg(port);
}

}  // namespace

bool parse_listen(const QString& text, QHostAddress* address, quint16* port) {
  static const QRegularExpression kPort(QStringLiteral("^[0-9]{1,5}$"));
  QString host = QStringLiteral("127.0.0.1");
  QString number = text.trimmed();
  if (!kPort.match(number).hasMatch()) {
    const QUrl url(QStringLiteral("tcp://") + text.trimmed());
    if (!url.isValid() || url.port() < 0 || !url.path().isEmpty() || !url.userInfo().isEmpty()) return false;
    host = url.host();
    number = QString::number(url.port());
  }
  const int value = number.toInt();
  if (value < 0 || value > 65535) return false;
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) host = QStringLiteral("127.0.0.1");
  const QHostAddress parsed(host);
  if (parsed.isNull()) return false;
  *address = parsed;
  *port = static_cast<quint16>(value);
  return true;
}

std::optional<HubOptions> HubOptions::parse(const QStringList& arguments, QString* message, bool* exit_now) {
  *exit_now = false;
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Shares one Corvane among panels, scripts and web pages."));
  const QCommandLineOption tcp("tcp", "The device at HOST[:PORT] (port 23 by default).", "HOST[:PORT]");
  const QCommandLineOption serial("serial", "The device on this serial port.", "DEVICE");
  const QCommandLineOption listen("listen", "The device's own protocol for clients (default 127.0.0.1:2300).",
                                  "ADDR:PORT");
  const QCommandLineOption http("http", "The HTTP and WebSocket API and the web panel (default 127.0.0.1:8300).",
                                "ADDR:PORT");
  const QCommandLineOption token("token-file", "The API's token; made when missing. Needed beyond loopback.",
                                 "FILE");
  const QCommandLineOption remote("allow-remote-protocol",
                                  "Let --listen take an address beyond this machine (that protocol has no token).");
  const QCommandLineOption mqtt("mqtt", "Publish the device on this MQTT broker: mqtt://[USER@]HOST[:PORT] or mqtts://.",
                                "URL");
  const QCommandLineOption mqtt_id("mqtt-id", "The unit's name in topics (letters, digits, - and _; made from the link "
                                              "by default).", "ID");
  const QCommandLineOption mqtt_prefix("mqtt-prefix", "The topics' prefix (default quadrel).", "PREFIX");
  const QCommandLineOption mqtt_password("mqtt-password-file", "The broker's password, on the first line of a file "
                                                               "only the hub's user may read.", "FILE");
  const QCommandLineOption mqtt_ca("mqtt-ca", "For mqtts://: the authority that signs the broker's certificate "
                                              "(default: the system's).", "FILE");
  const QCommandLineOption ha_prefix("ha-prefix", "Home Assistant's discovery prefix (default homeassistant).",
                                     "PREFIX");
  const QCommandLineOption no_discovery("no-ha-discovery", "Publish no Home Assistant discovery (and remove it).");
  parser.addOptions({tcp, serial, listen, http, token, remote, mqtt, mqtt_id, mqtt_prefix, mqtt_password, mqtt_ca,
                     ha_prefix, no_discovery});
  const QCommandLineOption help = parser.addHelpOption();
  const QCommandLineOption version = parser.addVersionOption();
  if (!parser.parse(QStringList{QStringLiteral("quadrel-hub")} + arguments)) {
    *message = parser.errorText();
    return std::nullopt;
  }
  if (parser.isSet(help) || parser.isSet(version)) {
    *exit_now = true;
    *message = parser.isSet(help) ? parser.helpText() : QStringLiteral("quadrel-hub %1").arg(QCoreApplication::applicationVersion());
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    *message = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  for (const QCommandLineOption* option :
       {&tcp, &serial, &listen, &http, &token, &mqtt, &mqtt_id, &mqtt_prefix, &mqtt_password, &mqtt_ca, &ha_prefix}) {
    const QStringList values = parser.values(*option);
    if (values.size() > 1) {
      *message = QStringLiteral("--%1 given %2 times").arg(option->names().first()).arg(values.size());
      return std::nullopt;
    }
    if (parser.isSet(*option) && values.first().trimmed().isEmpty()) {
      *message = QStringLiteral("--%1 is empty").arg(option->names().first());
      return std::nullopt;
    }
  }
  if (parser.isSet(tcp) && parser.isSet(serial)) {
    *message = QStringLiteral("--tcp and --serial name two links; the hub serves one device");
    return std::nullopt;
  }

  HubOptions o;
  if (parser.isSet(serial)) {
    const QString device = parser.value(serial);
    static const QRegularExpression com(QStringLiteral("^COM([1-9]):?$"), QRegularExpression::CaseInsensitiveOption);
    const auto match = com.match(device);
    o.target.device = match.hasMatch() ? serial_device(match.captured(1).toInt(), file_locations().settings_folder())
                                       : device;
    if (o.target.device.isEmpty()) {
      *message = QStringLiteral("%1 is no serial device of this machine").arg(device);
      return std::nullopt;
    }
  } else if (parser.isSet(tcp)) {
    o.target.tcp = true;
    if (!parse_endpoint(parser.value(tcp), &o.target.host, &o.target.port)) {
      *message = QStringLiteral("--tcp: not a host or host:port: %1").arg(parser.value(tcp));
      return std::nullopt;
    }
  } else if (const auto stored = panel_link(message)) {
    o.target = *stored;
  } else {
    return std::nullopt;
  }
  if (parser.isSet(listen) && !parse_listen(parser.value(listen), &o.listen_address, &o.listen_port)) {
    *message = QStringLiteral("--listen: not an address and port: %1").arg(parser.value(listen));
    return std::nullopt;
  }
  if (parser.isSet(http) && !parse_listen(parser.value(http), &o.http_address, &o.http_port)) {
    *message = QStringLiteral("--http: not an address and port: %1").arg(parser.value(http));
    return std::nullopt;
  }
  o.remote_protocol = parser.isSet(remote);
  if (!o.listen_address.isLoopback() && !o.remote_protocol) {
    *message = QStringLiteral("--listen %1: the device's protocol has no token; anyone who reaches the port drives "
                              "the device. Add --allow-remote-protocol to mean it")
                   .arg(parser.value(listen));
    return std::nullopt;
  }
  o.token_file = parser.value(token);
  if (o.token_file.isEmpty() && !o.http_address.isLoopback()) o.token_file = Access::default_token_path();
  o.web_folder = default_web_folder();
  o.resolutions = resolution_names();
  if (!parse_mqtt(parser, o, message)) return std::nullopt;
  return o;
}

Hub::Hub(HubOptions options) : options_(std::move(options)) {}

Hub::~Hub() {
  // Nothing awaits the link any more when the servers whose jobs await it go.
  shut_down();
  // The servers go before the link they use; the bridge before the servers it hears.
  mqtt_.reset();
  events_.reset();
  http_.reset();
  port_.reset();
}

void Hub::shut_down() {
  if (link_) link_->shut_down();
}

bool Hub::start(QString* error) {
  if (!options_.token_file.isEmpty()) {
    bool created = false;
    const auto token = Access::load_or_create(options_.token_file, &created, error);
    if (!token) return false;
    access_ = Access(*token);
    log_event(QStringLiteral("the API takes the token %1 %2").arg(created ? "made in" : "in", options_.token_file));
  }
  link_ = std::make_unique<SharedLink>(options_.target);
  port_ = std::make_unique<ProtocolPort>(*link_, options_.protocol_evict_after_ms);
  if (!port_->listen(options_.listen_address, options_.listen_port, error)) {
    *error = QStringLiteral("cannot listen on %1 port %2: %3")
                 .arg(options_.listen_address.toString())
                 .arg(options_.listen_port)
                 .arg(*error);
    return false;
  }
  const bool loopback_only = options_.http_address.isLoopback();
  http_ = std::make_unique<HttpApi>(*link_, access_, loopback_only, options_.web_folder, options_.resolutions,
                                    options_.http_limits);
  events_ = std::make_unique<EventStream>(*http_, *link_, access_, loopback_only);
  if (!http_->listen_on(options_.http_address, options_.http_port, error)) {
    *error = QStringLiteral("cannot listen on %1 port %2: %3")
                 .arg(options_.http_address.toString())
                 .arg(options_.http_port)
                 .arg(*error);
    return false;
  }
  if (http_->web_files() == 0)
    log_event(QStringLiteral("no web panel in %1: the API is served alone").arg(options_.web_folder));
  log_event(QStringLiteral("protocol port on %1 port %2, HTTP on %3 port %4, device %5")
                .arg(options_.listen_address.toString())
                .arg(port_->port())
                .arg(options_.http_address.toString())
                .arg(http_->port())
                .arg(options_.target.describe()));
  if (options_.mqtt.enabled()) {
    mqtt_ = std::make_unique<MqttBridge>(options_.mqtt, *link_, *http_, *events_, options_.resolutions,
                                         panel_url(options_.http_address, http_->port()));
    if (!mqtt_->start(error)) return false;
    log_event(QStringLiteral("MQTT: %1 as %2/%3%4")
                  .arg(options_.mqtt.broker.describe(), options_.mqtt.prefix, options_.mqtt.id,
                       options_.mqtt.discovery ? QStringLiteral(", discovery under %1/").arg(options_.mqtt.ha_prefix)
                                               : QString()));
  }
  // A panel or script thrown off the device by this hub can name it.
  auto address = [](const QHostAddress& a, quint16 port) {
    return (a.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]") : QStringLiteral("%1"))
               .arg(a.toString()) + QStringLiteral(":%1").arg(port);
  };
  presence_ = std::make_unique<HubPresenceNote>(HubPresence{0, options_.target.describe(),
                                                            address(options_.listen_address, port_->port()),
                                                            "http://" + address(options_.http_address, http_->port())});
  link_->start();
  return true;
}

}  // namespace quadrel::hub
