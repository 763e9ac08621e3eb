#include "ui/tool_window.h"

#include <QCloseEvent>
#include <QScreen>
#include <algorithm>

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

QPoint ToolWindow::place_beside(const QRect& screen, const QRect& owner, QSize size, QPoint wanted,
                                const QList<QRect>& controls) {
  const int w = size.width(), h = size.height();
  const QPoint tried[] = {
      wanted,
      {owner.left(), owner.top() - h},           // above, left edges aligned
      {owner.right() + 1 - w, owner.top() - h},  // above, right edges aligned
      {owner.left(), owner.bottom() + 1},        // below
      {owner.right() + 1 - w, owner.bottom() + 1},
      {owner.left() - w, owner.top()},           // left
      {owner.right() + 1, owner.top()},          // right
  };
  QPoint best = wanted;
  qsizetype fewest = -1;
  for (QPoint at : tried) {
    // Kept whole on the screen where it fits, its title bar reachable where it does not.
    at.setX(std::max(screen.left(), std::min(at.x(), screen.right() + 1 - w)));
    at.setY(std::max(screen.top(), std::min(at.y(), screen.bottom() + 1 - h)));
    const QRect place(at, size);
    const qsizetype covered =
        std::count_if(controls.begin(), controls.end(), [&](const QRect& c) { return c.intersects(place); });
    if (fewest < 0 || covered < fewest) {
      fewest = covered;
      best = at;
    }
    if (covered == 0) break;
  }
  return best;
}

void ToolWindow::move_beside_owner(QPoint wanted, const QList<QRect>& controls) {
  QScreen* screen = owner_ ? owner_->screen() : this->screen();
  if (!screen || !owner_) return move_outer(wanted.x(), wanted.y());
  const QPoint at = place_beside(screen->availableGeometry(), owner_->frameGeometry(),
                                 QSize(outer_width(), outer_height()), wanted, controls);
  move(at);
}

void ToolWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (loaded_) {
    loaded_ = false;
    if (on_unload) on_unload();
  }
}

}  // namespace quadrel
