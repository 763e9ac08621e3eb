// Loading and closing the main window: lists, settings file, interface choice.
#pragma once

#include <QString>

#include "shell/command_line.h"
#include "ui/piece.h"
#include "settings/settings_file.h"

namespace quadrel {

class EthernetControl;
class SerialControl;

class Startup : public Piece {
 public:
  Startup(const PanelContext& context, SerialControl& serial, EthernetControl& ethernet);

  // Before Form_Load: start on this link instead of the stored one.
  void set_run_link(const RunLink& link) { run_link_ = link; }
  void Form_Load(bool show = true);
  void Form_Unload();
  // SIGTERM, SIGINT or SIGHUP: save and close as the window's close button
  // does, telling a failed save on the standard error (nobody may be there to
  // answer a message box).
  void close_on_signal(int signal_number);
  bool closing_on_signal() const { return on_signal_; }
  void opt_interface_Click(int index);

  // The settings as they would be written now (interface, port, size, trimmed address).
  Settings current_settings() const;
  // Writes "corvane.ini" in `folder` (made when missing): "corvane.ini.new"
  // first, then renamed over "corvane.ini", so a failed save leaves the old
  // file whole. Returns false when the file could not be written, and `error`
  // says why.
  static bool save_settings(const QString& folder, const Settings& settings, QString* error = nullptr);

 private:
  // Fills `cbo_output`; returns what was wrong with the file, empty when nothing.
  QString load_resolution_list();
  // Reads corvane.ini; returns what was wrong with it, empty when nothing.
  QString load_settings(Settings* settings);

  SerialControl& serial_;
  EthernetControl& ethernet_;
  RunLink run_link_;
  Settings stored_;        // as read at start
  bool on_signal_ = false;
};

}  // namespace quadrel
