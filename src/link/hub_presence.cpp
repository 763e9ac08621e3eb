#include "link/hub_presence.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <signal.h>

namespace quadrel {

namespace {

// A note is a few lines: anything longer is no note.
constexpr qint64 kMaxNote = 4096;

bool alive(qint64 pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// Where a system instance of the hub (quadrel-hub@NAME, its own user) keeps
// its note: its runtime folder, readable by every user of the machine.
constexpr char kSystemFolder[] = "/run/quadrel-hub";

// The notes there are to be: a user's hubs', then the system's.
QStringList note_files() {
  QStringList files;
  const QDir user(hub_presence_folder());
  for (const QString& name : user.entryList({QStringLiteral("hub-*.json")}, QDir::Files)) files << user.filePath(name);
  const QDir system(QString::fromLatin1(kSystemFolder));
  for (const QString& name : system.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
    files << system.filePath(name + QStringLiteral("/hub.json"));
  return files;
}

}  // namespace

QString hub_presence_folder() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(QStringLiteral("quadrel"));
}

HubPresenceNote::HubPresenceNote(const HubPresence& presence) {
  // Under systemd with a runtime folder of its own (the system instances), the note is there.
  const QString service = qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
  const QString folder = service.isEmpty() ? hub_presence_folder() : service;
  if (!QDir().mkpath(folder)) return;
  if (service.isEmpty()) QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QSaveFile file(QDir(folder).filePath(
      service.isEmpty() ? QStringLiteral("hub-%1.json").arg(QCoreApplication::applicationPid()) : QStringLiteral("hub.json")));
  const QJsonObject note{{"pid", QCoreApplication::applicationPid()},
                         {"target", presence.target},
                         {"protocol", presence.protocol},
                         {"api", presence.api}};
  if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(note).toJson()) > 0 && file.commit()) {
    path_ = file.fileName();
    // Another user's client may read a system instance's note; a user's folder is theirs alone.
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  }
}

HubPresenceNote::~HubPresenceNote() {
  if (!path_.isEmpty()) QFile::remove(path_);
}

std::optional<HubPresence> running_hub(const QString& target) {
  std::optional<HubPresence> found;
  for (const QString& path : note_files()) {
    QFile file(path);
    if (file.size() > kMaxNote || !file.open(QIODevice::ReadOnly)) continue;
    const QJsonObject note = QJsonDocument::fromJson(file.read(kMaxNote)).object();
    HubPresence hub{static_cast<qint64>(note.value(QLatin1String("pid")).toDouble()),
                    note.value(QLatin1String("target")).toString(), note.value(QLatin1String("protocol")).toString(),
                    note.value(QLatin1String("api")).toString()};
    if (hub.pid == QCoreApplication::applicationPid() || !alive(hub.pid)) continue;
    if (hub.target == target) return hub;
    if (!found) found = hub;
  }
  return found;
}

}  // namespace quadrel
