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

constexpr std::string_view kPictureCodes[] = {code::BRI, code::CON, code::HUE, code::SAT};

struct Commands {
  std::vector<std::string> send, read;
};

// "B" or "2" as the channel, input or window it names.
int index_of(const QString& part) {
  if (const auto letter = output_of(part)) return *letter;
  return part.toInt();
}

// The commands that set `field` to `to`, and the queries that read it back;
// picture values are encoded for `disp_mode`.
Commands commands_for(const Field& field, const QJsonValue& to, int disp_mode) {
  const QStringList parts = field.path.split(u'.');
  const QString top = parts[0];
  const QString part = parts.value(1);
  int n = 0;  // the value as the commands carry it
  if (to.isDouble()) n = to.toInt();
  if (to.isBool()) n = to.toBool() ? 1 : 0;
  if (field.kind == Field::Kind::Word) n = field.names->value_of_word(to.toString()).value_or(0);
  auto one = [](std::string command, std::string query) { return Commands{{std::move(command)}, {std::move(query)}}; };

  if (top == u"power") return one(std::string(n ? cmd::PWR_ON : cmd::PWR_STANDBY), cmd::query(code::PWR));
  // The mode's own reply and the reads that follow it are its read-back.
  if (top == u"mode") return {{cmd::set(code::MOD, n)}, {}};
  // The input of the channel just made current.
  if (top == u"routing") return {{cmd::set(code::OUT, index_of(part)), cmd::set(code::INP, n)}, {cmd::query(code::INP)}};
  if (top == u"resolution") return one(cmd::set(code::RES, n), cmd::query(code::RES));
  if (top == u"aspect") return one(cmd::set(code::ASP, n), cmd::query(code::ASP));
  if (top == u"picture") {
    const int row = part == u"all" ? 1 : index_of(part);
    const std::string_view code = kPictureCodes[picture_names().value_of_word(parts[2]).value_or(0)];
    return one(cmd::set(code, cmd::picture_param(disp_mode, row, n)),
               disp_mode == mode_no::Matrix ? cmd::query(code) : cmd::query_channel(code, row));
  }
  if (top == u"bezel") {
    const std::string_view code = part == u"on" ? code::BEZ : part == u"h" ? code::BEH : code::BEV;
    return one(cmd::set(code, n), cmd::query(code));
  }
  if (top == u"audio") {
    if (part == u"on") return one(std::string(n ? cmd::AUD_ON : cmd::AUD_OFF), cmd::query(code::AUD));
    const std::string_view code = part == u"edid"     ? code::AUE
                                  : part == u"dual_a" ? code::AUA
                                  : part == u"dual_b" ? code::AUB
                                                      : code::AUQ;
    return one(cmd::set(code, n), cmd::query(code));
  }
  if (top == u"key_lock") return one(std::string(n ? cmd::LCK_LOCK : cmd::LCK_UNLOCK), cmd::query(code::LCK));
  if (top == u"hdcp") {
    const std::string_view code = part == u"inputs" ? code::HPI : code::HPO;
    const int which = index_of(parts[2]);
    return one(cmd::pair(code, which, n), cmd::query_channel(code, which));
  }
  if (top == u"labels") {
    if (part == u"shown") return one(cmd::pair(code::LAB, 0, n), cmd::query(code::LAB));
    const int input = index_of(parts[2]);
    return one(cmd::label_set(input, to.toString().toStdString()), cmd::query_channel(code::LAI, input));
  }
  // pip.A.corner, pip.B.size
  const std::string_view code = parts[2] == u"corner" ? code::PPO : code::PSZ;
  const int window = part == u"A" ? 1 : 2;
  return one(cmd::pair(code, window, n), cmd::query_channel(code, window));
}

// Where a change goes in the order the device accepts.
int rank(const QString& path, const QJsonValue& to, bool mode_first) {
  const QString top = path.section(u'.', 0, 0);
  if (top == u"power") return to == QJsonValue(QStringLiteral("on")) ? 0 : 12;
  if (top == u"mode") return mode_first ? 1 : 2;
  if (top == u"resolution") return mode_first ? 2 : 1;
  static const QStringList kOrder = {"routing", "aspect", "picture", "bezel", "audio", "hdcp", "labels", "pip", "key_lock"};
  return 3 + static_cast<int>(kOrder.indexOf(top));
}

