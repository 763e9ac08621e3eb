// The simulator as a separate process: its log of received commands and its state.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace quadrel::test {

class SimProcess {
 public:
  ~SimProcess();
  // Starts corvane-sim with a TCP port of its choice and its pty linked at
  // `pty_link` (none when empty), pinned to `cpu` when it is not -1.
  bool start(const QString& pty_link, const QStringList& extra = {}, int cpu = -1);
  // A line on the simulator's standard input ("silent MOD", "drop", "panel MOD005").
  void command(const QString& line);
  // Command lines received since the last clear_log(), from the simulator's own log.
  QStringList log();
  void clear_log();
  // The device state as the simulator reports it ("mode" -> "3").
  QMap<QString, QString> state();

  quint16 port() const { return port_; }
  QString pty() const { return pty_; }

 private:
  void read_output();
  QProcess process_;
  QByteArray out_;
  QStringList log_;
  quint16 port_ = 0;
  QString pty_;
};

}  // namespace quadrel::test
