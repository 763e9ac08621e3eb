// The setters and getters: a setter sends the device's command and reads back what it changed; a getter prints what the device holds.
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <functional>

#include "cli/client_words.h"
#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/core/parameters.h"
#include "link/state_document.h"

namespace quadrel::cli {

namespace {

// A whole number from lo to hi, nothing else.
std::optional<int> number(const QString& word, int lo, int hi) {
  bool ok = false;
  const int n = word.toInt(&ok, 10);
  if (!ok || n < lo || n > hi || word.startsWith('+')) return std::nullopt;
  return n;
}

// Document values the arguments set: each path with its value.
using Values = std::vector<std::pair<QString, QJsonValue>>;

// No values: the arguments name nothing, for this reason.
Values refuse(QString* error, const QString& why) {
  *error = why;
  return {};
}

// The value the arguments set, by the words of the command's parameters.
Values words_value(const QString& command, const QStringList& args, QString* error) {
  const std::optional<ClientMatch> match = match_words(command, args, error);
  if (!match) return {};
  if (match->path.isEmpty()) return refuse(error, QStringLiteral("%1 has no value to set").arg(command));
  return {{match->path, match->value}};
}

// Each value checked as a document's is (a label's characters); the first problem.
QString check(const Values& values) {
  for (const auto& [path, value] : values) {
    QString why;
    if (document_field(path)->read(value, &why).isUndefined()) return why + ": " + value.toVariant().toString();
  }
  return {};
}

// Sends each value's command and reads it back; `mode` encodes picture values.
QCoro::Task<int> set_values(Session& s, Values values, int mode, ApplyOptions options = {}) {
  std::vector<PlannedChange> changes;
  for (const auto& [path, value] : values) changes.push_back(plan_change(*document_field(path), value, mode));
  co_return report_failures(s, co_await apply_changes(s.device(), std::move(changes), options));
}

// Reads the mode; false, reported, when it goes unanswered.
QCoro::Task<bool> read_mode(Session& s, int* code) {
  const std::string query = query_command(row_of(Aspect::Mode));
  const ExchangeOutcome outcome = co_await s.exchange(query);
  if (outcome == ExchangeOutcome::Answered && s.state().mode) co_return true;
  *code = outcome == ExchangeOutcome::Answered ? s.fail(query, ExchangeOutcome::NoAnswer) : s.fail(query, outcome);
  co_return false;
}

// The mode's word ("quad").
QString mode_word(int mode) { return names_of(row_of(Aspect::Mode)).word(mode); }

// Prints what was read of `paths`: a line of text, or with --json a partial document.
int print_read(const Context& c, const Session& s, const QStringList& paths, const QString& text) {
  if (c.parser().isSet("json"))
    c.print_json(partial_document(s.state(), paths, c.resolutions()));
  else
    c.print(text + '\n');
  return exit_code::Done;
}

// A setter of the document's values: each is sent and read back.
class FieldSetter : public Command {
 public:
  using Command::Command;

  std::optional<DocumentValues> document_values(const Context& c, QString* error) const override {
    Values list = values(c, error);
    if (list.empty()) return std::nullopt;
    if (const QString why = check(list); !why.isEmpty()) {
      *error = why;
      return std::nullopt;
    }
    return list;
  }

 protected:
  // The values the arguments set, or nothing with the reason in `error`.
  virtual Values values(const Context& c, QString* error) const = 0;

  // Sends the values once the link is open; by default each is sent and read back.
  virtual QCoro::Task<int> set(const Context&, Session& s, const Values& list) const { co_return co_await set_values(s, list, mode_no::Matrix); }

