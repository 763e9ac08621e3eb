// The setters and getters: a setter sends the device's command and reads back what it changed; a getter prints what the device holds.
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <functional>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/core/catalogue.h"
#include "link/state_document.h"

namespace quadrel::cli {

namespace {

std::optional<int> on_off(const QString& word) {
  const QString w = word.toLower();
  if (w == "on") return 1;
  if (w == "off") return 0;
  return std::nullopt;
}

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

// Each value checked as a document's is (a label's characters); the first problem.
QString check(const Values& values) {
  for (const auto& [path, value] : values) {
    QString why;
    if (document_field(path)->read(value, &why).isUndefined()) return why + ": " + value.toVariant().toString();
  }
  return {};
}

// Sends each value's command and reads it back; `mode` encodes picture values.
int set_values(Session& s, const Values& values, int mode, const ApplyOptions& options = {}) {
  std::vector<PlannedChange> changes;
  for (const auto& [path, value] : values) changes.push_back(plan_change(*document_field(path), value, mode));
  return report_failures(s, apply_changes(s.device(), std::move(changes), options));
}

// Reads the mode ("MOD999"); false, reported, when it goes unanswered.
bool read_mode(Session& s, int* code) {
  const std::string query = cmd::query(code::MOD);
  const ExchangeOutcome outcome = s.exchange(query);
  if (outcome == ExchangeOutcome::Answered && s.state().mode) return true;
  *code = outcome == ExchangeOutcome::Answered ? s.fail(query, ExchangeOutcome::NoAnswer) : s.fail(query, outcome);
  return false;
}

// Prints what was read of `paths`: a line of text, or with --json a partial document.
int print_read(const Context& c, const Session& s, const QStringList& paths, const QString& text) {
  if (c.parser().isSet("json"))
    c.print_json(partial_document(s.state(), paths, c.resolutions()));
  else
    c.print(text + '\n');
  return exit_code::Done;
}

// A setter whose arguments become a fixed list of commands, sent as they are.
class SimpleSetter : public Command {
 public:
  using Command::Command;

 protected:
  // The commands for the arguments, or nothing with the reason in `error`.
  virtual std::vector<std::string> commands(const Context& c, QString* error) const = 0;

  int execImpl(Context& c) const override {
    QString error;
    const std::vector<std::string> list = commands(c, &error);
    if (list.empty()) return c.usage(error);
    Session* s = c.open();
    return s ? run_commands(*s, list) : exit_code::LinkError;
  }
};

// A setter of the document's values: each is sent and read back.
class FieldSetter : public Command {
 public:
  using Command::Command;

 protected:
  // The values the arguments set, or nothing with the reason in `error`.
  virtual Values values(const Context& c, QString* error) const = 0;

  // Sends the values once the link is open; by default each is sent and read back.
  virtual int set(const Context&, Session& s, const Values& list) const { return set_values(s, list, mode_no::Matrix); }

  int execImpl(Context& c) const override {
    QString error;
    const Values list = values(c, &error);
    if (list.empty()) return c.usage(error);
    if (const QString why = check(list); !why.isEmpty()) return c.usage(why);
    Session* s = c.open();
    return s ? set(c, *s, list) : exit_code::LinkError;
  }
};

// A setting that prints its current value when given none (--json as a document).
class Setting : public FieldSetter {
 public:
  Setting(QString name, QString description, QString arguments) : FieldSetter(name, description, arguments) {
    options_ << QCommandLineOption("json", "Without a value: print the current one as a JSON document.");
  }

 protected:
  virtual int get(Context& c) const = 0;

  int execImpl(Context& c) const override {
    if (c.args().isEmpty()) return get(c);
    if (c.parser().isSet("json")) return c.usage("--json prints the current value: give no value");
    return FieldSetter::execImpl(c);
  }

