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
  // The value of an "Authorization" header carries the token ("Bearer <token>",
  // the scheme in any case), compared in a time that does not depend on where it differs.
  bool authorized(const QByteArray& authorization) const;
  // The token alone, as a browser's page sends it in its first WebSocket message.
  bool token_matches(const QByteArray& token) const;

  // Why a request may not act, or nothing when it may: its "Host" must name
  // this server (on loopback only this machine's own names and addresses: a
  // page of another site that had its name point here is refused), and an
  // "Origin" a browser sends must be this server's own.
  static QString site_refusal(const QByteArray& host, const QByteArray& origin, bool loopback_only);

  // The token in `path`, made (32 random bytes, hex, mode 0600, its folder
  // created) when the file is missing. Nothing, with the reason, when it cannot
  // be read or made, holds fewer than 16 characters, or others than its owner
  // may read or change it (as ssh refuses a key: the message names the chmod).
  static std::optional<QByteArray> load_or_create(const QString& path, bool* created, QString* error);
  // A secret's file (`what`: "token", "password"), read whole: nothing, with
  // the reason, when it is no regular file, is longer than `max_bytes`, or
  // others than its owner may read or change it.
  static std::optional<QByteArray> read_private(const QString& path, qint64 max_bytes, const QString& what,
                                                QString* error);
  // $XDG_CONFIG_HOME/quadrel/hub-token (~/.config when the variable is not set).
  static QString default_token_path();

 private:
  QByteArray token_;
};

}  // namespace quadrel::hub
