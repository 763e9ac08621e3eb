#include "hub/hub_log.h"

#include <cstdio>

namespace quadrel::hub {

namespace {
bool g_quiet = false;
}

void log_event(const QString& text) {
  if (g_quiet) return;
  const QByteArray line = QStringLiteral("quadrel-hub: %1\n").arg(text).toUtf8();
  std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
  std::fflush(stderr);
}

void set_log_quiet(bool quiet) { g_quiet = quiet; }

}  // namespace quadrel::hub
