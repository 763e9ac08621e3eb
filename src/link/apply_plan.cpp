#include "link/apply_plan.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <algorithm>
#include <functional>
#include <utility>

#include "link/core/catalogue.h"
#include "link/device.h"
#include "link/exit_code.h"

namespace quadrel {

namespace {

struct Commands {
  std::vector<std::string> send, read;
};

// The commands that set `field` to `to`, and the queries that read it back;
// picture values are encoded for `disp_mode`.
Commands commands_for(const Field& field, const QJsonValue& to, int disp_mode) {
  const Parameter& row = *field.row;
  int n = 0;  // the value as the commands carry it
  if (to.isDouble()) n = to.toInt();
  if (to.isBool()) n = to.toBool() ? 1 : 0;
  if (field.kind == Field::Kind::Word) n = field.names->value_of_word(to.toString()).value_or(0);
  auto one = [](std::string command, std::string query) { return Commands{{std::move(command)}, {std::move(query)}}; };

  // The mode's own reply and the reads that follow it are its read-back.
  if (row.aspect == Aspect::Mode) return {{set_command(row, n)}, {}};
  // An input goes to the current channel: the channel is made current first,
  // and its input read back.
  if (row.aspect == Aspect::Routing)
    return {{set_command(row_of(Aspect::Channel), field.channel), set_command(row, n)}, {query_command(row)}};
  if (row.form == Form::Label)
    return one(cmd::label_set(row.code, field.channel, to.toString().toStdString()), query_command(row, field.channel));
  if (row.form == Form::Picture) {
    const int channel = field.channel == 0 ? 1 : field.channel;
    return one(set_command(row, n, channel, disp_mode),
               disp_mode == mode_no::Matrix ? query_command(row) : query_command(row, channel));
  }
  if (row.form == Form::Pair) return one(set_command(row, n, field.channel), query_command(row, field.channel));
  return one(set_command(row, n), query_command(row));
}

// Where a change goes in the order the device accepts: power on first, the
// mode and the resolution (by the direction of the change), then in the
// document's order, the key lock after what it would lock, standby last.
int rank(const Field& field, const QJsonValue& to, bool mode_first) {
  switch (field.row->aspect) {
    case Aspect::Power: return to == QJsonValue(names_of(*field.row).word(1)) ? -3 : 100000;
    case Aspect::Mode: return mode_first ? -2 : -1;
    case Aspect::Resolution: return mode_first ? -1 : -2;
    case Aspect::KeyLock: return 99999;
    default: break;
  }
  // The first field of its part of the document: a part's values keep the document's order.
  const QString top = field.path.section(u'.', 0, 0);
  const auto& fields = document_fields();
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (fields[i].path.section(u'.', 0, 0) == top) return static_cast<int>(i);
  return 0;
}

}  // namespace

QString PlannedChange::describe() const {
  return path + QStringLiteral(": ") + field->text(from) + QStringLiteral(" -> ") + field->text(to);
}

QStringList PlannedChange::command_texts() const {
  QStringList texts;
  for (std::string command : commands) {
    if (!command.empty() && command.back() == '\r') command.pop_back();
    texts << QString::fromLatin1(command.data(), static_cast<qsizetype>(command.size()));
  }
  return texts;
}

QString PlannedChange::line() const { return command_texts().join(u' ') + QStringLiteral("  # ") + describe(); }

ApplyPlan plan_apply(const DeviceState& now, const WantedState& wanted) {
  ApplyPlan plan;
  const Names& modes = names_of(row_of(Aspect::Mode));
  const QJsonValue mode_word = wanted.value(QString::fromLatin1(row_of(Aspect::Mode).path));
  const std::optional<int> target = mode_word.isString() ? modes.value_of_word(mode_word.toString()) : now.mode;
  const bool mode_changes = mode_word.isString() && target != now.mode;
  const QString target_name = target ? modes.word(*target) : QStringLiteral("not known");

  // What the device cannot take in the mode it will be in.
  std::vector<int> wall_inputs;
  for (const auto& [field, value] : wanted.values) {
    const QString& path = field->path;
    const Parameter& row = *field->row;
    if (!row.per_mode || (row.modes == modes::All && row.form != Form::Picture && row.aspect != Aspect::Routing))
      continue;
    if (!target) {
      plan.errors.push_back({path, QStringLiteral("the device's mode is not known")});
    } else if (row.form == Form::Picture && field->channel == 0 && *target != mode_no::Matrix) {
      plan.errors.push_back({path, QStringLiteral("the whole picture is the Matrix mode's; the device will be in %1 "
                                                  "(picture.A to picture.D)").arg(target_name)});
    } else if (row.form == Form::Picture && field->channel != 0 && *target == mode_no::Matrix) {
      plan.errors.push_back({path, QStringLiteral("the Matrix mode has one picture (picture.all)")});
    } else if (!field->exists_in(*target)) {
      QStringList where;
      for (int m = mode_no::Matrix; m <= mode_no::Quad; ++m)
        if (row.exists_in(m)) where << modes.caption(m);
      plan.errors.push_back({path, QStringLiteral("%1 is set in the %2 mode only; the device will be in %3")
                                       .arg(part_title(path.section(u'.', 0, 0)), where.join(QStringLiteral(", ")),
                                            target_name)});
    } else if (row.aspect == Aspect::Routing && *target == mode_no::TvWall) {
      wall_inputs.push_back(value.toInt());
    }
  }
  if (std::adjacent_find(wall_inputs.begin(), wall_inputs.end(), std::not_equal_to<>()) != wall_inputs.end())
    plan.errors.push_back({QStringLiteral("routing"), QStringLiteral("the TV Wall shows one input on every output: "
                                                                     "routing.A to routing.D must be the same")});
  if (!plan.errors.empty()) return plan;

  const int disp_mode = disp_mode_of(target.value_or(mode_no::Matrix));
  bool wall_planned = false;
  for (const auto& [field, to] : wanted.values) {
    const bool needs_mode = field->row->per_mode;
    const bool unknown = needs_mode && mode_changes;  // what the new mode shows is read only once it shows
    PlannedChange change{field, field->path, unknown ? QJsonValue() : field->get(now, {}), to, {}, {}, needs_mode};
    bool held = !unknown && change.from == to;
    if (field->row->aspect == Aspect::Routing && target == mode_no::TvWall) {
      // One input feeds the whole wall: one change for all four, through output A.
      if (std::exchange(wall_planned, true)) continue;
      change.field = document_field(*field->row, 1);
      change.path = field->path.section(u'.', 0, 0);
      if (!unknown) change.from = change.field->get(now, {});
      held = !unknown && std::all_of(now.inputs.begin(), now.inputs.end(),
                                     [&to](const std::optional<int>& in) { return in == to.toInt(); });
    }
    if (held) continue;
    Commands commands = commands_for(*change.field, to, disp_mode);
    change.commands = std::move(commands.send);
    change.queries = std::move(commands.read);
    plan.changes.push_back(std::move(change));
  }
  // Towards Matrix the mode goes first, away from it the resolution.
  const bool mode_first = !target || *target == mode_no::Matrix;
  std::stable_sort(plan.changes.begin(), plan.changes.end(), [mode_first](const auto& a, const auto& b) {
    return rank(*a.field, a.to, mode_first) < rank(*b.field, b.to, mode_first);
  });
  return plan;
}

PlannedChange plan_change(const Field& field, const QJsonValue& to, int mode) {
  Commands commands = commands_for(field, to, disp_mode_of(mode));
  return {&field, field.path, QJsonValue(), to, std::move(commands.send), std::move(commands.read), false};
}

QString result_name(ChangeResult result) {
  switch (result) {
    case ChangeResult::Planned: return QStringLiteral("planned");
    case ChangeResult::Held: return QStringLiteral("held");
    case ChangeResult::NotHeld: return QStringLiteral("not held");
    case ChangeResult::Refused: return QStringLiteral("refused");
    case ChangeResult::NoAnswer: return QStringLiteral("no answer");
    case ChangeResult::LinkLost: return QStringLiteral("link lost");
    case ChangeResult::NotSent: return QStringLiteral("not sent");
    case ChangeResult::Restarting: return QStringLiteral("restarting");
  }
  return {};
}

QJsonObject ApplyReport::to_json() const {
  QJsonArray list;
  for (const AppliedChange& applied : changes) {
    const PlannedChange& c = applied.change;
    QJsonObject entry{{"path", c.path},
                      {"from", c.from},
                      {"to", c.to},
                      {"commands", QJsonArray::fromStringList(c.command_texts())},
                      {"result", result_name(applied.result)}};
    if (!applied.holds.isUndefined()) entry["holds"] = applied.holds;
    if (!applied.command.isEmpty()) entry["command"] = applied.command;
    if (!applied.message.isEmpty()) entry["message"] = applied.message;
    list.append(entry);
  }
  QJsonArray problems;
  for (const DocumentError& error : errors) problems.append(QJsonObject{{"path", error.path}, {"message", error.message}});
  return {{"dry_run", dry_run}, {"exit_code", exit_code}, {"changes", list}, {"errors", problems}};
}

ApplyReport ApplyReport::from_json(const QJsonObject& json) {
  ApplyReport report;
  report.dry_run = json.value(QLatin1String("dry_run")).toBool();
  report.exit_code = json.value(QLatin1String("exit_code")).toInt(exit_code::LinkError);
  for (const QJsonValue& value : json.value(QLatin1String("changes")).toArray()) {
    const QJsonObject entry = value.toObject();
    AppliedChange applied;
    PlannedChange& c = applied.change;
    c.path = entry.value(QLatin1String("path")).toString();
    // The TV Wall's routing is one change of all its outputs.
    c.field = document_field(c.path);
    if (!c.field) c.field = document_field(c.path + QStringLiteral(".A"));
    if (!c.field) continue;
    c.from = entry.value(QLatin1String("from"));
    c.to = entry.value(QLatin1String("to"));
    for (const QJsonValue& command : entry.value(QLatin1String("commands")).toArray())
      c.commands.push_back(command.toString().toStdString());
    applied.result = ChangeResult::NotSent;
    for (const ChangeResult r : {ChangeResult::Planned, ChangeResult::Held, ChangeResult::NotHeld, ChangeResult::Refused,
                                 ChangeResult::NoAnswer, ChangeResult::LinkLost, ChangeResult::NotSent,
                                 ChangeResult::Restarting})
      if (result_name(r) == entry.value(QLatin1String("result")).toString()) applied.result = r;
    applied.holds = entry.value(QLatin1String("holds"));
    applied.command = entry.value(QLatin1String("command")).toString();
    applied.message = entry.value(QLatin1String("message")).toString();
    report.changes.push_back(std::move(applied));
  }
  for (const QJsonValue& value : json.value(QLatin1String("errors")).toArray())
    report.errors.push_back(DocumentError{value[QLatin1String("path")].toString(), value[QLatin1String("message")].toString()});
  return report;
}

namespace {

// One run of a plan on a device.
class Run {
 public:
  Run(Device& device, const ApplyOptions& options) : d_(device), options_(options) {
    ended_ = QObject::connect(&d_, &Device::link_ended, &d_, [this](LinkEnd why, const QString& reason) {
      link_reason_ = reason;
      restarted_ = why == LinkEnd::Restarting;
    });
    changed_ = QObject::connect(&d_, &Device::changed, &d_, [this](Aspect, int) { ++reports_; });
  }
  ~Run() {
    QObject::disconnect(ended_);
    QObject::disconnect(changed_);
  }

