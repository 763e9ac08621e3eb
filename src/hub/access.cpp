#include "hub/access.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QUrl>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
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

bool loopback_name(const QString& host) {
  if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) return true;
  const QHostAddress address(host);
  return !address.isNull() && address.isLoopback();
}

}  // namespace

bool Access::token_matches(const QByteArray& token) const {
  return !token_required() || equal_in_constant_time(token, token_);
}

bool Access::authorized(const QByteArray& authorization) const {
  if (!token_required()) return true;
  static const QByteArray kBearer("Bearer ");
  if (!authorization.startsWith(kBearer)) return false;
  return equal_in_constant_time(authorization.mid(kBearer.size()).trimmed(), token_);
}

bool Access::same_site(const QByteArray& host, const QByteArray& origin, bool loopback_only) const {
  if (host.isEmpty()) return false;
  const QUrl authority(QStringLiteral("http://") + QString::fromLatin1(host));
  if (!authority.isValid() || authority.host().isEmpty()) return false;
  if (loopback_only && !loopback_name(authority.host())) return false;
  if (origin.isEmpty()) return true;  // not a browser
  const QUrl from(QString::fromLatin1(origin));
  return from.scheme() == QLatin1String("http") && from.host() == authority.host() &&
         from.port(80) == authority.port(80);
}

QString Access::default_token_path() {
  return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
      .filePath(QStringLiteral("quadrel/hub-token"));
}

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
  if (!info.isFile()) {
    *error = QStringLiteral("%1 is not a regular file").arg(path);
    return std::nullopt;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return std::nullopt;
  }
  const QByteArray token = file.read(kMaxTokenFile + 1).trimmed();
  if (file.size() > kMaxTokenFile || token.size() < kMinToken || token.contains('\n') || token.contains(' ')) {
    *error = QStringLiteral("%1 holds no token (one line of 16 to 4096 characters)").arg(path);
    return std::nullopt;
  }
  return token;
}

}  // namespace quadrel::hub
