// The HTTP API and the web panel's files: the state from the model, PATCH
// with apply's meaning, one command, and the upgrade to the event stream.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <string>
#include <vector>

namespace quadrel::hub {

class Access;
class SharedLink;

class HttpApi : public QAbstractHttpServer {
  Q_OBJECT
 public:
  // `web_folder` holds the web panel (index.html and what it loads); the
  // resolution names name the resolution numbers in the state document.
  HttpApi(SharedLink& link, const Access& access, bool loopback_only, const QString& web_folder,
          std::vector<std::string> resolutions, QObject* parent = nullptr);
  ~HttpApi() override;

  bool listen_on(const QHostAddress& address, quint16 port, QString* error);
  quint16 port() const { return port_; }
  int web_files() const { return static_cast<int>(files_.size()); }

  // A request's body may hold this much; a longer one is refused (413) before it is read.
  static constexpr qint64 kMaxBody = 64 * 1024;
  // A request's line and headers; more is refused (431).
  static constexpr qint64 kMaxHeader = 16 * 1024;
  // A request's headers must be whole this soon after their first byte.
  static constexpr int kHeaderWaitMs = 10000;
  static constexpr int kMaxConnections = 128;

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  struct WebFile {
    QByteArray type;
    QByteArray body;
  };
  class Listener;

  void load_web_files(const QString& folder);
  void serve_file(const QHttpServerRequest& request, QTcpSocket* socket, bool close);
  void patch_state(const QHttpServerRequest& request, QTcpSocket* socket, bool close);
  void send_line(const QHttpServerRequest& request, QTcpSocket* socket, bool close);

  SharedLink& link_;
  const Access& access_;
  bool loopback_only_;
  std::vector<std::string> resolutions_;
  QHash<QString, WebFile> files_;
  quint16 port_ = 0;
};

// Writes a whole response; `close` ends the connection after it.
void write_response(QTcpSocket* socket, int status, const QByteArray& type, const QByteArray& body, bool close,
                    const QList<QPair<QByteArray, QByteArray>>& headers = {});

}  // namespace quadrel::hub
