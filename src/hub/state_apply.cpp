// Provisional: the client's own apply engine replaces this once it is in the link library.
#include "hub/state_apply.h"

#include <QJsonArray>

#include "hub/shared_link.h"
#include "link/apply_plan.h"
#include "link/core/catalogue.h"
#include "link/state_document.h"

namespace quadrel::hub {

namespace {

// Every key a state document may have, in any mode.
QJsonObject every_key() {
  static const QJsonObject keys = [] {
    DeviceState s;
    s.version = s.version2 = s.ip = s.mask = s.gateway = std::string("x");
    s.mode = mode_no::DualPip;
    for (auto& label : s.labels) label = std::string("x");
    for (auto& p : s.pip_corner) p = 0;
    QJsonObject all = to_json(s, {});
    QJsonObject picture = all["picture"].toObject();
    s.mode = mode_no::Matrix;
    picture["all"] = to_json(s, {})["picture"].toObject()["all"];
    all["picture"] = picture;
    return all;
  }();
  return keys;
}

void find_unknown(const QJsonObject& doc, const QJsonObject& known, const QString& path, QStringList* out) {
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    const QString where = path.isEmpty() ? it.key() : path + '.' + it.key();
    if (!known.contains(it.key())) {
      out->append(where);
    } else if (it.value().isObject() && known[it.key()].isObject()) {
      find_unknown(it.value().toObject(), known[it.key()].toObject(), where, out);
    }
  }
}

int exit_of(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::Answered: return 0;
    case ExchangeOutcome::DeviceError: return 1;
    case ExchangeOutcome::NoAnswer: return 2;
    default: return 3;
  }
}

QJsonArray strings(const std::vector<std::string>& list) {
  QJsonArray out;
  for (std::string text : list) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    out.append(QString::fromStdString(text));
  }
  return out;
}

// Sends each change; the first that does not end with its answer ends the run.
// What the device confirms reaches every client of the hub.
int run(SharedLink& link, const std::vector<PlannedChange>& changes, QJsonArray* report) {
  Device& device = link.device();
  for (const PlannedChange& change : changes) {
    QJsonObject entry{{"change", change.describe()}, {"commands", strings(change.commands)}};
    for (const std::string& command : change.commands) {
      ExchangeOutcome outcome = device.exchange(command);
      if (outcome == ExchangeOutcome::NoAnswer && reply::code_of(command) == code::MOD)
        outcome = device.await_late_reply();
      if (outcome == ExchangeOutcome::Answered) {
        emit link.confirmed(QByteArray::fromStdString(device.link().last_reply()), &link);
        continue;
      }
      entry["failed"] = QString::fromStdString(command).remove('\r');
      report->append(entry);
      return exit_of(outcome);
    }
    report->append(entry);
  }
  return 0;
}

}  // namespace

QStringList unknown_keys(const QJsonObject& document) {
  QStringList out;
  find_unknown(document, every_key(), {}, &out);
  return out;
}

int http_status(int exit_code) {
  switch (exit_code) {
    case 0: return 200;
    case 1: return 409;
    case 2: return 504;
    case 3: return 503;
    default: return 422;
  }
}

ApplyOutcome apply_state(SharedLink& link, const QJsonObject& document) {
  ApplyOutcome out;
  QJsonArray changes, errors;
  auto finish = [&](int code) {
    out.exit_code = code;
    out.report = QJsonObject{{"changes", changes}, {"errors", errors}};
    return out;
  };
  const QStringList unknown = unknown_keys(document);
  for (const QString& key : unknown) errors.append(QStringLiteral("%1: unknown key").arg(key));
  if (!unknown.isEmpty()) return finish(64);
  QString why;
  const std::optional<DeviceState> want = from_json(document, &why);
  if (!want) {
    errors.append(why);
    return finish(64);
  }
  Device& device = link.device();
  if (!device.link_open() || !link.up()) {
    errors.append(QStringLiteral("the link to the device is not open"));
    return finish(3);
  }
  const std::vector<PlannedChange> first = plan_mode(device.state(), *want);
  if (int code = run(link, first, &changes); code != 0) return finish(code);
  if (!first.empty()) link.read_after_mode_change();
  if (int code = run(link, plan_settings(device.state(), *want), &changes); code != 0) return finish(code);
  // Verified: what the device's replies say it holds now is what was asked.
  std::vector<PlannedChange> left = plan_mode(device.state(), *want);
  for (PlannedChange& change : plan_settings(device.state(), *want)) left.push_back(std::move(change));
  for (const PlannedChange& change : left) errors.append(QStringLiteral("the device holds %1").arg(change.describe()));
  return finish(left.empty() ? 0 : 1);
}

}  // namespace quadrel::hub