  // Reads one setting with its query and prints the fields at `paths`, as
  // `text` has it (by default the first field as the document spells it).
  int get_one(Context& c, std::string_view code, const QStringList& paths,
              const std::function<QString(const DeviceState&)>& text = {}) const {
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const std::string query = cmd::query(code);
    const ExchangeOutcome outcome = s->exchange(query);
    if (outcome != ExchangeOutcome::Answered) return s->fail(query, outcome);
    const Field& field = *document_field(paths.front());
    const QJsonValue value = field.get(s->state(), c.resolutions());
    if (value.isNull()) {
      s->error(QString::fromStdString(query) + ": the device's answer names no value");
      return exit_code::NoAnswer;
    }
    return print_read(c, *s, paths, text ? text(s->state()) : field.text(value));
  }
};

class Mode : public Setting {
 public:
  Mode()
      : Setting("mode", "Choose the display mode (the routing, picture and aspect are read back), or print it.",
                "[" + mode_names().choices() + "]") {
    max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const auto mode = mode_names().value_of(c.args()[0]);
    if (!mode) return refuse(error, "not a display mode: " + c.args()[0]);
    return {{"mode", mode_names().word(*mode)}};
  }
  int get(Context& c) const override { return get_one(c, code::MOD, {"mode"}); }
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
  Values values(const Context& c, QString* error) const override {
    const auto out = output_of(c.args()[0]);
    if (!out) return refuse(error, "not an output: " + c.args()[0]);
    if (c.args().size() < 2) return {};
    const auto in = number(c.args()[1], 1, 4);
    if (!in) return refuse(error, "not an input: " + c.args()[1]);
    return {{"routing." + output_letter(*out), *in}};
  }

  int execImpl(Context& c) const override {
    if (c.args().size() == 1) {
      if (!output_of(c.args()[0])) return c.usage("not an output: " + c.args()[0]);
      return get(c);
    }
    return Setting::execImpl(c);
  }

  int get(Context& c) const override {
    const int channel = c.args().isEmpty() ? 0 : output_of(c.args()[0]).value_or(0);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    DeviceReader r(*s);
    if (!r.read_routing(channel)) return r.report();
    QStringList lines;
    for (int ch = channel ? channel : 1; ch <= (channel ? channel : 4); ++ch) {
      const auto& input = s->state().inputs[ch - 1];
      if (!input) return s->fail(cmd::query(code::INP), ExchangeOutcome::NoAnswer);
      lines << (channel ? QString::number(*input) : output_letter(ch) + ' ' + QString::number(*input));
    }
    return print_read(c, *s, {channel ? "routing." + output_letter(channel) : "routing"}, lines.join('\n'));
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
    const QString arg = c.args()[0];
    std::optional<int> n = number(arg, 1, 99);
    auto squeeze = [](QString text) { return text.remove(QLatin1Char(' ')).toLower(); };
    const auto& names = c.resolutions();
    for (std::size_t i = 0; !n && i < names.size(); ++i)
      if (squeeze(QString::fromStdString(names[i])) == squeeze(arg)) n = static_cast<int>(i) + 1;
    if (!n) return refuse(error, "not a resolution number (1 to 99) or a name from output_reso.txt: " + arg);
    return {{"resolution", *n}};
  }

  int set(const Context&, Session& s, const Values& list) const override {
    const int n = list.front().second.toInt();
    if (Device::is_interlaced_1080(n)) {
      // The two interlaced 1080-line resolutions are served in Matrix only.
      int code = 0;
      if (!read_mode(s, &code)) return code;
      if (s.state().mode != mode_no::Matrix) {
        s.error(QString::fromStdString(cmd::set(code::RES, n)) +
                ": 1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad");
        return exit_code::Refused;
      }
    }
    return set_values(s, list, mode_no::Matrix);
  }

  int get(Context& c) const override {
    return get_one(c, code::RES, {"resolution", "resolution_name"}, [&c](const DeviceState& s) {
      const QJsonValue name = document_field("resolution_name")->get(s, c.resolutions());
      return QString::number(*s.resolution) + (name.isString() ? ' ' + name.toString() : QString());
    });
  }
};

class Aspect : public FieldSetter {
 public:
  Aspect() : FieldSetter("aspect", "Choose how the picture is fitted to the output.", aspect_names().choices()) {
    min_args_ = max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const auto v = aspect_names().value_of(c.args()[0]);
    if (!v) return refuse(error, "not an aspect: " + c.args()[0]);
    return {{"aspect", aspect_names().word(*v)}};
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
    const auto v = power_names().value_of(c.args()[0]);
    if (!v || c.args()[0] == "0" || c.args()[0] == "1") return refuse(error, "expected on, standby or off: " + c.args()[0]);
    return {{"power", power_names().word(*v)}};
  }

