// A notifier that records message boxes instead of showing them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

#include "link/core/link_io.h"

namespace quadrel::test {

// Records message boxes instead of showing them.
class CapturingNotifier : public Notifier {
 public:
  void message(const std::string& text, MessageIcon icon) override { message_titled({}, text, icon); }
  // `title` is empty for a message under the program's title.
  void message_titled(const std::string& title, const std::string& text, MessageIcon icon) override {
    texts.append(QString::fromStdString(text));
    icons.append(icon);
    titles.append(QString::fromStdString(title));
    if (on_message) on_message(text, icon);
  }
  QStringList texts;
  QList<MessageIcon> icons;
  QStringList titles;
  std::function<void(const std::string&, MessageIcon)> on_message;
};

}  // namespace quadrel::test
