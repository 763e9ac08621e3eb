#include "cli/hub_door.h"

#include <QFile>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <chrono>
#include <cstdio>
#include <qcoro/qcoronetworkreply.h>

#include "link/exit_code.h"
#include "settings/file_locations.h"

namespace quadrel::cli {

namespace {

constexpr quint16 kHubPort = 8300;
// A token file is a line; anything longer is no token file.
constexpr qint64 kMaxTokenFile = 4096;

void print_err(const QString& text) {
  std::fputs(qPrintable(text + QLatin1Char('\n')), stderr);
  std::fflush(stderr);
}

// A token: printable ASCII without spaces, as the hub makes and takes them.
bool token_text(const QByteArray& token) {
  return !token.isEmpty() && std::all_of(token.begin(), token.end(), [](char c) { return c > ' ' && c <= '~'; });
}

}  // namespace

std::optional<QUrl> hub_url(const QString& text, QString* error) {
  const QString given = text.trimmed();
  QUrl url(given.contains(QStringLiteral("://")) ? given : QStringLiteral("http://") + given, QUrl::StrictMode);
  const bool bare = url.path().isEmpty() || url.path() == QLatin1String("/");
  if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty() || !bare ||
      url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty()) {
    *error = QStringLiteral("not a hub's address, [http://]HOST[:PORT]: \"%1\"").arg(text);
    return std::nullopt;
  }
  url.setPath(QString());
  if (url.port() < 0) url.setPort(kHubPort);
  return url;
}

bool hub_token(const QString& token_file, QByteArray* token, QString* error) {
  token->clear();
  auto read = [&](const QString& path, bool given) {
    QFile file(path);
    if (!file.exists() && !given) return true;
    if (!file.open(QIODevice::ReadOnly)) {
      *error = QStringLiteral("cannot read the token file %1: %2").arg(path, file.errorString());
      return false;
    }
    const QByteArray text = file.read(kMaxTokenFile + 1).trimmed();
    if (!token_text(text) || file.size() > kMaxTokenFile) {
      *error = QStringLiteral("%1 holds no token (one line of printable characters without spaces)").arg(path);
      return false;
    }
    *token = text;
    return true;
  };
  if (!token_file.isEmpty()) return read(token_file, true);
  if (const QByteArray from_env = qgetenv("QUADREL_HUB_TOKEN").trimmed(); !from_env.isEmpty()) {
    if (!token_text(from_env)) {
      *error = QStringLiteral("QUADREL_HUB_TOKEN holds no token (printable characters without spaces)");
      return false;
    }
    *token = from_env;
    return true;
  }
  return read(hub_token_path(), false);
}

QJsonObject HubAnswer::json() const { return QJsonDocument::fromJson(body).object(); }

HubDoor::HubDoor(QString command, QUrl url, QByteArray token, bool verbose, double limit_s)
    : command_(std::move(command)), url_(std::move(url)), token_(std::move(token)), verbose_(verbose), limit_s_(limit_s) {
  run_.start();
  network_.setAutoDeleteReplies(true);
  if (limit_s_ > 0) {
    deadline_.setSingleShot(true);
    deadline_.setTimerType(Qt::PreciseTimer);
    connect(&deadline_, &QTimer::timeout, this, [this] {
      timed_out_ = true;
      if (current_) current_->abort();
      emit ended();
    });
    deadline_.start(static_cast<int>(limit_s_ * 1000));
  }
}

QString HubDoor::describe() const { return QStringLiteral("hub ") + url_.toString(); }

QUrl HubDoor::events_url() const {
  QUrl url = url_;
  url.setScheme(QStringLiteral("ws"));
  url.setPath(QStringLiteral("/api/v1/events"));
  return url;
}

QNetworkRequest HubDoor::request(const QString& path) const {
  QUrl url = url_;
  url.setPath(path.section(QLatin1Char('?'), 0, 0));
  url.setQuery(path.section(QLatin1Char('?'), 1));
  QNetworkRequest request(url);
  if (!token_.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token_);
  request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
  request.setTransferTimeout(kAnswerLimitMs);
  return request;
}

QCoro::Task<HubAnswer> HubDoor::call(QByteArray method, QString path, QByteArray body) {
  HubAnswer answer;
  if (timed_out_ || interrupted_) {
    answer.error = timed_out_ ? timeout_reason() : QStringLiteral("interrupted");
    co_return answer;
  }
  verbose(QStringLiteral("> %1 %2%3").arg(QString::fromLatin1(method), path,
                                          body.isEmpty() ? QString() : QLatin1Char(' ') + QString::fromUtf8(body)));
  QNetworkReply* reply = network_.sendCustomRequest(request(path), method, body);
  current_ = reply;
  co_await qCoro(reply).waitForFinished(std::chrono::milliseconds(-1));
  current_ = nullptr;
  answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  answer.body = reply->readAll();
  if (answer.status == 0) {
    answer.error = timed_out_ ? timeout_reason()
                   : interrupted_ ? QStringLiteral("interrupted")
                   : reply->error() == QNetworkReply::OperationCanceledError
                       ? QStringLiteral("no answer from the hub within %1 s").arg(kAnswerLimitMs / 1000)
                       : reply->errorString();
  }
  verbose(QStringLiteral("< %1 %2").arg(answer.status).arg(QString::fromUtf8(answer.body).trimmed()));
  co_return answer;
}

void HubDoor::error(const QString& reason) const {
  print_err(QStringLiteral("quadrel-cli: %1: %2: %3").arg(command_, describe(), reason));
}

void HubDoor::verbose(const QString& line) const {
  if (verbose_) print_err(line);
}

int HubDoor::fail(const HubAnswer& answer) const {
  if (answer.status == 0) {
    error(timed_out_ ? answer.error : QStringLiteral("cannot reach the hub: ") + answer.error);
    return timed_out_ ? exit_code::NoAnswer : exit_code::LinkError;
  }
  const QJsonObject problem = answer.json();
  QString detail = problem.value(QLatin1String("detail")).toString();
  if (detail.isEmpty()) detail = QStringLiteral("the hub answered %1").arg(answer.status);
  if (answer.status == 401) detail += QStringLiteral(" (give the token with --token-file FILE or QUADREL_HUB_TOKEN)");
  error(detail);
  if (const QJsonValue code = problem.value(QLatin1String("exit_code")); code.isDouble()) return code.toInt();
  switch (answer.status) {
    case 409: case 412: return exit_code::Refused;
    case 504: return exit_code::NoAnswer;
    case 400: case 413: case 415: case 422: return exit_code::Usage;
    default: return exit_code::LinkError;  // refused by the hub (401, 403), or it is not one
  }
}

void HubDoor::interrupt() {
  interrupted_ = true;
  if (current_) current_->abort();
  emit ended();
}

QString HubDoor::timeout_reason() const {
  return QStringLiteral("the run's time limit (--timeout %1 s) ran out after %2 s")
      .arg(limit_s_)
      .arg(QString::number(run_.elapsed() / 1000.0, 'f', 1));
}

}  // namespace quadrel::cli
