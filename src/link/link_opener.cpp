#include "link/link_opener.h"

#include <algorithm>

#include "link/device.h"

namespace quadrel {

QString LinkTarget::describe() const {
  if (!tcp) return QStringLiteral("serial ") + device;
  const QString h = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
  return QStringLiteral("tcp %1:%2").arg(h).arg(port);
}

LinkOpener::LinkOpener(Device& device, LinkTarget target, QObject* parent)
    : QObject(parent), device_(device), target_(std::move(target)) {
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &LinkOpener::try_open);
  limit_.setSingleShot(true);
  connect(&limit_, &QTimer::timeout, this, [this] {
    if (!connecting_) return;
    device_.close_tcp();
    fail(QStringLiteral("no connection within %1 s").arg(kConnectLimitMs / 1000));
  });
  connect(&device_, &Device::link_changed, this, &LinkOpener::on_link_changed);
  connect(&device_, &Device::connect_failed, this, [this](const QString& reason) {
    if (!connecting_) return;
    device_.close_tcp();
    fail(reason);
  });
}

LinkOpener::~LinkOpener() { stop(); }

void LinkOpener::open() {
  keep_ = false;
  attempt_ = 0;
  try_open();
}

void LinkOpener::keep_open() {
  keep_ = true;
  attempt_ = 0;
  if (!device_.link_open() && !connecting_) try_open();
}

void LinkOpener::stop() {
  keep_ = false;
  retry_.stop();
  if (!connecting_) return;
  connecting_ = false;
  limit_.stop();
  device_.close_tcp();
}

void LinkOpener::try_open() {
  if (device_.link_open() || connecting_) return;
  if (!target_.tcp) {
    device_.use_interface(0);
    QString why;
    if (!device_.open_serial(target_.device, target_.device, &why)) return fail(why);
    return;  // on_link_changed has told it
  }
  device_.use_interface(1);
  connecting_ = true;
  limit_.start(kConnectLimitMs);
  device_.connect_tcp(target_.host, target_.port);
}

void LinkOpener::fail(const QString& reason) {
  connecting_ = false;
  limit_.stop();
  int wait = -1;
  if (keep_) {
    wait = kRetryMs[std::min<int>(attempt_, static_cast<int>(std::size(kRetryMs)) - 1)];
    ++attempt_;
    retry_.start(wait);
  }
  emit failed(reason, wait);
}

void LinkOpener::on_link_changed() {
  const bool open = device_.link_open();
  if (open && !was_open_) {
    was_open_ = true;
    connecting_ = false;
    limit_.stop();
    attempt_ = 0;
    emit opened();
  } else if (!open && was_open_) {
    // The link closed: kept open, it is tried again.
    was_open_ = false;
    attempt_ = 0;
    if (keep_ && !connecting_) retry_.start(kRetryMs[0]);
  }
}

}  // namespace quadrel
