#include "panel/presets.h"

#include <QPushButton>

#include "ui/control_kinds.h"

namespace quadrel {

Presets::Presets(const PanelContext& context) : Piece(context) {
  for (int n = 1; n <= 4; ++n) {
    if (c_.cmd_save[n])
      QObject::connect(c_.cmd_save[n], &QPushButton::clicked, &ctx_, [this, n] { cmd_save_Click(n); });
    if (c_.cmd_recall[n])
      QObject::connect(c_.cmd_recall[n], &QPushButton::clicked, &ctx_, [this, n] { cmd_recall_Click(n); });
  }
  on_change(Aspect::PresetSaved, [this](int) { highlight(c_.cmd_save, device_.state().preset_saved.value_or(0)); });
  on_change(Aspect::PresetRecalled,
            [this](int) { highlight(c_.cmd_recall, device_.state().preset_recalled.value_or(0)); });
  // A mode change leaves no preset marked.
  QObject::connect(&device_, &Device::mode_change_started, &ctx_, [this] {
    highlight(c_.cmd_save, 0);
    highlight(c_.cmd_recall, 0);
  });
}

void Presets::row_enabled(Row& row, bool enabled) {
  for (int n = 1; n <= 4; ++n)
    if (row[n]) row[n]->setEnabled(enabled);
}

void Presets::highlight(Row& row, int index) {
  for (int n = 1; n <= 4; ++n) show_current(row[n], n == index);
}

QCoro::Task<> Presets::cmd_save_Click(int index) {
  const QPointer<QObject> alive = guard();
  highlight(c_.cmd_save, 0);
  row_enabled(c_.cmd_save, false);
  co_await device_.save_preset(index);
  if (alive) row_enabled(c_.cmd_save, true);
}

QCoro::Task<> Presets::cmd_recall_Click(int index) {
  const QPointer<QObject> alive = guard();
  highlight(c_.cmd_recall, 0);
  row_enabled(c_.cmd_recall, false);
  co_await device_.recall_preset(index);
  if (alive) row_enabled(c_.cmd_recall, true);
}

}  // namespace quadrel
