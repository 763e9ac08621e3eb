// Quadrel: the control panel of the Corvane video processor.
#include <QApplication>

#include "shell/frm_main.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quadrel"));
  quadrel::FrmMain frm_main;
  return QApplication::exec();
}
