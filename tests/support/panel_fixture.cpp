#include "panel_fixture.h"

#include <QAbstractButton>
#include <QPushButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "settings/settings_file.h"
#include "ui/widgets.h"
#include "await_task.h"
#include "spin.h"

namespace quadrel::test {

QString source_dir() { return QStringLiteral(QUADREL_SOURCE_DIR); }

void write_file(const QString& folder, const QString& name, const QByteArray& content) {
  QFile file(QDir(folder).filePath(name));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(name));
  file.write(content);
}

void prepare_program_folder(const QString& folder, const QString& com1, int iface, bool advanced,
                            const QString& address) {
  QFile::copy(source_dir() + QStringLiteral("/data/output_reso.txt"),
              QDir(folder).filePath(QStringLiteral("output_reso.txt")));
  const QDir pictures(source_dir() + QStringLiteral("/bmp"));
  QDir(folder).mkpath(QStringLiteral("bmp"));
  for (const QString& name : pictures.entryList({QStringLiteral("*.bmp")}, QDir::Files))
    QFile::copy(pictures.filePath(name), QDir(folder).filePath(QStringLiteral("bmp/") + name));
  write_file(folder, QStringLiteral("com_ports.txt"), ("COM1=" + com1 + "\n").toUtf8());
  Settings settings;
  settings.iface = iface;
  settings.advanced_open = advanced;
  settings.address = address.toStdString();
  write_file(folder, QStringLiteral("corvane.ini"), QByteArray::fromStdString(format_settings(settings)));
}

PanelFixture::PanelFixture(Setup setup) : setup_(setup) {
  sim_ = std::make_unique<corvane::SimServer>();
  corvane::SimServer::Options options;
  QString error;
  if (!sim_->start(options, &error)) qFatal("simulator: %s", qPrintable(error));
  sim_->device().state().resolution_count = 19;  // as many as the shipped resolution list

  const QString folder = dir_.path();
  const QString com1 = setup.link == Link::None ? QStringLiteral("/nonexistent/tty-quadrel")
                                                : sim_->pty_path();
  prepare_program_folder(folder, com1, setup.link == Link::Ethernet ? 1 : 0, setup.advanced,
                         QStringLiteral("127.0.0.1:%1").arg(sim_->tcp_port()));

  FrmMainOptions frm_options;
  frm_options.program_folder = folder;
  frm_options.notifier = setup.message_boxes ? nullptr : &notifier_;
  frm_options.show = setup.show;
  main_ = std::make_unique<FrmMain>(frm_options);

  if (setup.link == Link::Ethernet && setup.connect) {
    if (!connect_ethernet()) qWarning("fixture: the Ethernet link did not connect");
  }
  settle(5);
  clear_received();
  clear_messages();
}

PanelFixture::~PanelFixture() {
  main_.reset();
  sim_.reset();
}

QStringList PanelFixture::received() const { return sim_->log(); }

void PanelFixture::clear_received() { sim_->clear_log(); }

QString PanelFixture::console() const {
  main_->flush_console();
  return main_->controls().txt_cmd->toPlainText();
}

void PanelFixture::clear_messages() {
  notifier_.texts.clear();
  notifier_.icons.clear();
  notifier_.titles.clear();
}

void PanelFixture::click(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget))
    button->click();
  else
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
  done();
}

bool PanelFixture::done(int ms) {
  return wait_for([this] { return !main_->device().operating(); }, ms);
}

bool PanelFixture::idle(int ms) {
  return wait_for([this] { return !main_->device().busy(); }, ms);
}

void PanelFixture::choose(QComboBox* combo, int index) {
  // Through the list's popup, as a user picks an entry.
  combo->showPopup();
  QAbstractItemView* view = combo->view();
  const QModelIndex item = combo->model()->index(index, combo->modelColumn(), combo->rootModelIndex());
  const QRect rect = view->visualRect(item);
  if (view->isVisible() && rect.isValid()) {
    QSignalSpy activated(combo, &QComboBox::activated);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    // The choice was made, whatever the handler did to the list afterwards.
    if (!activated.isEmpty()) {
      done();
      return;
    }
  }
  combo->hidePopup();
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  done();
}

void PanelFixture::move(QScrollBar* slider, int value) {
  slider->setValue(value);
  done();
}

bool PanelFixture::wait_for(const std::function<bool()>& pred, int ms) {
  // Each exchange resumes its sequence from the event loop: QTest's waits,
  // sleeping between rounds, would slow every exchange down to their pace.
  return spin_until(pred, ms);
}

bool PanelFixture::device_says(const QString& line) {
  const qsizetype before = console().count(line);
  sim_->send_unsolicited(line);
  // Handled: shown, and what it asked to read read.
  return wait_for([&] { return console().count(line) > before; }) && idle();
}

bool PanelFixture::received_exactly(const QStringList& lines, int ms) {
  return wait_for([&] { return received() == lines; }, ms);
}

void PanelFixture::settle(int ms) { QTest::qWait(ms); }

bool PanelFixture::connect_ethernet() {
  click(main_->controls().cmd_conn_eth);
  return wait_for([this] { return main_->link().state().eth_connected; }, 3000);
}

void PanelFixture::power_on() {
  awaited(main_->device().exchange("PWR999"));
}

void PanelFixture::full_refresh() { click(main_->controls().cmd_refresh); }

}  // namespace quadrel::test