  int set(const Context& c, Session& s, const Values& list) const override {
    // A device that is so already is sent nothing (a power-on would restart it).
    const std::string query = cmd::query(code::PWR);
    if (const ExchangeOutcome outcome = s.exchange(query); outcome != ExchangeOutcome::Answered)
      return s.fail(query, outcome);
    if (document_field("power")->get(s.state(), {}) == list.front().second) return exit_code::Done;
    ApplyOptions options;
    if (c.parser().isSet("wait")) options.await_restart = [&s] { return s.await_device(s.time_left_s(kRestartWaitS)); };
    return set_values(s, list, mode_no::Matrix, options);
  }

  int get(Context& c) const override { return get_one(c, code::PWR, {"power"}); }
};

class Lock : public Setting {
 public:
  Lock() : Setting("lock", "Lock or unlock the device's front-panel keys, or print whether they are locked.", "[on|off]") {
    max_args_ = 1;
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const auto v = on_off(c.args()[0]);
    if (!v) return refuse(error, "expected on or off: " + c.args()[0]);
    return {{"key_lock", *v == 1}};
  }
  int get(Context& c) const override {
    return get_one(c, code::LCK, {"key_lock"}, [](const DeviceState& s) { return *s.key_lock ? "on" : "off"; });
  }
};

class Preset : public Command {
 public:
  Preset()
      : Command("preset", "Save the current settings as preset N, or recall it (the routing is read back).",
                "save|recall 1..4") {
    min_args_ = max_args_ = 2;
  }

 protected:
  int execImpl(Context& c) const override {
    const QString verb = c.args()[0].toLower();
    const auto n = number(c.args()[1], 1, 4);
    if (verb != "save" && verb != "recall") return c.usage("expected save or recall: " + c.args()[0]);
    if (!n) return c.usage("not a preset: " + c.args()[1]);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const bool save = verb == "save";
    DeviceReader r(*s);
    const ExchangeOutcome outcome = save ? s->device().save_preset(*n) : s->device().recall_preset(*n);
    r.settled(cmd::set(save ? code::SAV : code::CAL, *n), outcome);
    return r.report();
  }
};

class Key : public SimpleSetter {
 public:
  Key() : SimpleSetter("key", "Press a key of the device's on-screen menu.", key_names().choices()) {
    min_args_ = max_args_ = 1;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    static constexpr std::string_view kKeys[] = {cmd::MENU_MENU, cmd::MENU_EXIT, cmd::MENU_OK,   cmd::MENU_UP,
                                                 cmd::MENU_DOWN, cmd::MENU_LEFT, cmd::MENU_RIGHT};
    const auto v = key_names().value_of(c.args()[0]);
    if (!v) {
      *error = "not a menu key: " + c.args()[0];
      return {};
    }
    return {std::string(kKeys[*v])};
  }
};

class Label : public FieldSetter {
 public:
  Label()
      : FieldSetter("label", "Set the label of input N, or show (on) or hide (off) the labels on screen.",
                    "on|off | 1..4 TEXT") {
    min_args_ = 1;
    max_args_ = 2;
    notes_ << "A label holds at most 12 printable ASCII characters.";
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    if (c.args().size() == 1) {
      const auto v = on_off(c.args()[0]);
      if (!v) return refuse(error, "expected on, off or an input and a text: " + c.args()[0]);
      return {{"labels.shown", *v == 1}};
    }
    const auto input = number(c.args()[0], 1, 4);
    if (!input) return refuse(error, "not an input: " + c.args()[0]);
    return {{"labels.text." + QString::number(*input), c.args()[1]}};
  }
};

class Audio : public FieldSetter {
 public:
  Audio()
      : FieldSetter("audio", "Switch the audio on or off, or choose its EDID format or its source.",
                    "on|off | edid FORMAT | dual-a|dual-b 1|2 | quad 1..4") {
    min_args_ = 1;
    max_args_ = 2;
    notes_ << "FORMAT: " + edid_names().choices() + ". Dual A and B audio follow picture 1 (left, main) or 2 "
              "(right, sub); Quad audio follows quadrant 1 to 4.";
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    if (a.size() == 1) {
      const auto v = on_off(a[0]);
      if (!v) return refuse(error, "expected on or off: " + a[0]);
      return {{"audio.on", *v == 1}};
    }
    const QString what = a[0].toLower();
    const QString value = a[1].toLower();
    if (what == "edid") {
      const auto v = edid_names().value_of(value);
      if (!v) return refuse(error, "not a value of edid: " + a[1]);
      return {{"audio.edid", edid_names().word(*v)}};
    }
    std::optional<int> v;
    QString path;
    if (what == "dual-a" || what == "dual-b") {
      path = what == "dual-a" ? "audio.dual_a" : "audio.dual_b";
      v = value == "left" || value == "main" ? 1 : value == "right" || value == "sub" ? 2 : number(value, 1, 2);
    } else if (what == "quad") {
      path = "audio.quad";
      v = number(value.startsWith('q') ? value.mid(1) : value, 1, 4);
    } else {
      return refuse(error, "expected on, off, edid, dual-a, dual-b or quad: " + a[0]);
    }
    if (!v) return refuse(error, "not a value of " + what + ": " + a[1]);
    return {{path, *v}};
  }
};

class Picture : public Command {
 public:
  Picture()
      : Command("picture", "Set a picture value of an output, or of all of them; or reset the picture.",
                "A|B|C|D|all SETTING 0..100 | reset") {
    min_args_ = 1;
    max_args_ = 3;
    notes_ << "SETTING: " + picture_names().choices() + ". The Matrix mode adjusts the picture as a whole: use all.";
  }

