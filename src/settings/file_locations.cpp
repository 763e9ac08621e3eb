#include "settings/file_locations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef QUADREL_DATA_FROM_BIN
#define QUADREL_DATA_FROM_BIN "../share/quadrel"
#endif

namespace quadrel {

namespace {

const QString kSettings = QStringLiteral("corvane.ini");

bool exists_in(const QString& folder, const QString& name) {
  return !folder.isEmpty() && QFileInfo::exists(QDir(folder).filePath(name));
}

}  // namespace

bool FileLocations::portable() const {
  return exists_in(program, QStringLiteral("bmp")) || exists_in(program, QStringLiteral("output_reso.txt")) ||
         exists_in(program, kSettings);
}

QString FileLocations::data_folder() const {
  return portable() || installed_data.isEmpty() ? program : installed_data;
}

QString FileLocations::settings_folder() const {
  return portable() && program_writable ? program : user_config;
}

QString FileLocations::settings_source() const {
  for (const QString& folder : {settings_folder(), program, data_folder()})
    if (exists_in(folder, kSettings)) return QDir(folder).filePath(kSettings);
  return {};
}

FileLocations FileLocations::for_program(const QString& program_folder) {
  FileLocations where;
  where.program = program_folder;
  where.program_writable = QFileInfo(program_folder).isWritable();
  where.installed_data = QDir::cleanPath(QDir(program_folder).filePath(QStringLiteral(QUADREL_DATA_FROM_BIN)));
  // $XDG_CONFIG_HOME, or ~/.config when it is not set.
  where.user_config =
      QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(QStringLiteral("quadrel"));
  return where;
}

namespace {
QString& folder_override() {
  static QString folder;
  return folder;
}
}  // namespace

QString program_folder() {
  if (!folder_override().isEmpty()) return folder_override();
  return QCoreApplication::applicationDirPath();
}

void set_program_folder(const QString& folder) { folder_override() = folder; }

FileLocations file_locations() { return FileLocations::for_program(program_folder()); }

QString hub_token_path() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
      .filePath(QStringLiteral("quadrel/hub-token"));
}

}  // namespace quadrel