  QCoro::Task<int> execImpl(Context& c) const override {
    QString error;
    const Values list = values(c, &error);
    if (list.empty()) co_return c.usage(error);
    if (const QString why = check(list); !why.isEmpty()) co_return c.usage(why);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    co_return co_await set(c, *s, list);
  }
};

// A setting that prints its current value when given none (--json as a document).
class Setting : public FieldSetter {
 public:
  Setting(QString name, QString description, QString arguments) : FieldSetter(name, description, arguments) {
    options_ << QCommandLineOption("json", "Without a value: print the current one as a JSON document.");
  }

 protected:
  virtual QCoro::Task<int> get(Context& c) const = 0;

  QCoro::Task<int> execImpl(Context& c) const override {
    if (c.args().isEmpty()) co_return co_await get(c);
    if (c.parser().isSet("json")) co_return c.usage("--json prints the current value: give no value");
    co_return co_await FieldSetter::execImpl(c);
  }

  // Reads the parameter that keeps `what` with its query and prints the
  // fields at `paths`, as `text` has it (by default the first field as the
  // document spells it).
  QCoro::Task<int> get_one(Context& c, Aspect what, QStringList paths, std::function<QString(const DeviceState&)> text = {}) const {
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    const std::string query = query_command(row_of(what));
    const ExchangeOutcome outcome = co_await s->exchange(query);
    if (outcome != ExchangeOutcome::Answered) co_return s->fail(query, outcome);
    const Field& field = *document_field(paths.front());
    const QJsonValue value = field.get(s->state(), c.resolutions());
    if (value.isNull()) {
      s->error(QString::fromStdString(query) + ": the device's answer names no value");
      co_return exit_code::NoAnswer;
    }
    co_return print_read(c, *s, paths, text ? text(s->state()) : field.text(value));
  }
};

// A setter of the document's values whose words are its parameters' own
// (audio, bezel, label, HDCP, aspect): each is sent and read back.
class WordsSetter : public FieldSetter {
 public:
  WordsSetter(const QString& name, const QString& description, const QString& note = {})
      : FieldSetter(name, description, usage_of(name)) {
    if (!note.isEmpty()) notes_ << note;
    min_args_ = 1;
    max_args_ = 0;
    for (const Parameter* row : rows_of(name))
      max_args_ = std::max<int>(max_args_, static_cast<int>(QString::fromLatin1(row->client).count(u' ')));
  }

 protected:
  Values values(const Context& c, QString* error) const override { return words_value(name(), c.args(), error); }
};

class Mode : public Setting {
 public:
  Mode()
      : Setting("mode", "Choose the display mode (the routing, picture and aspect are read back), or print it.",
                "[" + usage_of("mode") + "]") {
    max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override { return words_value(name(), c.args(), error); }
  QCoro::Task<int> get(Context& c) const override {
    const QStringList paths{"mode"};
    co_return co_await get_one(c, Aspect::Mode, paths);
  }
};

class Route : public Setting {
 public:
  Route()
      : Setting("route", "Route an input to an output channel of the current mode, or print the routing.",
                "[A|B|C|D [1..4]]") {
    max_args_ = 2;
    notes_ << "Without an input: the input of that output, or of every output. The output the device had selected "
              "is selected again after reading.";
  }

 protected:
  Values values(const Context& c, QString* error) const override { return words_value(name(), c.args(), error); }

  QCoro::Task<int> execImpl(Context& c) const override {
    if (c.args().size() == 1) {
      if (!output_of(c.args()[0])) co_return c.usage("not an output: " + c.args()[0]);
      co_return co_await get(c);
    }
    co_return co_await Setting::execImpl(c);
  }

