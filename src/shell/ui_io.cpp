#include "shell/ui_io.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextCursor>

namespace quadrel {

void TextConsole::append(std::string_view text) {
  QTextCursor cursor(box_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TextConsole::clear() { box_->clear(); }

void MessageBoxNotifier::message(const std::string& text, MessageIcon icon) {
  QMessageBox::Icon box_icon = QMessageBox::NoIcon;
  if (icon == MessageIcon::Error) box_icon = QMessageBox::Critical;
  if (icon == MessageIcon::Warning) box_icon = QMessageBox::Warning;
  QMessageBox box(box_icon, QApplication::applicationName(), QString::fromStdString(text),
                  QMessageBox::Ok, owner_);
  // Messages quote file contents: shown as they are, never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setAccessibleName(QApplication::applicationName());
  box.setAccessibleDescription(QString::fromStdString(text));
  box.exec();
}

}  // namespace quadrel
