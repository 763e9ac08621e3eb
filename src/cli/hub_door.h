// The client through a quadrel-hub's HTTP API and event stream (--hub): the
// hub's address and token, awaited requests, the run's time limit and the
// error lines, the same as a link of the client's own gives them.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <optional>
#include <qcoro/qcorotask.h>

class QNetworkReply;
class QNetworkRequest;

namespace quadrel::cli {

struct LinkOptions;

// "http://HOST:PORT" from "[http://]HOST[:PORT]" (port 8300 unless given);
// nothing, with the reason, for anything else (another scheme, a path, a user).
std::optional<QUrl> hub_url(const QString& text, QString* error);

// The token for the hub: --token-file, else $QUADREL_HUB_TOKEN, else the
// user's token file when it is there (none: the hub on this machine needs
// none). False, with the reason, when a token given cannot be read.
bool hub_token(const QString& token_file, QByteArray* token, QString* error);

// One answer of the hub.
struct HubAnswer {
  int status = 0;   // the HTTP status; 0 when none came (`error` says why)
  QByteArray body;
  QString error;

  QJsonObject json() const;
};

class HubDoor : public QObject {
  Q_OBJECT
 public:
  // `command` names the subcommand in error lines; `limit_s` bounds the run (0: no bound).
  HubDoor(QString command, QUrl url, QByteArray token, bool verbose, double limit_s);

  const QUrl& url() const { return url_; }
  // "hub http://127.0.0.1:8300", as error lines name the link.
  QString describe() const;
  // The URL of the event stream: ws://HOST:PORT/api/v1/events.
  QUrl events_url() const;
  // A request to the hub with its token (and, for a body, JSON's type).
  QNetworkRequest request(const QString& path) const;

  // One request: "GET", "PATCH", "POST" with a JSON body.
  QCoro::Task<HubAnswer> call(QByteArray method, QString path, QByteArray body = {});

  // Prints "quadrel-cli: <command>: hub URL: <reason>" on stderr.
  void error(const QString& reason) const;
  void verbose(const QString& line) const;
  // An answer that is no success: its error line (the problem's detail), and
  // the exit code it carries, or the one its status means.
  int fail(const HubAnswer& answer) const;

  bool timed_out() const { return timed_out_; }
  bool interrupted() const { return interrupted_; }
  // Ends the run from outside (a signal): the request under way is abandoned.
  void interrupt();
  // "the run's time limit (--timeout 5 s) ran out after 5.0 s", or nothing while it has not.
  QString timeout_reason() const;

  // The longest wait for one answer (a power-on that restarts the device is
  // waited for by the hub, 30 s at most).
  static constexpr int kAnswerLimitMs = 60000;

 signals:
  // The run's time limit ran out, or it was interrupted.
  void ended();

 private:
  QString command_;
  QUrl url_;
  QByteArray token_;
  bool verbose_;
  double limit_s_;
  QNetworkAccessManager network_;
  QPointer<QNetworkReply> current_;
  QElapsedTimer run_;
  QTimer deadline_;
  bool timed_out_ = false;
  bool interrupted_ = false;
};

}  // namespace quadrel::cli
