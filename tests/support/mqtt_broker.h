// A real Mosquitto broker of the test's own on a free loopback port (never
// the machine's service), and real clients of it: mosquitto_sub and
// mosquitto_pub, as an integrator's script would run them.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>

#include "hub_process.h"
#include "spin.h"

namespace quadrel::test {

class MosquittoBroker {
 public:
  enum class Tls { Off, On };
  // With `user` given, only it is let in, with `password`. With TLS, its
  // certificate for 127.0.0.1 is signed by an authority of its own (ca_file()).
  explicit MosquittoBroker(const QByteArray& user = {}, const QByteArray& password = {}, Tls tls = Tls::Off)
      : port_(free_port()) {
    // Run as root, the broker reads its files as the user it becomes.
    QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                           QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    QByteArray conf = "listener " + QByteArray::number(port_) + " 127.0.0.1\npersistence false\n";
    if (tls == Tls::On) {
      make_authority(dir_.path(), "ca");
      const QString ext = dir_.filePath(QStringLiteral("san.ext"));
      QFile san(ext);
      if (!san.open(QIODevice::WriteOnly)) qFatal("cannot write the certificate's names");
      san.write("subjectAltName=IP:127.0.0.1\n");
      san.close();
      openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", "server.key",
               "-out", "server.csr", "-subj", "/CN=127.0.0.1"});
      openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial", "-out",
               "server.pem", "-days", "2", "-extfile", ext});
      QFile::setPermissions(dir_.filePath(QStringLiteral("server.key")),
                            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup);
      conf += "cafile " + dir_.filePath(QStringLiteral("ca.pem")).toUtf8() + "\ncertfile " +
              dir_.filePath(QStringLiteral("server.pem")).toUtf8() + "\nkeyfile " +
              dir_.filePath(QStringLiteral("server.key")).toUtf8() + "\n";
    }
    if (user.isEmpty()) {
      conf += "allow_anonymous true\n";
    } else {
      const QString file = dir_.filePath(QStringLiteral("passwords"));
      QProcess::execute(QStringLiteral("mosquitto_passwd"),
                        {"-b", "-c", file, QString::fromUtf8(user), QString::fromUtf8(password)});
      conf += "allow_anonymous false\npassword_file " + file.toUtf8() + "\n";
    }
    QFile file(dir_.filePath(QStringLiteral("mosquitto.conf")));
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write the broker's configuration");
    file.write(conf);
  }
  ~MosquittoBroker() { stop(); }

  // Started, and taking connections.
  bool start() {
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("mosquitto"), {"-c", dir_.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process_.waitForStarted(3000)) return false;
    return QTest::qWaitFor(
        [&] {
          QTcpSocket probe;
          probe.connectToHost(QHostAddress::LocalHost, port_);
          return probe.waitForConnected(100);
        },
        5000);
  }
  // Gone, with what it retained (it keeps nothing on disk).
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    resume();
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
  }
  // A broker that takes nothing for a while, and then takes it all.
  void pause() { ::kill(static_cast<pid_t>(process_.processId()), SIGSTOP); }
  void resume() {
    if (process_.state() != QProcess::NotRunning) ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
  }

  quint16 port() const { return port_; }
  QString url() const { return QStringLiteral("mqtt://127.0.0.1:%1").arg(port_); }
  QString ca_file() const { return dir_.filePath(QStringLiteral("ca.pem")); }

  // A certificate authority of its own in `folder`: NAME.pem and NAME.key.
  static void make_authority(const QString& folder, const QString& name) {
    QProcess openssl;
    openssl.setWorkingDirectory(folder);
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                   name + ".key", "-out", name + ".pem", "-days", "2", "-subj", "/CN=Quadrel test " + name});
    if (!openssl.waitForFinished(10000) || openssl.exitCode() != 0) qFatal("openssl: cannot make an authority");
  }
  QByteArray log() { return process_.readAll(); }

 private:
  void openssl(const QStringList& arguments) {
    QProcess openssl;
    openssl.setWorkingDirectory(dir_.path());
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(10000) || openssl.exitCode() != 0)
      qFatal("openssl %s: %s", qPrintable(arguments.first()), openssl.readAllStandardError().constData());
  }

  QTemporaryDir dir_;
  QProcess process_;
  quint16 port_;
};

// What mosquitto_sub hears on its filters.
struct MqttMessage {
  QString topic;
  QByteArray payload;
  bool retained = false;
  QJsonObject json() const { return QJsonDocument::fromJson(payload).object(); }
};

class MqttWatch {
 public:
  // Subscribed to `filters` once it returns true (a probe of its own came back).
  bool start(quint16 port, const QStringList& filters) {
    port_ = port;
    // stdbuf: each message as it comes, not when a pipe's buffer is full.
    QStringList arguments{"-oL", "mosquitto_sub", "-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-F", "%r %t %x",
                          "-t", probe_topic()};
    for (const QString& f : filters) arguments << "-t" << f;
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { take(); });
    process_.start(QStringLiteral("stdbuf"), arguments);
    if (!process_.waitForStarted(3000)) return false;
    return QTest::qWaitFor(
        [&] {
          publish(port_, probe_topic(), "probe");
          return QTest::qWaitFor([&] { return !find(probe_topic()).isEmpty(); }, 200);
        },
        5000);
  }
  ~MqttWatch() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(2000);
  }

  const QList<MqttMessage>& messages() const { return messages_; }
  void clear() { messages_.clear(); }
  QList<MqttMessage> find(const QString& topic) const {
    QList<MqttMessage> found;
    for (const MqttMessage& m : messages_)
      if (m.topic == topic) found << m;
    return found;
  }
  // The first message on `topic` from now on (or among those heard) that `fits`.
  std::optional<MqttMessage> wait(const QString& topic, const std::function<bool(const MqttMessage&)>& fits = {},
                                  int ms = 3000) {
    std::optional<MqttMessage> hit;
    (void)spin_until(
        [&] {
          for (const MqttMessage& m : messages_)
            if (m.topic == topic && (!fits || fits(m))) {
              hit = m;
              return true;
            }
          return false;
        },
        ms);
    return hit;
  }

  // One message from a client of its own, as mosquitto_pub sends it (the payload on its standard input).
  static bool publish(quint16 port, const QString& topic, const QByteArray& payload, bool retain = false) {
    QProcess pub;
    QStringList arguments{"-h", "127.0.0.1", "-p", QString::number(port), "-q", "1", "-t", topic,
                          payload.isEmpty() ? "-n" : "-s"};
    if (retain) arguments << "-r";
    pub.start(QStringLiteral("mosquitto_pub"), arguments);
    if (!pub.waitForStarted(3000)) return false;
    pub.write(payload);
    pub.closeWriteChannel();
    return pub.waitForFinished(3000) && pub.exitCode() == 0;
  }

 private:
  QString probe_topic() const { return QStringLiteral("quadrel-test/probe/%1").arg(reinterpret_cast<quintptr>(this)); }
  void take() {
    buffer_ += process_.readAllStandardOutput();
    qsizetype end;
    while ((end = buffer_.indexOf('\n')) >= 0) {
      const QByteArray line = buffer_.left(end);
      buffer_.remove(0, end + 1);
      const QList<QByteArray> parts = line.split(' ');
      if (parts.size() < 2) continue;
      messages_.append({QString::fromUtf8(parts.at(1)), QByteArray::fromHex(parts.value(2)), parts.at(0) == "1"});
    }
  }
  QProcess process_;
  QByteArray buffer_;
  QList<MqttMessage> messages_;
  quint16 port_ = 0;
};

}  // namespace quadrel::test
