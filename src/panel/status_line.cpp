#include "panel/status_line.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/widgets.h"

namespace quadrel {

namespace {

// A command as the user knows it: without the terminator some commands carry.
QString shown_command(const QString& command) {
  QString text;
  for (QChar ch : command)
    if (ch.unicode() >= 0x20 && ch.unicode() < 0x7f) text += ch;
  return text;
}

}  // namespace

StatusLine::StatusLine(const PanelContext& context) : Piece(context) {
  auto* frame = new QFrame(&host_.window());
  frame->setObjectName(QStringLiteral("status_line"));
  frame->setFrameShape(QFrame::StyledPanel);
  frame->setFrameShadow(QFrame::Sunken);
  frame->setAutoFillBackground(true);  // covers what lies below the window's height
  frame->setAccessibleName(QStringLiteral("Status"));
  auto* layout = new QHBoxLayout(frame);
  layout->setContentsMargins(6, 1, 6, 1);
  layout->setSpacing(12);
  // The labels' text is their accessible name, so a change is announced as it is.
  notice_ = new QLabel(frame);
  notice_->setObjectName(QStringLiteral("lab_status"));
  notice_->setTextFormat(Qt::PlainText);
  notice_->setAccessibleDescription(QStringLiteral("Status"));
  link_label_ = new QLabel(frame);
  link_label_->setObjectName(QStringLiteral("lab_link"));
  link_label_->setTextFormat(Qt::PlainText);
  link_label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  link_label_->setAccessibleDescription(QStringLiteral("Link"));
  layout->addWidget(notice_, 1);
  layout->addWidget(link_label_, 0);
  line_ = frame;

  QObject::connect(&device_, &Device::exchange_ended, &ctx_,
                   [this](const QString& command, ExchangeOutcome outcome) { exchange_ended(command, outcome); });
  // The device is the one source of the link's state.
  QObject::connect(&device_, &Device::link_changed, &ctx_, [this] { show_link(); });
  show_link();
}

int StatusLine::height() const { return line_->sizeHint().height(); }

void StatusLine::notice(const QString& text, bool through_next_answer) {
  set_text(notice_, text);
  keep_through_answer_ = through_next_answer;
}

QString StatusLine::notice_text() const { return notice_->text(); }

QString StatusLine::link_text() const { return link_label_->text(); }

void StatusLine::exchange_ended(const QString& command_line, ExchangeOutcome outcome) {
  const QString command = shown_command(command_line);
  switch (outcome) {
    case ExchangeOutcome::Answered:
      // A command went through: what went wrong before is past.
      if (keep_through_answer_)
        keep_through_answer_ = false;
      else
        notice(QString());
      break;
    case ExchangeOutcome::DeviceError:
      notice(QStringLiteral("%1 refused by the device (ERR)").arg(command));
      break;
    case ExchangeOutcome::NoAnswer:
      notice(QStringLiteral("No answer to %1 on %2").arg(command, device_.link_name()));
      break;
    case ExchangeOutcome::LinkClosed:
      notice(QStringLiteral("%1 not sent: not connected").arg(command));
      break;
    case ExchangeOutcome::Busy:
      notice(QStringLiteral("%1 not sent: another command was still waiting for its answer").arg(command));
      break;
    case ExchangeOutcome::LinkLost:
      notice(QStringLiteral("No answer to %1: the link to %2 closed").arg(command, device_.link_name()));
      break;
  }
}

void StatusLine::show_link() {
  QString text;
  if (device_.link_open())
    text = QStringLiteral("Connected to %1").arg(device_.link_name());
  else if (device_.iface() == 1 && device_.tcp_connecting())
    text = QStringLiteral("Connecting to %1").arg(device_.link_name());
  else
    text = QStringLiteral("Not connected");
  set_text(link_label_, text);
  // The green Connect button is the connected one, to assistive tools as well.
  c_.cmd_conn->setChecked(device_.serial_open());
  c_.cmd_conn_eth->setChecked(device_.tcp_connected());
}

}  // namespace quadrel