  // Sends the change's commands and reads it back.
  QCoro::Task<AppliedChange> make(const PlannedChange& change) {
    AppliedChange applied{change, ChangeResult::Held, QJsonValue(QJsonValue::Undefined), {}, {}};
    for (const std::string& command : change.commands) {
      if (reply::code_of(command) == row_of(Aspect::Channel).code) selected_ = true;
      const ExchangeOutcome outcome = co_await send(command);
      if (outcome == ExchangeOutcome::Answered) continue;
      if (outcome == ExchangeOutcome::DeviceError) {
        applied.result = ChangeResult::Refused;
        applied.command = text(command);
        applied.message = applied.command + QStringLiteral(": refused by the device (ERR)");
        break;
      }
      co_return stop(applied, command, outcome);
    }
    const std::string restart = restarting_command(change);
    if (applied.result == ChangeResult::Held && !restart.empty()) {
      // The device restarts: read back once it answers again.
      bool back = false;
      if (options_.await_restart) back = co_await options_.await_restart();
      if (!back) {
        applied.result = options_.await_restart ? ChangeResult::NoAnswer : ChangeResult::Restarting;
        applied.command = text(restart);
        applied.message = applied.command + (options_.await_restart
                                                 ? QStringLiteral(": the device did not answer again after its restart")
                                                 : QStringLiteral(": acknowledged; the device restarts, and was not read back"));
        stopped_ = true;
        co_return applied;
      }
    }
    // Read back; a refused query leaves the value as not known.
    const int before = reports_;
    for (const std::string& query : change.queries) {
      const ExchangeOutcome outcome = co_await send(query);
      if (outcome == ExchangeOutcome::DeviceError) {
        // What it holds is not known: the device refused to say.
        applied.holds = QJsonValue();
        if (applied.result == ChangeResult::Refused) {
          applied.message += QStringLiteral("; and ") + text(query);
        } else {
          applied.result = ChangeResult::NotHeld;
          applied.command = text(query);
          applied.message = applied.command + QStringLiteral(": the device refused to report it (ERR)");
        }
        co_return applied;
      }
      if (outcome != ExchangeOutcome::Answered) co_return stop(applied, query, outcome);
    }
    const QJsonValue holds = change.queries.empty() || reports_ > before ? change.field->get(d_.state(), {}) : QJsonValue();
    if (holds == change.to && applied.result == ChangeResult::Held) co_return applied;
    applied.holds = holds;
    if (applied.result == ChangeResult::Held) {
      applied.result = ChangeResult::NotHeld;
      applied.message = change.command_texts().join(u' ') + QStringLiteral(" sent; the device holds ") +
                        change.field->text(holds);
    } else if (!holds.isNull()) {
      applied.message += QStringLiteral("; the device holds ") + change.field->text(holds);
    }
    co_return applied;
  }