  QCoro::Task<int> get(Context& c) const override {
    const int channel = c.args().isEmpty() ? 0 : output_of(c.args()[0]).value_or(0);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    DeviceReader r(*s);
    const bool read = co_await r.read_routing(channel);
    if (!read) co_return r.report();
    const Parameter& routing = row_of(Aspect::Routing);
    QStringList lines;
    for (int ch = channel ? channel : 1; ch <= (channel ? channel : 4); ++ch) {
      const auto& input = s->state().inputs[ch - 1];
      if (!input) co_return s->fail(query_command(routing), ExchangeOutcome::NoAnswer);
      lines << (channel ? QString::number(*input) : output_letter(ch) + ' ' + QString::number(*input));
    }
    const QString part = QString::fromStdString(routing.path_of(1)).section(u'.', 0, 0);
    co_return print_read(c, *s, {channel ? QString::fromStdString(routing.path_of(channel)) : part}, lines.join('\n'));
  }
};

class Resolution : public Setting {
 public:
  Resolution()
      : Setting("resolution", "Choose the output resolution by its number or its name in output_reso.txt, or print it.",
                "[1..99|NAME]") {
    max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const Parameter& row = row_of(Aspect::Resolution);
    const QString arg = c.args()[0];
    std::optional<int> n = number(arg, row.lo, row.hi);
    auto squeeze = [](QString text) { return text.remove(QLatin1Char(' ')).toLower(); };
    const auto& names = c.resolutions();
    for (std::size_t i = 0; !n && i < names.size(); ++i)
      if (squeeze(QString::fromStdString(names[i])) == squeeze(arg)) n = static_cast<int>(i) + 1;
    if (!n) return refuse(error, "not a resolution number (1 to 99) or a name from output_reso.txt: " + arg);
    return {{QString::fromLatin1(row.path), *n}};
  }

  QCoro::Task<int> set(const Context&, Session& s, const Values& list) const override {
    const int n = list.front().second.toInt();
    if (Device::is_interlaced_1080(n)) {
      // The two interlaced 1080-line resolutions are served in Matrix only.
      int code = 0;
      const bool known = co_await read_mode(s, &code);
      if (!known) co_return code;
      if (s.state().mode != mode_no::Matrix) {
        s.error(QString::fromStdString(set_command(row_of(Aspect::Resolution), n)) +
                ": 1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad");
        co_return exit_code::Refused;
      }
    }
    co_return co_await set_values(s, list, mode_no::Matrix);
  }

  QCoro::Task<int> get(Context& c) const override {
    const QStringList paths{"resolution", "resolution_name"};
    co_return co_await get_one(c, Aspect::Resolution, paths, [&c](const DeviceState& s) {
      const QJsonValue name = document_field("resolution_name")->get(s, c.resolutions());
      return QString::number(*s.resolution) + (name.isString() ? ' ' + name.toString() : QString());
    });
  }
};

class Power : public Setting {
 public:
  Power()
      : Setting("power", "Switch the device on or to standby, or print which it is in.", "[on|standby|off] [--wait]") {
    max_args_ = 1;
    options_ << QCommandLineOption("wait", "After power on: wait until the device answers again (it restarts; over "
                                           "TCP it closes the connection), at most --timeout or 60 s.");
    notes_ << "The device is asked first: one already in the state asked for is sent nothing. Switched on from "
              "standby, the device acknowledges and restarts: that is done (0), and it is read back only with "
              "--wait.";
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    // A number would be no word of the device's power: 1 on, or 1 of a list?
    if (c.args()[0] == "0" || c.args()[0] == "1") return refuse(error, "expected on, standby or off: " + c.args()[0]);
    return words_value(name(), c.args(), error);
  }

  QCoro::Task<int> set(const Context& c, Session& s, const Values& list) const override {
    // A device that is so already is sent nothing (a power-on would restart it).
    const std::string query = query_command(row_of(Aspect::Power));
    const ExchangeOutcome outcome = co_await s.exchange(query);
    if (outcome != ExchangeOutcome::Answered) co_return s.fail(query, outcome);
    if (document_field(list.front().first)->get(s.state(), {}) == list.front().second) co_return exit_code::Done;
    ApplyOptions options;
    if (c.parser().isSet("wait")) options.await_restart = [&s] { return s.await_device(s.time_left_s(kRestartWaitS)); };
    co_return co_await set_values(s, list, mode_no::Matrix, options);
  }

