#include "shell/startup.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <unistd.h>

#include "panel/ethernet_control.h"
#include "panel/serial_control.h"
#include "link/core/small_file.h"
#include "link/serial_ports.h"
#include "settings/file_locations.h"
#include "shell/frm_main.h"
#include "ui/ui_io.h"
#include "ui/widgets.h"

namespace quadrel {

namespace {

constexpr const char* kCaption = "Quadrel v3.00S ";
constexpr std::size_t kLargestFile = 1 << 20;  // both files are a few hundred bytes

const char* const kComPorts[] = {"COM1:", "COM2:", "COM3:", "COM4:", "COM5:",
                                 "COM6:", "COM7:", "COM8:", "COM9:"};
const char* const kAspects[] = {"FULL", "4:3 TV", "16:9 TV", "16:10 TV", "Keep Ratio"};

// Reads one of the small files beside the program, regular files only;
// returns what kept it from being read ("is a FIFO, not a file"), empty when read.
QString read_file(const QString& path, std::string* text) {
  SmallFile file = read_small_file(QFile::encodeName(path).toStdString(), kLargestFile);
  *text = std::move(file.text);
  return QString::fromLocal8Bit(file.problem());
}

}  // namespace

Startup::Startup(const PanelContext& context, SerialControl& serial, EthernetControl& ethernet)
    : Piece(context), serial_(serial), ethernet_(ethernet) {
  for (int i = 0; i <= 1; ++i) {
    QObject::connect(c_.opt_interface[i], &QRadioButton::toggled, &ctx_,
                     [this, i](bool checked) {
                       if (checked) opt_interface_Click(i);
                     });
  }
  QObject::connect(c_.cmd_clear, &QPushButton::clicked, &ctx_, [this] { device_.link().cmd_clear_Click(); });
}

QString Startup::load_resolution_list() {
  std::string text;
  const QString unread = read_file(QDir(file_locations().data_folder()).filePath(QStringLiteral("output_reso.txt")), &text);
  std::vector<std::string> names;
  QString problem;
  if (!unread.isEmpty()) {
    problem = QStringLiteral("output_reso.txt %1; the built-in resolution list is used.").arg(unread);
  } else {
    std::string what;
    names = parse_resolution_list(text, &what);
    if (names.empty())
      problem = QStringLiteral("output_reso.txt lists no resolution; the built-in resolution list is used.");
    else if (!what.empty())
      problem = QStringLiteral("output_reso.txt: %1; the first %2 resolutions are used.")
                    .arg(QString::fromStdString(what))
                    .arg(names.size());
  }
  if (names.empty()) names = default_resolution_list();
  for (const std::string& name : names) c_.cbo_output->addItem(QString::fromStdString(name));
  return problem;
}

QString Startup::load_settings(Settings* settings) {
  std::string text;
  const QString source = file_locations().settings_source();
  const QString unread = source.isEmpty() ? QStringLiteral("is missing") : read_file(source, &text);
  if (!unread.isEmpty()) return QStringLiteral("corvane.ini %1; starting with default settings.").arg(unread);
  std::string what;
  *settings = parse_settings(text, &what);
  if (what.empty()) return {};
  return QStringLiteral("corvane.ini: %1; default values are used instead.").arg(QString::fromStdString(what));
}

void Startup::Form_Load(bool show) {
  // 1. Initial values.
  ps_.send_enable = false;
  device_.forget_state();
  ps_.keypad_open = false;
  ps_.hdcp_open = false;
  ps_.label_open = false;
  ps_.pip_open = false;

  // 2. The constant lists.
  c_.cbo_com->clear();
  for (const char* port : kComPorts) c_.cbo_com->addItem(QString::fromLatin1(port));
  c_.cbo_aspect->clear();
  for (const char* aspect : kAspects) c_.cbo_aspect->addItem(QString::fromLatin1(aspect));

  // 3. The resolution list.
  c_.cbo_output->clear();
  QStringList problems;
  if (QString problem = load_resolution_list(); !problem.isEmpty()) problems << problem;
  if (QString problem = com_ports_problem(file_locations().settings_folder()); !problem.isEmpty())
    problems << problem;

  // Both lists show no entry until the device reports its values.
  c_.cbo_aspect->setCurrentIndex(-1);
  c_.cbo_output->setCurrentIndex(-1);

  // 4. The console.
  c_.txt_cmd->clear();

  // 5. The settings file.
  Settings settings;
  if (QString problem = load_settings(&settings); !problem.isEmpty()) problems.prepend(problem);
  stored_ = settings;
  // A link given on the command line replaces the stored one for this run.
  if (run_link_.kind == RunLink::Kind::Serial) {
    settings.iface = 0;
    serial_.set_run_device(settings.com_port, run_link_.target);
  } else if (run_link_.kind == RunLink::Kind::Tcp) {
    settings.iface = 1;
    settings.address = run_link_.target.toStdString();
  }
  device_.use_interface(settings.iface);
  ps_.com_port = settings.com_port;
  ps_.advanced_open = settings.advanced_open;
  c_.txt_ip->setText(QString::fromStdString(settings.address));
  // Each port of the list shows the device it opens.
  serial_.label_port_list();

  // 6. The Ethernet side starts idle.
  set_back_color(c_.cmd_disconn_eth, colour::busy_red);

  // 7. Choosing the interface runs its click handler (the serial port opens for RS-232).
  if (c_.opt_interface[settings.iface]->isChecked())
    opt_interface_Click(settings.iface);
  else
    c_.opt_interface[settings.iface]->setChecked(true);

  // 8. Size, caption, show.
  host_.set_outer_height(ps_.advanced_open ? FrmMain::kAdvancedHeight : FrmMain::kSmallHeight);
  host_.window().setWindowTitle(QString::fromLatin1(kCaption));
  if (show) host_.window().show();

  // What was wrong with the files, told once.
  if (!problems.isEmpty()) notifier_.message(problems.join(QLatin1Char('\n')).toStdString(), MessageIcon::Warning);

  // 9. The serial poll runs from now on, whichever interface is chosen.
  device_.link().set_tim_rx_enabled(true);
  // 10.
  ps_.send_enable = true;

  // A network link named on the command line connects at once.
  if (run_link_.kind == RunLink::Kind::Tcp) ethernet_.cmd_conn_eth_Click();
}

void Startup::opt_interface_Click(int index) {
  for (QWidget* w : {static_cast<QWidget*>(c_.cmd_conn), static_cast<QWidget*>(c_.cmd_disconn),
                     static_cast<QWidget*>(c_.cbo_com), static_cast<QWidget*>(c_.lab_rs232),
                     static_cast<QWidget*>(c_.cmd_conn_eth), static_cast<QWidget*>(c_.cmd_disconn_eth),
                     static_cast<QWidget*>(c_.lab_ip), static_cast<QWidget*>(c_.txt_ip)})
    w->hide();

  if (index != 0) {
    if (device_.serial_open()) device_.close_serial();
    device_.use_interface(index);
    c_.cmd_conn_eth->show();
    c_.cmd_disconn_eth->show();
    // "Get IP" stays usable: the Ethernet path recognises the network answers too.
    c_.lab_ip->show();
    c_.txt_ip->show();
    return;
  }

  // RS-232: the Ethernet side goes idle and the serial port opens at once.
  device_.use_interface(index);
  ethernet_.cmd_disconn_eth_Click();

  c_.cmd_conn->show();
  c_.cmd_disconn->show();
  c_.cbo_com->show();
  c_.cmd_get_ip->setEnabled(true);
  c_.lab_rs232->show();

  const bool was_enabled = ps_.send_enable;
  ps_.send_enable = false;
  c_.cbo_com->setCurrentIndex(ps_.com_port - 1);
  serial_.cbo_com_Click();  // records com_port only
  ps_.send_enable = was_enabled;

  serial_.set_comm();
}

Settings Startup::current_settings() const {
  Settings settings;
  settings.iface = device_.iface();
  settings.com_port = ps_.com_port;
  settings.advanced_open = ps_.advanced_open;
  settings.address = c_.txt_ip->text().trimmed().toStdString();
  // A run on the command line's link keeps the stored link.
  if (run_link_.kind != RunLink::Kind::Stored) {
    settings.iface = stored_.iface;
    settings.com_port = stored_.com_port;
    settings.address = stored_.address;
  }
  return settings;
}

bool Startup::save_settings(const QString& folder, const Settings& settings, QString* error) {
  const QString final_path = QDir(folder).filePath(QStringLiteral("corvane.ini"));
  const QString new_path = final_path + QStringLiteral(".new");
  const std::string text = format_settings(settings);
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;
  };