  bool stopped() const { return stopped_; }
  bool selected() const { return selected_; }

 private:
  static QString text(const std::string& command) {
    std::string shown = command;
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    return QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()));
  }
  // The change's command after which the device restarts ("PWR001"), if it has one.
  static std::string restarting_command(const PlannedChange& change) {
    for (const std::string& command : change.commands) {
      const std::optional<CheckedLine> checked = check_line(command);
      if (checked && checked->row->restarts && checked->value == checked->row->restart_value) return command;
    }
    return {};
  }

  // One command through the operation that keeps the Device's own books.
  QCoro::Task<ExchangeOutcome> send(std::string command) {
    QElapsedTimer clock;
    clock.start();
    std::optional<CheckedLine> checked = check_line(command);
    if (checked && checked->kind != CheckedLine::Kind::Setting) checked.reset();
    const Aspect aspect = checked ? checked->row->aspect : Aspect::Version;
    const int value = checked ? checked->value : -1;
    ExchangeOutcome outcome;
    if (aspect == Aspect::Mode)
      outcome = co_await d_.set_mode(value);
    else if (aspect == Aspect::Power)
      outcome = co_await d_.set_power(value == 1);
    else if (aspect == Aspect::KeyLock)
      outcome = co_await d_.set_lock(value == 1);
    else if (aspect == Aspect::AudioOn)
      outcome = co_await d_.set_audio(value == 1);
    else
      outcome = co_await d_.exchange(command);
    waited_s_ = clock.elapsed() / 1000.0;
    // Over TCP the device restarts on "PWR001" and the connection drops: that
    // is its answer, which the read-back confirms.
    if (checked && checked->row->restarts && value == checked->row->restart_value &&
        outcome == ExchangeOutcome::LinkLost && restarted_)
      co_return ExchangeOutcome::Answered;
    co_return outcome;
  }

