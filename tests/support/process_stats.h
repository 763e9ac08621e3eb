// This process's resident memory and CPU time, read from the system.
#pragma once

#include <QByteArray>
#include <QFile>

#include <sys/resource.h>

namespace quadrel::test {

// Resident memory in KiB, -1 when unknown.
inline long rss_kib() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').front().toLong();
  return -1;
}

// User and system CPU time used so far, in seconds.
inline double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace quadrel::test
