// Who may use the hub's HTTP and WebSocket API: the token, and requests from pages of other sites.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <optional>

namespace quadrel::hub {

class Access {
 public:
  // No token: only this machine can reach the API (it listens on loopback).
  Access() = default;
  explicit Access(QByteArray token) : token_(std::move(token)) {}

  bool token_required() const { return !token_.isEmpty(); }
  // The value of an "Authorization" header carries the token ("Bearer <token>"),
  // compared in a time that does not depend on where it differs.
  bool authorized(const QByteArray& authorization) const;
  // The token alone, as a browser's page sends it in its first WebSocket message.
  bool token_matches(const QByteArray& token) const;

  // Whether a request may act: its "Host" names this server (on loopback only
  // a loopback name: a page of another site that had its name point here is
  // refused), and an "Origin" a browser sends is this server's own.
  bool same_site(const QByteArray& host, const QByteArray& origin, bool loopback_only) const;

  // The token in `path`, made (32 random bytes, hex, mode 0600, its folder
  // created) when the file is missing. Nothing, with the reason, when it cannot
  // be read or made, or holds fewer than 16 characters.
  static std::optional<QByteArray> load_or_create(const QString& path, bool* created, QString* error);
  // $XDG_CONFIG_HOME/quadrel/hub-token (~/.config when the variable is not set).
  static QString default_token_path();

 private:
  QByteArray token_;
};

}  // namespace quadrel::hub
