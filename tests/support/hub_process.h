// quadrel-hub as a process of its own, with its log: what a test kills,
// restarts or reads the exit code of.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTest>

namespace quadrel::test {

// A loopback port nobody listens on at the moment.
inline quint16 free_port() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

struct HubProcess {
  QProcess process;
  QByteArray log;
  quint16 port = free_port();
  quint16 http_port = free_port();

  bool start(const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    process.setProcessEnvironment(env);
    QObject::connect(&process, &QProcess::readyReadStandardError, [this] { log += process.readAllStandardError(); });
    process.start(QStringLiteral(QUADREL_HUB_PATH), arguments);
    return process.waitForStarted(5000);
  }
  bool wait_log(const QByteArray& text, int ms = 5000) {
    return QTest::qWaitFor([&] { return log.contains(text); }, ms);
  }
  ~HubProcess() {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(3000)) process.kill();
  }
};

}  // namespace quadrel::test