  AppliedChange stop(AppliedChange& applied, const std::string& command, ExchangeOutcome outcome) {
    stopped_ = true;
    applied.result = outcome == ExchangeOutcome::NoAnswer ? ChangeResult::NoAnswer : ChangeResult::LinkLost;
    applied.holds = QJsonValue(QJsonValue::Undefined);
    applied.command = text(command);
    applied.message = applied.command + QStringLiteral(": ") + outcome_reason(outcome, waited_s_, link_reason_);
    return applied;
  }

  Device& d_;
  const ApplyOptions& options_;
  QMetaObject::Connection ended_, changed_;
  QString link_reason_;
  bool restarted_ = false;
  int reports_ = 0;
  double waited_s_ = 0;
  bool stopped_ = false;
  bool selected_ = false;
};

int severity(ChangeResult result) {
  switch (result) {
    case ChangeResult::NotHeld:
    case ChangeResult::Refused:
    case ChangeResult::NotSent: return exit_code::Refused;
    case ChangeResult::NoAnswer: return exit_code::NoAnswer;
    case ChangeResult::LinkLost: return exit_code::LinkError;
    default: return exit_code::Done;
  }
}

}  // namespace

QCoro::Task<ApplyReport> apply_state(Device& device, WantedState wanted, ApplyOptions options) {
  ApplyPlan plan = plan_apply(device.state(), wanted);
  if (plan.errors.empty()) co_return co_await apply_changes(device, std::move(plan.changes), std::move(options));
  ApplyReport report;
  report.dry_run = options.dry_run;
  report.errors = std::move(plan.errors);
  report.exit_code = exit_code::Usage;
  co_return report;
}

