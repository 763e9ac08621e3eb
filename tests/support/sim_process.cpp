#include "sim_process.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>

#include <sched.h>

namespace quadrel::test {

SimProcess::~SimProcess() {
  if (process_.state() == QProcess::NotRunning) return;
  process_.write("quit\n");
  if (!process_.waitForFinished(2000)) process_.kill();
  process_.waitForFinished(2000);
}

bool SimProcess::start(const QString& pty_link, const QStringList& extra, int cpu) {
  process_.setProgram(QStringLiteral(CORVANE_SIM_PATH));
  QStringList arguments{"--tcp-port", "0"};
  if (!pty_link.isEmpty()) arguments << "--pty-link" << pty_link;
  process_.setArguments(arguments + extra);
  if (cpu >= 0) {
    process_.setChildProcessModifier([cpu] {
      cpu_set_t set;
      CPU_ZERO(&set);
      CPU_SET(cpu, &set);
      sched_setaffinity(0, sizeof set, &set);
    });
  }
  process_.setProcessChannelMode(QProcess::SeparateChannels);
  process_.start();
  if (!process_.waitForStarted(5000)) return false;
  const QRegularExpression banner(QStringLiteral("tcp 127\\.0\\.0\\.1:(\\d+) pty (\\S+)"));
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 5000) {
    process_.waitForReadyRead(100);
    out_ += process_.readAllStandardOutput();
    const auto match = banner.match(QString::fromUtf8(out_));
    if (match.hasMatch()) {
      port_ = static_cast<quint16>(match.captured(1).toUInt());
      pty_ = match.captured(2);
      out_.remove(0, out_.indexOf('\n', match.capturedEnd()) + 1);
      return true;
    }
  }
  return false;
}

void SimProcess::command(const QString& line) {
  process_.write(line.toUtf8() + "\n");
  process_.waitForBytesWritten(1000);
  QTest::qWait(30);  // the simulator acts on it before the next step
}

void SimProcess::read_output() {
  out_ += process_.readAllStandardOutput();
  int newline;
  while ((newline = out_.indexOf('\n')) >= 0) {
    const QString line = QString::fromUtf8(out_.left(newline));
    out_.remove(0, newline + 1);
    if (line.startsWith(QStringLiteral("RX "))) log_.append(line.mid(3));
  }
}

QStringList SimProcess::log() {
  QTest::qWait(20);
  read_output();
  return log_;
}

void SimProcess::clear_log() {
  log();
  log_.clear();
}

QMap<QString, QString> SimProcess::state() {
  read_output();
  process_.write("state\n");
  process_.waitForBytesWritten(1000);
  QMap<QString, QString> state;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 3000) {
    process_.waitForReadyRead(100);
    out_ += process_.readAllStandardOutput();
    const int end = out_.indexOf("\nend\n");
    if (end < 0 && !out_.startsWith("end\n")) continue;
    const QByteArray block = out_.left(end < 0 ? 0 : end);
    out_.remove(0, end < 0 ? 4 : end + 5);
    for (const QByteArray& raw : block.split('\n')) {
      const QString line = QString::fromUtf8(raw);
      if (line.startsWith(QStringLiteral("RX "))) {
        log_.append(line.mid(3));
        continue;
      }
      const int eq = line.indexOf('=');
      if (eq > 0) state.insert(line.left(eq), line.mid(eq + 1));
    }
    break;
  }
  return state;
}

}  // namespace quadrel::test
