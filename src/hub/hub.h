// quadrel-hub: one device link shared by the protocol port, the HTTP API and
// the event stream, as the command line sets them up.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hub/access.h"
#include "hub/http_guard.h"
#include "hub/mqtt_bridge.h"
#include "hub/shared_link.h"
#include "link/hub_presence.h"

namespace quadrel::hub {

class EventStream;
class HttpApi;
class ProtocolPort;

struct HubOptions {
  LinkTarget target;
  QHostAddress listen_address = QHostAddress::LocalHost;
  quint16 listen_port = 2300;
  QHostAddress http_address = QHostAddress::LocalHost;
  quint16 http_port = 8300;
  QString token_file;            // empty: none, unless the API listens beyond this machine
  bool remote_protocol = false;  // the protocol port may listen beyond this machine
  QString web_folder;
  std::vector<std::string> resolutions;
  // The figures that bound the ports (the manual page's LIMITS; tests shorten the waits).
  HttpLimits http_limits;
  int protocol_evict_after_ms = 10000;
  // The MQTT broker, the unit's topics and Home Assistant's discovery (off without a broker).
  MqttOptions mqtt;

  // Reads the command line (without the program's name). Nothing, with the
  // message, for a usage error; `exit_now` for --help and --version.
  static std::optional<HubOptions> parse(const QStringList& arguments, QString* message, bool* exit_now);
};

// "ADDR:PORT", "[v6]:PORT", "localhost:PORT" or a bare port; the address must
// be one of this machine's forms (no name but localhost).
bool parse_listen(const QString& text, QHostAddress* address, quint16* port);

class Hub {
 public:
  explicit Hub(HubOptions options);
  ~Hub();

  // Opens the ports and starts the link; false with the reason.
  bool start(QString* error);
  // Stops: the exchange under way ends with its outcome, nothing more is sent,
  // every client still waiting is answered; the log says what was cut short.
  void shut_down();

  SharedLink& link() { return *link_; }
  ProtocolPort& protocol_port() { return *port_; }
  HttpApi& http() { return *http_; }
  EventStream& events() { return *events_; }
  // The bridge to the MQTT broker; nullptr without --mqtt.
  MqttBridge* mqtt() { return mqtt_.get(); }
  const HubOptions& options() const { return options_; }

 private:
  HubOptions options_;
  Access access_;
  std::unique_ptr<SharedLink> link_;
  std::unique_ptr<ProtocolPort> port_;
  std::unique_ptr<HttpApi> http_;
  std::unique_ptr<EventStream> events_;
  std::unique_ptr<MqttBridge> mqtt_;
  std::unique_ptr<HubPresenceNote> presence_;
};

}  // namespace quadrel::hub