QCoro::Task<ApplyReport> apply_changes(Device& device, std::vector<PlannedChange> changes, ApplyOptions options) {
  ApplyReport report;
  report.dry_run = options.dry_run;
  if (options.dry_run) {
    for (PlannedChange& change : changes) {
      report.changes.push_back({std::move(change), ChangeResult::Planned, QJsonValue(QJsonValue::Undefined), {}, {}});
      if (options.on_change) options.on_change(report.changes.back());
    }
    co_return report;
  }

  // The output the device had selected, put back at the end (the TV Wall has none).
  const int selected = device.state().mode != mode_no::TvWall ? device.state().channel.value_or(0) : 0;
  Run run(device, options);
  bool mode_reached = true;
  for (PlannedChange& change : changes) {
    AppliedChange applied;
    if (run.stopped()) {
      applied = {std::move(change), ChangeResult::NotSent, QJsonValue(QJsonValue::Undefined), {},
                 QStringLiteral("not sent: the run stopped before it")};
    } else if (change.needs_mode && !mode_reached) {
      applied = {std::move(change), ChangeResult::NotSent, QJsonValue(QJsonValue::Undefined), {},
                 QStringLiteral("not sent: the device is not in the mode asked for")};
    } else {
      applied = co_await run.make(change);
      if (change.field->row->aspect == Aspect::Mode && applied.result != ChangeResult::Held) mode_reached = false;
    }
    report.exit_code = std::max(report.exit_code, severity(applied.result));
    report.changes.push_back(std::move(applied));
    if (options.on_change) options.on_change(report.changes.back());
  }
  if (!run.stopped() && run.selected() && selected > 0 && device.state().mode != mode_no::TvWall &&
      device.state().channel != selected) {
    const ExchangeOutcome outcome = co_await device.exchange(set_command(row_of(Aspect::Channel), selected));
    if (outcome != ExchangeOutcome::Answered) report.exit_code = std::max(report.exit_code, exit_code_of(outcome));
  }
  co_return report;
}

}  // namespace quadrel