  QCoro::Task<int> get(Context& c) const override {
    const QStringList paths{"power"};
    co_return co_await get_one(c, Aspect::Power, paths);
  }
};

class Lock : public Setting {
 public:
  Lock()
      : Setting("lock", "Lock or unlock the device's front-panel keys, or print whether they are locked.",
                "[" + usage_of("lock") + "]") {
    max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override { return words_value(name(), c.args(), error); }
  QCoro::Task<int> get(Context& c) const override {
    const QStringList paths{"key_lock"};
    co_return co_await get_one(c, Aspect::KeyLock, paths, [](const DeviceState& s) { return *s.key_lock ? "on" : "off"; });
  }
};

class Preset : public Command {
 public:
  Preset()
      : Command("preset",
                "Save the current settings as preset N, or recall it (what it brings is read back: the mode, the "
                "routing, the picture, the aspect, the resolution and the audio).",
                usage_of("preset")) {
    min_args_ = max_args_ = 2;
  }

 protected:
  QCoro::Task<int> execImpl(Context& c) const override {
    QString why;
    const std::optional<ClientMatch> match = match_words(name(), c.args(), &why);
    if (!match) co_return c.usage(why);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    const int n = match->value.toInt();
    const bool save = match->row->aspect == Aspect::PresetSaved;
    DeviceReader r(*s);
    ExchangeOutcome outcome;
    if (save)
      outcome = co_await s->device().save_preset(n);
    else
      outcome = co_await s->device().recall_preset(n);
    r.settled(set_command(*match->row, n), outcome);
    co_return r.report();
  }
};

class Key : public Command {
 public:
  Key() : Command("key", "Press a key of the device's on-screen menu.", usage_of("key")) { min_args_ = max_args_ = 1; }

 protected:
  QCoro::Task<int> execImpl(Context& c) const override {
    QString why;
    const std::optional<ClientMatch> match = match_words(name(), c.args(), &why);
    if (!match) co_return c.usage("not a menu key: " + c.args()[0]);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    const std::vector<std::string> commands{set_command(*match->row, match->row->lo)};
    co_return co_await run_commands(*s, commands);
  }
};

class Label : public WordsSetter {
 public:
  Label() : WordsSetter("label", "Set the label of input N, or show (on) or hide (off) the labels on screen.") {
    notes_ << QStringLiteral("A label holds at most %1 printable ASCII characters.").arg(kLabelMax);
  }
};

class Picture : public Command {
 public:
  Picture()
      : Command("picture", "Set a picture value of an output, or of all of them; or reset the picture.",
                usage_of("picture") + " | reset") {
    min_args_ = 1;
    max_args_ = 3;
    notes_ << "The Matrix mode adjusts the picture as a whole: use all.";
  }

 protected:
  QCoro::Task<int> execImpl(Context& c) const override {
    const QStringList& a = c.args();
    if (a.size() == 1 && a[0].toLower() == "reset") {
      Session* s = co_await c.open();
      if (!s) co_return exit_code::LinkError;
      co_return co_await reset_picture(*s);
    }
    if (a.size() != 3) co_return c.usage("expected an output, a setting and a value, or reset");
    QString why;
    const std::optional<ClientMatch> match = match_words(name(), a, &why);
    if (!match) co_return c.usage(why);
    const bool all = match->channel == 0;
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    // The parameter depends on the mode.
    int code = 0;
    const bool known = co_await read_mode(*s, &code);
    if (!known) co_return code;
    const int mode = *s->state().mode;
    const bool matrix = mode == mode_no::Matrix;
    if (matrix && !all) co_return c.usage("the Matrix mode adjusts the picture as a whole: use all");
    Values list;
    const Parameter& row = *match->row;
    if (matrix) list.push_back({QString::fromStdString(row.path_of(0, mode_no::Matrix)), match->value});
    for (int channel = 1; !matrix && channel <= row.channels; ++channel)
      if (all || match->channel == channel) list.push_back({QString::fromStdString(row.path_of(channel, mode)), match->value});
    co_return co_await set_values(*s, list, mode);
  }

