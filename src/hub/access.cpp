#include "hub/access.h"

#include "settings/file_locations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quadrel::hub {

namespace {

constexpr qsizetype kMinToken = 16;
constexpr qint64 kMaxTokenFile = 4096;

bool equal_in_constant_time(const QByteArray& a, const QByteArray& b) {
  // Every byte of the longer one is looked at, whatever matches.
  const qsizetype n = std::max(a.size(), b.size());
  unsigned diff = a.size() == b.size() ? 0u : 1u;
  for (qsizetype i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(i < a.size() ? a[i] : 0);
    const auto y = static_cast<unsigned char>(i < b.size() ? b[i] : 0);
    diff |= static_cast<unsigned>(x ^ y);
  }
  return diff == 0;
}

// A name or address of this machine: a page of another site cannot have
// the browser send one of these for its own name.
bool own_name(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  QHostAddress address(host);
  if (!address.isNull()) {
    if (address.isLoopback()) return true;
    address.setScopeId({});
    for (QHostAddress own : QNetworkInterface::allAddresses()) {
      own.setScopeId({});
      if (own.isEqual(address, QHostAddress::TolerantConversion)) return true;
    }
    return false;
  }
  const QString name = QHostInfo::localHostName();
  if (name.isEmpty()) return false;
  if (host.compare(name, Qt::CaseInsensitive) == 0) return true;
  const QString domain = QHostInfo::localDomainName();
  return !domain.isEmpty() && host.compare(name + QLatin1Char('.') + domain, Qt::CaseInsensitive) == 0;
}

}  // namespace

bool Access::token_matches(const QByteArray& token) const {
  return !token_required() || equal_in_constant_time(token, token_);
}

bool Access::authorized(const QByteArray& authorization) const {
  if (!token_required()) return true;
  // "Bearer", in any case, then the token (RFC 9110: the scheme is case-insensitive).
  const QByteArray value = authorization.trimmed();
  const qsizetype space = value.indexOf(' ');
  if (space < 0 || value.left(space).compare("bearer", Qt::CaseInsensitive) != 0) return false;
  return equal_in_constant_time(value.mid(space + 1).trimmed(), token_);
}

QString Access::site_refusal(const QByteArray& host, const QByteArray& origin, bool loopback_only) {
  const QUrl authority(QStringLiteral("http://") + QString::fromLatin1(host));
  if (host.isEmpty() || !authority.isValid() || authority.host().isEmpty() || !authority.path().isEmpty() ||
      !authority.userInfo().isEmpty())
    return QStringLiteral("the Host header names no host: %1").arg(QString::fromLatin1(host));
  if (loopback_only && !own_name(authority.host()))
    return QStringLiteral("the Host header names another site: %1 is not this machine's name (a page of another "
                          "site that had its name point here is refused)")
        .arg(QString::fromLatin1(host));
  if (origin.isEmpty()) return {};  // not a browser
  const QUrl from(QString::fromLatin1(origin));
  if (from.scheme() == QLatin1String("http") && from.host().compare(authority.host(), Qt::CaseInsensitive) == 0 &&
      from.port(80) == authority.port(80))
    return {};
  return QStringLiteral("the Origin header names a page of another site: %1 (this hub is %2)")
      .arg(QString::fromLatin1(origin), QString::fromLatin1(host));
}

std::optional<QByteArray> Access::read_private(const QString& path, qint64 max_bytes, const QString& what,
                                               QString* error) {
  if (!QFileInfo(path).isFile()) {
    *error = QFileInfo::exists(path) ? QStringLiteral("%1 is not a regular file").arg(path)
                                     : QStringLiteral("%1 does not exist").arg(path);
    return std::nullopt;
  }
  // As ssh does with a key: a secret others may read or change is no secret.
  // A link is judged by the file it leads to.
  struct stat file_stat {};
  if (::stat(QFile::encodeName(path).constData(), &file_stat) != 0) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    return std::nullopt;
  }
  if ((file_stat.st_mode & 077) != 0) {
    *error = QStringLiteral("%1 may be read or changed by others (mode %2): a %3 must be its owner's alone; "
                            "chmod 600 %1")
                 .arg(path)
                 .arg(file_stat.st_mode & 07777, 4, 8, QLatin1Char('0'))
                 .arg(what);
    return std::nullopt;
  }
  if (file_stat.st_uid != ::geteuid() && file_stat.st_uid != 0) {
    *error = QStringLiteral("%1 belongs to another user (uid %2): a %3 must be the hub's user's own; chown it")
                 .arg(path)
                 .arg(file_stat.st_uid)
                 .arg(what);
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return std::nullopt;
  }
  const QByteArray text = file.read(max_bytes + 1);
  if (text.size() > max_bytes) {
    *error = QStringLiteral("%1 is longer than %2 bytes: it holds no %3").arg(path).arg(max_bytes).arg(what);
    return std::nullopt;
  }
  return text;
}

QString Access::default_token_path() { return hub_token_path(); }

std::optional<QByteArray> Access::load_or_create(const QString& path, bool* created, QString* error) {
  *created = false;
  const QFileInfo info(path);
  if (!info.exists()) {
    if (!QDir().mkpath(info.absolutePath())) {
      *error = QStringLiteral("cannot make the folder %1").arg(info.absolutePath());
      return std::nullopt;
    }
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray token =
        QByteArray(reinterpret_cast<const char*>(words.data()), sizeof(words)).toHex();
    // Made with its mode: no moment when others may read it.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      *error = QStringLiteral("cannot make %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
      return std::nullopt;
    }
    const QByteArray text = token + '\n';
    const bool written = ::write(fd, text.constData(), static_cast<size_t>(text.size())) == text.size();
    if (::close(fd) != 0 || !written) {
      *error = QStringLiteral("cannot write %1").arg(path);
      return std::nullopt;
    }
    *created = true;
    return token;
  }
  const std::optional<QByteArray> text = read_private(path, kMaxTokenFile, QStringLiteral("token"), error);
  if (!text) return std::nullopt;
  const QByteArray token = text->trimmed();
  if (token.size() < kMinToken || token.contains('\n') || token.contains(' ')) {
    *error = QStringLiteral("%1 holds no token (one line of 16 to 4096 characters)").arg(path);
    return std::nullopt;
  }
  return token;
}

}  // namespace quadrel::hub
