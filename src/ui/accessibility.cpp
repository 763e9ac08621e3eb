#include "ui/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QVariant>

#include "ui/widgets.h"

namespace quadrel {

namespace {

constexpr const char* kLeftOut = "leftOutOfAccessibility";

bool left_out(const QObject* o) {
  return qobject_cast<const ShapeWidget*>(o) || o->property(kLeftOut).toBool();
}

QList<QWidget*> told_children(const QWidget* w) {
  QList<QWidget*> list;
  for (QObject* o : w->children()) {
    auto* child = qobject_cast<QWidget*>(o);
    if (child && !child->isWindow() && !left_out(child)) list.append(child);
  }
  return list;
}

// A window or group whose children include widgets without meaning: it tells
// assistive tools of the others only.
class Container : public QAccessibleWidget {
 public:
  Container(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}

  int childCount() const override { return static_cast<int>(told_children(widget()).size()); }

  QAccessibleInterface* child(int index) const override {
    const QList<QWidget*> list = told_children(widget());
    if (index < 0 || index >= list.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(list.at(index));
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child) return -1;
    return static_cast<int>(told_children(widget()).indexOf(qobject_cast<QWidget*>(child->object())));
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
      if (auto* group = qobject_cast<QGroupBox*>(widget())) return group->title();
    return QAccessibleWidget::text(t);
  }
};

// Interfaces are made as soon as a widget is, before its children exist: every
// window of the panel and every plain group gets one that filters its children.
QAccessibleInterface* container_factory(const QString&, QObject* object) {
  auto* w = qobject_cast<QWidget*>(object);
  if (!w) return nullptr;
  if (auto* group = qobject_cast<QGroupBox*>(w); group && !group->isCheckable())
    return new Container(w, QAccessible::Grouping);
  if (w->isWindow() && (w->objectName() == QLatin1String("frm_main") || w->inherits("quadrel::ToolWindow")))
    return new Container(w, QAccessible::Window);
  return nullptr;
}

}  // namespace

void leave_out_of_accessibility(QWidget* w) {
  if (w) w->setProperty(kLeftOut, true);
}

void install_accessibility_rules() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(container_factory);
}

}  // namespace quadrel
