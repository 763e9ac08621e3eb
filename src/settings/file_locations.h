// Where the program finds its pictures and resolution list, and where it keeps
// corvane.ini and com_ports.txt. Qt Core only.
#pragma once

#include <QString>

namespace quadrel {

struct FileLocations {
  QString program;          // the folder that holds the program
  bool program_writable = false;
  QString installed_data;   // the installed data folder: pictures, default lists and settings
  QString user_config;      // the user's settings folder, $XDG_CONFIG_HOME/quadrel

  // The program runs from a folder of its own (its build, or a copied folder):
  // the folder holds bmp/, output_reso.txt or corvane.ini beside the program.
  bool portable() const;
  // Pictures and the resolution list: the program's folder when portable, else
  // the installed data folder.
  QString data_folder() const;
  // Where corvane.ini is written at close, and com_ports.txt read: the
  // program's folder when portable and writable, else the user's folder.
  QString settings_folder() const;
  // The corvane.ini read at start: the settings folder's when it exists, else
  // the one beside the program, else the installed default; empty when none exists.
  QString settings_source() const;

  // The locations of a program in `program_folder`: the installed data folder
  // is share/quadrel beside its bin/, the user's folder follows XDG.
  static FileLocations for_program(const QString& program_folder);
};

// The program's folder: the executable's, or one given instead (a test's
// temporary folder).
QString program_folder();
void set_program_folder(const QString& folder);
// Where the program's files are for that folder.
FileLocations file_locations();

// The user's token for the hub's API: $XDG_CONFIG_HOME/quadrel/hub-token
// (~/.config when the variable is not set), where the hub makes it and the
// client looks for it.
QString hub_token_path();

}  // namespace quadrel
