// This process's resident memory and CPU time, read from the system.
#pragma once

#include <QByteArray>
#include <QFile>

#include <sys/resource.h>

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

}  // namespace quadrel::test