// Values whose meaning or whose reading depend on the mode.
bool depends_on_mode(const QString& path) {
  const QString top = path.section(u'.', 0, 0);
  return top == u"routing" || top == u"aspect" || top == u"picture" || top == u"pip";
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
  const QJsonValue mode_word = wanted.value(QStringLiteral("mode"));
  const std::optional<int> target = mode_word.isString() ? mode_names().value_of_word(mode_word.toString()) : now.mode;
  const bool mode_changes = mode_word.isString() && target != now.mode;
  const QString target_name = target ? mode_names().word(*target) : QStringLiteral("not known");

  // What the device cannot take in the mode it will be in.
  std::vector<int> wall_inputs;
  for (const auto& [field, value] : wanted.values) {
    const QString& path = field->path;
    if (!depends_on_mode(path) || path == u"aspect") continue;
    if (!target) {
      plan.errors.push_back({path, QStringLiteral("the device's mode is not known")});
    } else if (path.startsWith(u"picture.all.") && *target != mode_no::Matrix) {
      plan.errors.push_back({path, QStringLiteral("the whole picture is the Matrix mode's; the device will be in %1 "
                                                  "(picture.A to picture.D)").arg(target_name)});
    } else if (path.startsWith(u"picture.") && !path.startsWith(u"picture.all.") && *target == mode_no::Matrix) {
      plan.errors.push_back({path, QStringLiteral("the Matrix mode has one picture (picture.all)")});
    } else if (path.startsWith(u"pip.") && *target != mode_no::DualPip) {
      plan.errors.push_back({path, QStringLiteral("PiP is set in the Dual PiP mode only; the device will be in %1")
                                       .arg(target_name)});
    } else if (path.startsWith(u"routing.") && *target == mode_no::TvWall) {
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
    const bool needs_mode = depends_on_mode(field->path);
    const bool unknown = needs_mode && mode_changes;  // what the new mode shows is read only once it shows
    PlannedChange change{field, field->path, unknown ? QJsonValue() : field->get(now, {}), to, {}, {}, needs_mode};
    bool held = !unknown && change.from == to;
    if (field->path.startsWith(u"routing.") && target == mode_no::TvWall) {
      // One input feeds the whole wall: one change for all four, through output A.
      if (std::exchange(wall_planned, true)) continue;
      change.field = document_field(QStringLiteral("routing.A"));
      change.path = QStringLiteral("routing");
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
    return rank(a.path, a.to, mode_first) < rank(b.path, b.to, mode_first);
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
  AppliedChange make(const PlannedChange& change) {
    AppliedChange applied{change, ChangeResult::Held, QJsonValue(QJsonValue::Undefined), {}, {}};
    for (const std::string& command : change.commands) {
      if (command.rfind(code::OUT, 0) == 0) selected_ = true;
      const ExchangeOutcome outcome = send(command, change);
      if (outcome == ExchangeOutcome::Answered) continue;
      if (outcome == ExchangeOutcome::DeviceError) {
        applied.result = ChangeResult::Refused;
        applied.command = text(command);
        applied.message = applied.command + QStringLiteral(": refused by the device (ERR)");
        break;
      }
      return stop(applied, command, outcome);
    }
    if (applied.result == ChangeResult::Held && command_of(change, code::PWR) == cmd::PWR_ON) {
      // The device restarts: read back once it answers again.
      const bool back = options_.await_restart && options_.await_restart();
      if (!back) {
        applied.result = options_.await_restart ? ChangeResult::NoAnswer : ChangeResult::Restarting;
        applied.command = text(std::string(cmd::PWR_ON));
        applied.message = applied.command + (options_.await_restart
                                                 ? QStringLiteral(": the device did not answer again after its restart")
                                                 : QStringLiteral(": acknowledged; the device restarts, and was not read back"));
        stopped_ = true;
        return applied;
      }
    }
    // Read back; a refused query leaves the value as not known.
    const int before = reports_;
    for (const std::string& query : change.queries) {
      const ExchangeOutcome outcome = send(query, change);
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
        return applied;
      }
      if (outcome != ExchangeOutcome::Answered) return stop(applied, query, outcome);
    }
    const QJsonValue holds = change.queries.empty() || reports_ > before ? change.field->get(d_.state(), {}) : QJsonValue();
    if (holds == change.to && applied.result == ChangeResult::Held) return applied;
    applied.holds = holds;
    if (applied.result == ChangeResult::Held) {
      applied.result = ChangeResult::NotHeld;
      applied.message = change.command_texts().join(u' ') + QStringLiteral(" sent; the device holds ") +
                        change.field->text(holds);
    } else if (!holds.isNull()) {
      applied.message += QStringLiteral("; the device holds ") + change.field->text(holds);
    }
    return applied;
  }

  bool stopped() const { return stopped_; }
  bool selected() const { return selected_; }

 private:
  static QString text(const std::string& command) {
    std::string shown = command;
    if (!shown.empty() && shown.back() == '\r') shown.pop_back();
    return QString::fromLatin1(shown.data(), static_cast<qsizetype>(shown.size()));
  }
  static std::string command_of(const PlannedChange& change, std::string_view code) {
    for (const std::string& command : change.commands)
      if (command.rfind(code, 0) == 0) return command;
    return {};
  }

  // One command through the operation that keeps the Device's own books.
  ExchangeOutcome send(const std::string& command, const PlannedChange& change) {
    QElapsedTimer clock;
    clock.start();
    const std::string_view code = reply::code_of(command);
    ExchangeOutcome outcome;
    if (code == code::MOD)
      outcome = d_.set_mode(mode_names().value_of_word(change.to.toString()).value_or(0));
    else if (command == cmd::PWR_ON || command == cmd::PWR_STANDBY)
      outcome = d_.set_power(command == cmd::PWR_ON);
    else if (command == cmd::LCK_LOCK || command == cmd::LCK_UNLOCK)
      outcome = d_.set_lock(command == cmd::LCK_LOCK);
    else if (command == cmd::AUD_ON || command == cmd::AUD_OFF)
      outcome = d_.set_audio(command == cmd::AUD_ON);
    else
      outcome = d_.exchange(command);
    waited_s_ = clock.elapsed() / 1000.0;
    // Over TCP the device restarts on "PWR001" and the connection drops: that
    // is its answer, which the read-back confirms.
    if (command == cmd::PWR_ON && outcome == ExchangeOutcome::LinkLost && restarted_) return ExchangeOutcome::Answered;
    return outcome;
  }

  AppliedChange& stop(AppliedChange& applied, const std::string& command, ExchangeOutcome outcome) {
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

ApplyReport apply_state(Device& device, const WantedState& wanted, const ApplyOptions& options) {
  ApplyPlan plan = plan_apply(device.state(), wanted);
  if (plan.errors.empty()) return apply_changes(device, std::move(plan.changes), options);
  ApplyReport report;
  report.dry_run = options.dry_run;
  report.errors = std::move(plan.errors);
  report.exit_code = exit_code::Usage;
  return report;
}

ApplyReport apply_changes(Device& device, std::vector<PlannedChange> changes, const ApplyOptions& options) {
  ApplyReport report;
  report.dry_run = options.dry_run;
  if (options.dry_run) {
    for (PlannedChange& change : changes) {
      report.changes.push_back({std::move(change), ChangeResult::Planned, QJsonValue(QJsonValue::Undefined), {}, {}});
      if (options.on_change) options.on_change(report.changes.back());
    }
    return report;
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
      applied = run.make(change);
      if (change.path == u"mode" && applied.result != ChangeResult::Held) mode_reached = false;
    }
    report.exit_code = std::max(report.exit_code, severity(applied.result));
    report.changes.push_back(std::move(applied));
    if (options.on_change) options.on_change(report.changes.back());
  }
  if (!run.stopped() && run.selected() && selected > 0 && device.state().mode != mode_no::TvWall &&
      device.state().channel != selected) {
    const ExchangeOutcome outcome = device.exchange(cmd::set(code::OUT, selected));
    if (outcome != ExchangeOutcome::Answered) report.exit_code = std::max(report.exit_code, exit_code_of(outcome));
  }
  return report;
}

}  // namespace quadrel
