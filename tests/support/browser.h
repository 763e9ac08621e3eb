// Headless Chromium driven over its DevTools protocol: open a page, run
// script in it, change its viewport, take a screenshot. For the web panel's
// tests and the benchmark.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>
#include <unistd.h>

namespace quadrel::test {

class Browser {
 public:
  // The browser's program, or empty when it is not installed.
  static QString program() {
    for (const char* name : {"chromium", "chromium-browser", "google-chrome"})
      if (const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name)); !path.isEmpty()) return path;
    return {};
  }

  ~Browser() {
    page_.abort();
    if (process_.state() != QProcess::NotRunning) {
      process_.terminate();
      if (!process_.waitForFinished(3000)) process_.kill();
      process_.waitForFinished(3000);
    }
  }

  // Starts the browser (headless, its own profile, no traffic of its own) and
  // opens `url` in a page; false with the reason.
  bool open(const QString& url, QString* error) {
    QStringList args{"--headless", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--disable-default-apps",
                     "--disable-extensions", "--mute-audio", "--remote-debugging-port=0", "--remote-allow-origins=*",
                     "--window-size=1024,900", "--user-data-dir=" + profile_.path(), "about:blank"};
    if (::geteuid() == 0) args.prepend("--no-sandbox");  // a sandbox needs an unprivileged user
    process_.start(program(), args);
    if (!process_.waitForStarted(10000)) return fail(error, "the browser did not start");
    // It names its DevTools port on stderr.
    static const QRegularExpression kListening(QStringLiteral("DevTools listening on ws://[^:]+:(\\d+)/"));
    QByteArray err;
    int port = 0;
    QElapsedTimer clock;
    clock.start();
    while (!port && clock.elapsed() < 20000 && process_.state() == QProcess::Running) {
      process_.waitForReadyRead(200);
      err += process_.readAllStandardError();
      if (const auto m = kListening.match(QString::fromUtf8(err)); m.hasMatch()) port = m.captured(1).toInt();
    }
    if (!port) return fail(error, "no DevTools port: " + QString::fromUtf8(err.right(500)));
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.closeReadChannel(QProcess::StandardError);

    // A new page at the URL, and its own protocol socket.
    QTcpSocket http;
    http.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
    if (!http.waitForConnected(5000)) return fail(error, "the DevTools port does not answer");
    http.write("PUT /json/new?" + QUrl::toPercentEncoding(url, ":/?=&") +
               " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
               "\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (http.waitForReadyRead(5000)) reply += http.readAll();
    reply += http.readAll();
    const QJsonObject target = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
    const QString ws = target.value(QStringLiteral("webSocketDebuggerUrl")).toString();
    if (ws.isEmpty()) return fail(error, "no page: " + QString::fromUtf8(reply.left(300)));
    QObject::connect(&page_, &QWebSocket::textMessageReceived, [this](const QString& text) {
      const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
      if (message.contains(QStringLiteral("id"))) replies_.insert(message["id"].toInt(), message);
    });
    page_.open(QUrl(ws));
    if (!QTest::qWaitFor([this] { return page_.state() == QAbstractSocket::ConnectedState; }, 5000))
      return fail(error, "the page's DevTools socket did not open: " + page_.errorString());
    call("Runtime.enable");
    return true;
  }

  // One DevTools command and its result (empty on an error or after `ms`).
  QJsonObject call(const QString& method, const QJsonObject& params = {}, int ms = 10000) {
    const int id = ++last_id_;
    page_.sendTextMessage(QString::fromUtf8(
        QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}}).toJson(QJsonDocument::Compact)));
    if (!QTest::qWaitFor([&] { return replies_.contains(id); }, ms)) return {};
    return replies_.take(id).value(QStringLiteral("result")).toObject();
  }

  // The value of a script's expression, as JSON (awaited when it is a promise).
  QJsonValue eval(const QString& expression) {
    const QJsonObject result = call(QStringLiteral("Runtime.evaluate"),
                                    {{"expression", expression}, {"returnByValue", true}, {"awaitPromise", true}});
    return result.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
  }

  // Waits until the expression is true in the page, looking every few ms.
  bool wait_true(const QString& expression, int ms = 5000) {
    return QTest::qWaitFor([&] { return eval(expression).toBool(); }, ms);
  }

  void viewport(int width, int height, bool mobile) {
    call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
         {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", mobile}});
  }

  bool screenshot(const QString& path) {
    const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"), {{"format", "png"}});
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QByteArray::fromBase64(shot.value(QStringLiteral("data")).toString().toLatin1())) > 0;
  }

 private:
  static bool fail(QString* error, const QString& why) {
    *error = why;
    return false;
  }

  QTemporaryDir profile_;
  QProcess process_;
  QWebSocket page_;
  QHash<int, QJsonObject> replies_;
  int last_id_ = 0;
};

}  // namespace quadrel::test