 protected:
  int execImpl(Context& c) const override {
    const QStringList& a = c.args();
    if (a.size() == 1 && a[0].toLower() == "reset") {
      Session* s = c.open();
      return s ? reset_picture(*s) : exit_code::LinkError;
    }
    if (a.size() != 3) return c.usage("expected an output, a setting and a value, or reset");
    const bool all = a[0].toLower() == "all";
    const int out = output_of(a[0]).value_or(0);
    const int which = picture_names().value_of(a[1]).value_or(-1);
    const int value = number(a[2], 0, kPictureMax).value_or(-1);
    if (!all && out == 0) return c.usage("not an output: " + a[0]);
    if (which < 0) return c.usage("not a picture setting: " + a[1]);
    if (value < 0) return c.usage("not a value from 0 to 100: " + a[2]);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    // The parameter depends on the mode.
    int code = 0;
    if (!read_mode(*s, &code)) return code;
    const int mode = *s->state().mode;
    const bool matrix = mode == mode_no::Matrix;
    if (matrix && !all) return c.usage("the Matrix mode adjusts the picture as a whole: use all");
    Values list;
    const QString setting = picture_names().word(which);
    if (matrix) list.push_back({"picture.all." + setting, value});
    for (int row = 1; !matrix && row <= 4; ++row)
      if (all || out == row) list.push_back({"picture." + output_letter(row) + "." + setting, value});
    return set_values(*s, list, mode);
  }

 private:
  // "RST002", then every picture value of the mode read back: each must be 50.
  static int reset_picture(Session& s) {
    int code = exit_code::Done;
    if (!read_mode(s, &code)) return code;
    const bool matrix = s.state().mode == mode_no::Matrix;
    if ((code = run_commands(s, {std::string(cmd::RST_PICTURE)})) != exit_code::Done) return code;
    DeviceReader r(s);
    if (!s.device().picture_refresh() || !r.complete()) return r.report();
    for (int row = 1; row <= (matrix ? 1 : 4); ++row)
      for (int which = 0; which < 4; ++which) {
        const auto& v = picture_field(s.state().picture[row - 1], which);
        if (v == kPictureResetValue) continue;
        s.error(QStringLiteral("picture.%1.%2: RST002 sent; the device holds %3")
                    .arg(matrix ? QStringLiteral("all") : output_letter(row), picture_names().word(which),
                         v ? QString::number(*v) : QStringLiteral("?")));
        code = exit_code::Refused;
      }
    return code;
  }
};

class Bezel : public FieldSetter {
 public:
  Bezel()
      : FieldSetter("bezel", "Switch the bezel correction on or off, or set its horizontal or vertical value.",
                    "on|off | h|v 0..254") {
    min_args_ = 1;
    max_args_ = 2;
    notes_ << "A value above the device's limit is cut to the limit by the device: the command then ends with 1 "
              "and names the value the device holds.";
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    if (a.size() == 1) {
      const auto v = on_off(a[0]);
      if (!v) return refuse(error, "expected on or off: " + a[0]);
      return {{"bezel.on", *v == 1}};
    }
    const QString axis = a[0].toLower();
    const auto v = number(a[1], 0, kBezelMax);
    if (axis != "h" && axis != "v") return refuse(error, "expected h or v: " + a[0]);
    if (!v) return refuse(error, "not a correction from 0 to 254: " + a[1]);
    return {{"bezel." + axis, *v}};
  }
};

class Hdcp : public FieldSetter {
 public:
  Hdcp()
      : FieldSetter("hdcp", "Switch HDCP of an input on or off, or let an output's HDCP follow its input or output.",
                    "input 1..4 on|off | output A..D input|output") {
    min_args_ = max_args_ = 3;
  }

