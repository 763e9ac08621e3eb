// Building blocks of the main window's layout: one maker per control kind,
// and one builder per region of the window.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include "ui/main_controls.h"

class QPushButton;
class QLabel;
class QLineEdit;
class QGroupBox;
class QRadioButton;
class QComboBox;
class QScrollBar;
class QWidget;

namespace quadrel::layout {

// The window's fonts, each with the installed look-alikes as fallbacks.
QFont arial_font(int point_size = 8, bool bold = false);
QFont courier_font(int point_size = 9);
QFont verdana_font(int point_size = 8, bool bold = false);
QFont mingliu_font(int point_size = 14);

// "cmd_mode" and 2 give "cmd_mode(2)".
QString indexed(const char* name, int index);

// Fills a container's background with a plain colour (not inherited by its
// children, unlike a style sheet) and records it as the back colour.
void fill_background(QWidget* w, const QColor& c);

// Every maker names the control, gives it its font and puts it at its place
// (twips, relative to `parent`).
QPushButton* button(QWidget* parent, const QString& name, const QString& caption,
                    int left, int top, int width, int height);
// A button for one of several choices: checked while it is the current one.
QPushButton* state_button(QWidget* parent, const QString& name, const QString& caption,
                          int left, int top, int width, int height);
// A button showing a picture from the program's "bmp" folder; when the picture
// cannot be loaded the caption is shown instead. `what` is the accessible name.
QPushButton* picture_button(QWidget* parent, const QString& name, const QString& file,
                            const QString& caption, const QString& what,
                            int left, int top, int width, int height);
QLabel* label(QWidget* parent, const QString& name, const QString& caption,
              int left, int top, int width, int height);
QLineEdit* text_box(QWidget* parent, const QString& name, const QString& what,
                    int left, int top, int width, int height);
QGroupBox* frame(QWidget* parent, const QString& name, const QString& caption,
                 int left, int top, int width, int height);
QRadioButton* option(QWidget* parent, const QString& name, const QString& caption,
                     int left, int top, int width, int height);
// A list shows its chosen entry whole and takes the wheel only with the focus.
QComboBox* list(QWidget* parent, const QString& name, const QString& what,
                int left, int top, int width, int height);
// A slider takes the wheel only with the focus, too.
QScrollBar* slider(QWidget* parent, const QString& name, const QString& what, int maximum,
                   int left, int top, int width, int height);
// A fixed picture from the "bmp" folder; `fallback` is shown as red text when
// the picture cannot be loaded.
QLabel* image(QWidget* parent, const QString& name, const QString& file,
              const QString& fallback, const QString& what,
              int left, int top, int width, int height);

// The regions of the window.
void build_top_strip(MainControls& c, QWidget* form);
void build_interface_frame(MainControls& c, QWidget* form);
void build_button_frame(MainControls& c, QWidget* form);
void build_picture_frame(MainControls& c, QWidget* form);
void build_bezel_frame(MainControls& c, QWidget* form);
void build_audio_frames(MainControls& c, QWidget* form);
void build_presets(MainControls& c, QWidget* form);
void build_network_and_version(MainControls& c, QWidget* form);

}  // namespace quadrel::layout
