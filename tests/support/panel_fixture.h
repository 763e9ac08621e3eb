// One real main window in a temporary program folder, wired to an in-process simulated device.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "capturing_notifier.h"
#include "link/core/link_io.h"
#include "link/device.h"
#include "link/device_link.h"
#include "shell/frm_main.h"
#include "ui/main_controls.h"
#include "ui/panel_state.h"
#include "sim_device.h"
#include "sim_server.h"

class QAbstractButton;
class QComboBox;
class QScrollBar;
class QWidget;

namespace quadrel::test {

// Writes `content` to `folder/name` byte for byte.
void write_file(const QString& folder, const QString& name, const QByteArray& content);
// The source tree's default resolution list and pictures.
QString source_dir();
// Fills a program folder: the shipped resolution list and pictures, COM1
// mapped to `com1`, and the settings file for the given interface (0 RS-232,
// 1 Ethernet), size and device address.
void prepare_program_folder(const QString& folder, const QString& com1, int iface, bool advanced,
                            const QString& address);

class PanelFixture {
 public:
  enum class Link { Serial, Ethernet, None };
  struct Setup {
    Link link = Link::Serial;
    bool advanced = false;  // start in the tall size
    bool connect = true;    // Ethernet: press "Connect" and wait for the connection
    bool show = false;      // show the window (screenshots)
    bool message_boxes = false;  // real message boxes instead of recorded messages
  };

  explicit PanelFixture(Setup setup);
  PanelFixture() : PanelFixture(Setup{}) {}
  ~PanelFixture();
  PanelFixture(const PanelFixture&) = delete;
  PanelFixture& operator=(const PanelFixture&) = delete;

  FrmMain& main() { return *main_; }
  MainControls& c() { return main_->controls(); }
  // The window's own flags.
  PanelState& ps() { return main_->state(); }
  // What the panel knows of the device, and its operations.
  Device& model() { return main_->device(); }
  DeviceLink& link() { return main_->link(); }
  corvane::SimServer& sim() { return *sim_; }
  corvane::SimDevice& device() { return sim_->device(); }
  CapturingNotifier& notifier() { return notifier_; }
  QString folder() const { return dir_.path(); }

  // Command lines the device received since the last clear_received().
  QStringList received() const;
  void clear_received();
  QString console() const;
  QStringList messages() const { return notifier_.texts; }
  void clear_messages();

  // As the user would: a click on a button, option or clickable label; a
  // choice from a list; a slider released at a value.
  void click(QWidget* widget);
  void choose(QComboBox* combo, int index);
  void move(QScrollBar* slider, int value);
  // Waits until what the window asked of the device has ended (the
  // operation and its exchanges); the three above do.
  bool done(int ms = 10000);
  // ... and the reads that follow it, which run by themselves afterwards.
  bool idle(int ms = 10000);

  bool wait_for(const std::function<bool()>& pred, int ms = 2000);
  // A line the device sends on its own; returns once the window has handled it.
  bool device_says(const QString& line);
  // Waits until the device has received exactly these command lines.
  bool received_exactly(const QStringList& lines, int ms = 2000);
  // Lets the event loop run for ms milliseconds (stray replies arrive).
  void settle(int ms = 20);

  // Connects over Ethernet ("Connect" and the connect event).
  bool connect_ethernet();
  // The device reports power on: the governed groups are enabled.
  void power_on();
  // Presses "Refresh" and returns when the sequence is done.
  void full_refresh();

 private:
  Setup setup_;
  QTemporaryDir dir_;
  CapturingNotifier notifier_;
  std::unique_ptr<corvane::SimServer> sim_;
  std::unique_ptr<FrmMain> main_;
};

}  // namespace quadrel::test
