// Loading and closing the main window: lists, settings file, interface choice.
#pragma once

#include <QString>

#include "shell/piece.h"
#include "shell/settings_file.h"

namespace quadrel {

class Startup : public Piece {
 public:
  explicit Startup(FrmMain& main);

  void Form_Load(bool show = true);
  void Form_Unload();
  void opt_interface_Click(int index);

  // The settings as they would be written now (interface, port, size, trimmed address).
  Settings current_settings() const;
  // Writes the settings file beside the program: "corvane.ini.new" first, then
  // renamed over "corvane.ini", so a failed save leaves the old file whole.
  // Returns false when the file could not be written.
  static bool save_settings(const QString& folder, const Settings& settings);

 private:
  // Fills `cbo_output`; returns what was wrong with the file, empty when nothing.
  QString load_resolution_list();
  // Reads corvane.ini; returns what was wrong with it, empty when nothing.
  QString load_settings(Settings* settings);
};

}  // namespace quadrel
