// One Device on the simulated Corvane, over the pseudo-terminal or loopback TCP, without widgets.
#pragma once

#include <QString>
#include <QTest>
#include <functional>

#include "capturing_notifier.h"
#include "fake_link.h"
#include "link/device.h"
#include "sim_server.h"

namespace quadrel::test {

struct DeviceRig {
  corvane::SimServer sim;
  RecordingConsole console;
  CapturingNotifier notifier;
  Device device;

  // Opens the link at once; iface 0 the pseudo-terminal, 1 TCP.
  explicit DeviceRig(int iface) {
    QString error;
    if (!sim.start({}, &error)) qFatal("simulator: %s", qPrintable(error));
    sim.device().state().resolution_count = 19;
    device.set_console(&console);
    device.set_notifier(&notifier);
    device.use_interface(iface);
    if (iface == 0) {
      if (!device.open_serial(sim.pty_path(), QStringLiteral("COM1"), &error)) qFatal("pty: %s", qPrintable(error));
    } else {
      device.connect_tcp(QStringLiteral("127.0.0.1"), sim.tcp_port());
      if (!QTest::qWaitFor([this] { return device.tcp_connected() && sim.has_client(); }, 3000))
        qFatal("no TCP connection");
    }
  }

  void faults(const std::function<void(corvane::Faults&)>& change) {
    corvane::Faults f = sim.faults();
    change(f);
    sim.set_faults(f);
  }
  // Sends a line as the device would on its own; returns once the device has handled it.
  bool device_says(const QString& line) {
    const std::size_t before = console.text().size();
    sim.send_unsolicited(line);
    return QTest::qWaitFor([&] { return console.text().find(line.toStdString(), before) != std::string::npos; },
                           2000);
  }
};

}  // namespace quadrel::test