 protected:
  Values values(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    const QString side = a[0].toLower();
    if (side == "input") {
      const auto n = number(a[1], 1, 4);
      const auto v = hdcp_in_names().value_of(a[2]);
      if (!n || !v) return refuse(error, "expected an input 1..4 and on or off");
      return {{"hdcp.inputs." + QString::number(*n), hdcp_in_names().word(*v)}};
    }
    if (side == "output") {
      const auto n = output_of(a[1]);
      const auto v = hdcp_out_names().value_of(a[2]);
      if (!n || !v) return refuse(error, "expected an output A..D and input or output");
      return {{"hdcp.outputs." + output_letter(*n), hdcp_out_names().word(*v)}};
    }
    return refuse(error, "expected input or output: " + a[0]);
  }
};

class Pip : public Command {
 public:
  Pip()
      : Command("pip", "Place, size or swap picture-in-picture A or B of the Dual PiP mode.",
                "a|b corner CORNER | a|b size SIZE | a|b swap") {
    min_args_ = 2;
    max_args_ = 3;
    notes_ << "CORNER: " + corner_names().choices() + " (or ul, ur, lr, ll). SIZE: " + size_names().choices() + ".";
  }

 protected:
  int execImpl(Context& c) const override {
    const QStringList& a = c.args();
    const QString window = a[0].toLower();
    const QString what = a[1].toLower();
    if (window != "a" && window != "b") return c.usage("expected a or b: " + a[0]);
    const QString letter = window.toUpper();
    if (what == "swap" && a.size() == 2) {
      Session* s = c.open();
      return s ? run_commands(*s, {std::string(letter == "A" ? cmd::PSW_A : cmd::PSW_B)}) : exit_code::LinkError;
    }
    if (a.size() != 3 || (what != "corner" && what != "size")) return c.usage("expected corner CORNER, size SIZE or swap");
    const Names& names = what == "corner" ? corner_names() : size_names();
    const auto v = names.value_of(a[2]);
    if (!v) return c.usage("not a " + what + ": " + a[2]);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    // Read back in Dual PiP only, as the device shows it there.
    int code = 0;
    if (!read_mode(*s, &code)) return code;
    if (s->state().mode != mode_no::DualPip) {
      s->error("pip." + letter + "." + what + ": PiP is set in the Dual PiP mode only; the device is in " +
               mode_names().word(*s->state().mode));
      return exit_code::Refused;
    }
    return set_values(*s, {{"pip." + letter + "." + what, names.word(*v)}}, mode_no::DualPip);
  }
};

}  // namespace

void add_setters(std::vector<std::unique_ptr<Command>>& list) {
  list.push_back(std::make_unique<Mode>());
  list.push_back(std::make_unique<Route>());
  list.push_back(std::make_unique<Resolution>());
  list.push_back(std::make_unique<Aspect>());
  list.push_back(std::make_unique<Power>());
  list.push_back(std::make_unique<Preset>());
  list.push_back(std::make_unique<Lock>());
  list.push_back(std::make_unique<Key>());
  list.push_back(std::make_unique<Label>());
  list.push_back(std::make_unique<Audio>());
  list.push_back(std::make_unique<Picture>());
  list.push_back(std::make_unique<Bezel>());
  list.push_back(std::make_unique<Hdcp>());
  list.push_back(std::make_unique<Pip>());
}

}  // namespace quadrel::cli
