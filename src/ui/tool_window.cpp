#include "ui/tool_window.h"

#include <QCloseEvent>
#include <QScreen>

#include "ui/widgets.h"

namespace quadrel {

ToolWindow::ToolWindow(QWidget* owner, const QString& caption, int client_width,
                       int client_height)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint),
      owner_(owner) {
  setWindowTitle(caption);
  setAccessibleName(caption);
  setFixedSize(twips(client_width), twips(client_height));
}

QSize ToolWindow::decoration() const {
  QSize own = frameGeometry().size() - geometry().size();
  if (own.width() > 0 || own.height() > 0 || !owner_) return own;
  return owner_->frameGeometry().size() - owner_->geometry().size();
}

int ToolWindow::outer_width() const { return width() + decoration().width(); }
int ToolWindow::outer_height() const { return height() + decoration().height(); }

void ToolWindow::move_outer(int left, int top) {
  QScreen* screen = owner_ ? owner_->screen() : this->screen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    if (top < area.top()) top = area.top();
    if (left < area.left()) left = area.left();
  }
  move(left, top);
}

void ToolWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (loaded_) {
    loaded_ = false;
    if (on_unload) on_unload();
  }
}

}  // namespace quadrel