 private:
  // The picture reset, then every picture value of the mode read back: each must be 50.
  static QCoro::Task<int> reset_picture(Session& s) {
    int code = exit_code::Done;
    const bool known = co_await read_mode(s, &code);
    if (!known) co_return code;
    const int mode = *s.state().mode;
    const std::vector<std::string> commands{set_command(row_of(Aspect::PictureReset), 2)};
    code = co_await run_commands(s, commands);
    if (code != exit_code::Done) co_return code;
    DeviceReader r(s);
    const bool read = co_await s.device().picture_refresh();
    if (!read || !r.complete()) co_return r.report();
    for (const Field& field : document_fields()) {
      if (!field.row || field.row->form != Form::Picture || !field.exists_in(mode)) continue;
      const QJsonValue v = field.get(s.state(), {});
      if (v == QJsonValue(kPictureResetValue)) continue;
      s.error(QStringLiteral("%1: %2 sent; the device holds %3")
                  .arg(field.path, QString::fromStdString(set_command(row_of(Aspect::PictureReset), 2)), field.text(v)));
      code = exit_code::Refused;
    }
    co_return code;
  }
};

class Pip : public Command {
 public:
  Pip() : Command("pip", "Place, size or swap picture-in-picture A or B of the Dual PiP mode.", usage_of("pip")) {
    min_args_ = 2;
    max_args_ = 3;
  }

 protected:
  QCoro::Task<int> execImpl(Context& c) const override {
    QString why;
    const std::optional<ClientMatch> match = match_words(name(), c.args(), &why);
    if (!match) co_return c.usage(why);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    const Parameter& row = *match->row;
    if (!row.in_document) {
      const std::vector<std::string> commands{set_command(row, match->value.toInt())};
      co_return co_await run_commands(*s, commands);
    }
    // Read back in Dual PiP only, as the device shows it there.
    int code = 0;
    const bool known = co_await read_mode(*s, &code);
    if (!known) co_return code;
    if (!row.exists_in(*s->state().mode)) {
      s->error(match->path + ": PiP is set in the Dual PiP mode only; the device is in " + mode_word(*s->state().mode));
      co_return exit_code::Refused;
    }
    const Values values{{match->path, match->value}};
    co_return co_await set_values(*s, values, *s->state().mode);
  }
};

}  // namespace

void add_setters(std::vector<std::unique_ptr<Command>>& list) {
  list.push_back(std::make_unique<Mode>());
  list.push_back(std::make_unique<Route>());
  list.push_back(std::make_unique<Resolution>());
  list.push_back(std::make_unique<WordsSetter>("aspect", "Choose how the picture is fitted to the output."));
  list.push_back(std::make_unique<Power>());
  list.push_back(std::make_unique<Preset>());
  list.push_back(std::make_unique<Lock>());
  list.push_back(std::make_unique<Key>());
  list.push_back(std::make_unique<Label>());
  list.push_back(std::make_unique<WordsSetter>(
      "audio", "Switch the audio on or off, or choose its EDID format or its source.",
      "Dual A and B audio follow picture 1 (left, main) or 2 (right, sub); Quad audio follows quadrant 1 to 4."));
  list.push_back(std::make_unique<Picture>());
  list.push_back(std::make_unique<WordsSetter>(
      "bezel", "Switch the bezel correction on or off, or set its horizontal or vertical value.",
      "A value above the device's limit is cut to the limit by the device: the command then ends with 1 and names "
      "the value the device holds."));
  list.push_back(std::make_unique<WordsSetter>(
      "hdcp", "Switch HDCP of an input on or off, or let an output's HDCP follow its input or output."));
  list.push_back(std::make_unique<Pip>());
}

}  // namespace quadrel::cli
