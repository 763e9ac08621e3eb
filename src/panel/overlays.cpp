#include "panel/overlays.h"

#include "ui/widgets.h"

namespace quadrel {

Overlays::Overlays(const PanelContext& context) : Piece(context) {
  if (c_.lab_pip) QObject::connect(c_.lab_pip, &ClickLabel::clicked, &ctx_, [this] { lab_pip_Click(); });
  if (c_.lab_lab_input)
    QObject::connect(c_.lab_lab_input, &ClickLabel::clicked, &ctx_, [this] { lab_lab_input_Click(); });
}

QCoro::Task<> Overlays::toggle(ToolKind tool, bool open, ClickLabel* label, ShapeWidget* shape) {
  const QPointer<QObject> alive = guard();
  // The label takes no further clicks until its window is open or closed.
  if (shape) shape->set_fill(colour::busy_red);
  if (label) label->setEnabled(false);
  if (open)
    host_.close_tool(tool);
  else
    host_.open_tool(tool);
  // Red until what the window reads as it opens has been read (a turn of the event loop at least).
  co_await device_.settled(kOpeningLimitMs);
  if (!alive) co_return;
  if (label) label->setEnabled(true);
  if (shape) shape->set_fill(colour::indicator_grey);
}

}  // namespace quadrel
