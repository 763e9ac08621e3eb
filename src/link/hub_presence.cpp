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

}  // namespace

QString hub_presence_folder() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)).filePath(QStringLiteral("quadrel"));
}

HubPresenceNote::HubPresenceNote(const HubPresence& presence) {
  const QString folder = hub_presence_folder();
  if (!QDir().mkpath(folder)) return;
  QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  QSaveFile file(QDir(folder).filePath(QStringLiteral("hub-%1.json").arg(QCoreApplication::applicationPid())));
  const QJsonObject note{{"pid", QCoreApplication::applicationPid()},
                         {"target", presence.target},
                         {"protocol", presence.protocol},
                         {"api", presence.api}};
  if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(note).toJson()) > 0 && file.commit())
    path_ = file.fileName();
}

HubPresenceNote::~HubPresenceNote() {
  if (!path_.isEmpty()) QFile::remove(path_);
}

std::optional<HubPresence> running_hub(const QString& target) {
  std::optional<HubPresence> found;
  const QDir folder(hub_presence_folder());
  for (const QString& name : folder.entryList({QStringLiteral("hub-*.json")}, QDir::Files)) {
    QFile file(folder.filePath(name));
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
