#include "windows/frm_keypad.h"

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>

#include "shell/widgets.h"

namespace quadrel {

namespace {
const char* const kLegendText =
    "1 Matrix   2 PoP   3 Wall   4 PiP   5 Quad\n"
    "A S D F: output A B C D      J K L ; : input 1 2 3 4\n"
    "Keypad  7 Speaker  8 Up  9 Lock  |  4 Left  5 OK  6 Right  |  1 Exit  2 Down  3 Menu";
}  // namespace

FrmKeypad::FrmKeypad(QWidget* owner)
    : ToolWindow(owner, QStringLiteral("Keyboard"), kClientWidth, kClientHeight) {
  setObjectName(QStringLiteral("frm_keypad"));
  setFocusPolicy(Qt::StrongFocus);

  img_keypad = new QLabel(this);
  img_keypad->setObjectName(QStringLiteral("img_keypad"));
  place(img_keypad, 90, 120, 5085, 1440);
  img_keypad->setAccessibleName(QStringLiteral("Keyboard legend"));
  img_keypad->setAccessibleDescription(QString::fromLatin1(kLegendText));
  const QPixmap legend(picture_path(QStringLiteral("keypad_legend.bmp")));
  if (!legend.isNull()) {
    img_keypad->setPixmap(legend);
    img_keypad->setScaledContents(true);
    picture_loaded_ = true;
  } else {
    img_keypad->setText(QString::fromLatin1(kLegendText));
    img_keypad->setWordWrap(true);
    img_keypad->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
}

void FrmKeypad::keyPressEvent(QKeyEvent* event) {
  event->accept();
  if (on_key_down) on_key_down(event);
}

}  // namespace quadrel
