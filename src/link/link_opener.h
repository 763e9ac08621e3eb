// Where the device is, and opening a Device's link to it: within a time
// limit, and again after a failure or a loss for as long as it is kept open.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

namespace quadrel {

class Device;

// Where the device is: a serial port, or a host and port over TCP.
struct LinkTarget {
  bool tcp = false;
  QString device;  // serial: the device path
  QString host;    // TCP
  quint16 port = 23;

  // "serial /dev/ttyUSB0", "tcp 192.168.1.100:23", "tcp [fe80::1]:23".
  QString describe() const;
};

class LinkOpener : public QObject {
  Q_OBJECT
 public:
  LinkOpener(Device& device, LinkTarget target, QObject* parent = nullptr);
  ~LinkOpener() override;

  const LinkTarget& target() const { return target_; }

  // One try: `opened` or `failed` follows (at once for a serial port; for a
  // TCP connection when it is made, refused, or not made within kConnectLimitMs).
  void open();
  // Opens, and while kept open tries again after each failure and after the
  // link closes, after the pauses of kRetryMs (the last repeats).
  void keep_open();
  // No more tries; a connection being made is given up.
  void stop();
  bool kept_open() const { return keep_; }

  // How long a TCP connection may take (the panel's Connect too).
  static constexpr int kConnectLimitMs = 7000;
  // The pauses before the link is tried again, in ms; the last one repeats.
  static constexpr int kRetryMs[] = {250, 500, 1000, 2000, 5000};

 signals:
  void opened();
  // A try failed; `retry_ms` is the pause before the next (-1: none).
  void failed(const QString& reason, int retry_ms);

 private:
  void try_open();
  void fail(const QString& reason);
  void on_link_changed();

  Device& device_;
  LinkTarget target_;
  bool keep_ = false;
  bool connecting_ = false;
  bool was_open_ = false;
  int attempt_ = 0;
  QTimer retry_;
  QTimer limit_;
};

}  // namespace quadrel