  std::error_code made;
  std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), made);
  if (made) return fail(QString::fromStdString(made.message()));

  QFile file(new_path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return fail(file.errorString());
  QString why;
  if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()) || !file.flush())
    why = file.errorString();
  else if (::fsync(file.handle()) != 0)
    why = QString::fromLocal8Bit(std::strerror(errno));
  file.close();
  if (why.isEmpty() && file.error() != QFileDevice::NoError) why = file.errorString();
  if (why.isEmpty() &&
      std::rename(QFile::encodeName(new_path).constData(), QFile::encodeName(final_path).constData()) != 0)
    why = QString::fromLocal8Bit(std::strerror(errno));
  if (!why.isEmpty()) {
    QFile::remove(new_path);
    return fail(why);
  }
  return true;
}

void Startup::Form_Unload() {
  // Every step runs; a failed save is told, naming the file and the reason.
  device_.close_serial();
  const QString folder = file_locations().settings_folder();
  QString why;
  if (!save_settings(folder, current_settings(), &why)) {
    const QString path = QDir(folder).filePath(QStringLiteral("corvane.ini"));
    QString text = QStringLiteral("The settings could not be saved to %1: %2.").arg(path, why);
    if (QFile::exists(path)) text += QStringLiteral("\nThe file keeps the settings it had.");
    if (on_signal_)
      std::cerr << "quadrel: " << text.toStdString() << std::endl;
    else
      notifier_.message(text.toStdString(), MessageIcon::Error);
  }

  // The tool windows close with the main window.
  for (QObject* child : host_.window().children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (w && w->isWindow() && w->isVisible()) w->close();
  }
}

void Startup::close_on_signal(int) {
  on_signal_ = true;
  host_.window().close();
  on_signal_ = false;
}

}  // namespace quadrel
