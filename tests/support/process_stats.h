// This process's resident memory and CPU time, read from the system.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

namespace quadrel::test {

// A field of /proc/self/status in KiB ("VmRSS:"), -1 when unknown.
inline long status_kib(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  const QByteArray name(field);
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(name)) return line.mid(name.size()).trimmed().split(' ').front().toLong();
  return -1;
}

// Resident memory in KiB, now and at its peak; -1 when unknown.
inline long rss_kib() { return status_kib("VmRSS:"); }
inline long peak_rss_kib() { return status_kib("VmHWM:"); }

// User and system CPU time used so far, in seconds.
inline double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// User and system CPU time another process has used, in seconds; -1 when unknown.
inline double cpu_seconds_of(qint64 pid) {
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return -1;
  const QByteArray line = stat.readAll();
  // After the command name in parentheses: state is field 3, utime and stime 14 and 15.
  const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
  if (fields.size() < 13) return -1;
  return (fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

// Whether another process sleeps in its event loop's wait for events: it has
// used no processor time for a while and waits in poll.
inline bool waits_for_events(qint64 pid, int quiet_ms = 150) {
  const double before = cpu_seconds_of(pid);
  QThread::msleep(static_cast<unsigned long>(quiet_ms));
  QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
  const bool polling = wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("poll");
  return before >= 0 && cpu_seconds_of(pid) == before && polling;
}

}  // namespace quadrel::test
