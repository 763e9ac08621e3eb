// The setters: each sends one command, or the panel's sequence where the panel sends several.
#include <QStringList>
#include <algorithm>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/state_document.h"
#include "link/core/catalogue.h"

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

// No commands: the arguments name nothing, for this reason.
std::vector<std::string> refuse(QString* error, const QString& why) {
  *error = why;
  return {};
}

// A setter whose arguments become a fixed list of commands.
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

class Mode : public Command {
 public:
  Mode()
      : Command("mode", "Choose the display mode; the routing, picture and aspect are read back as the panel does.",
                mode_names().choices()) {
    min_args_ = max_args_ = 1;
  }

 protected:
  int execImpl(Context& c) const override {
    const auto mode = mode_names().value_of(c.args()[0]);
    if (!mode) return c.usage("not a display mode: " + c.args()[0]);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    // The routing, the picture and the aspect are read back as the panel does.
    DeviceReader r(*s);
    r.settled(cmd::set(code::MOD, *mode), s->device().set_mode(*mode));
    return r.report();
  }
};

class Route : public SimpleSetter {
 public:
  Route() : SimpleSetter("route", "Route an input to an output (an output channel of the current mode).", "A|B|C|D 1..4") {
    min_args_ = max_args_ = 2;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const auto out = output_of(c.args()[0]);
    const auto in = number(c.args()[1], 1, 4);
    if (!out) return refuse(error, "not an output: " + c.args()[0]);
    if (!in) return refuse(error, "not an input: " + c.args()[1]);
    return {cmd::set(code::OUT, *out), cmd::set(code::INP, *in)};
  }
};

class Resolution : public Command {
 public:
  Resolution()
      : Command("resolution", "Choose the output resolution by its number or its name in output_reso.txt.",
                "N|NAME") {
    min_args_ = max_args_ = 1;
  }

 protected:
  int execImpl(Context& c) const override {
    const QString arg = c.args()[0];
    std::optional<int> n = number(arg, 1, 99);
    auto squeeze = [](QString text) { return text.remove(QLatin1Char(' ')).toLower(); };
    const auto& names = c.resolutions();
    for (std::size_t i = 0; !n && i < names.size(); ++i)
      if (squeeze(QString::fromStdString(names[i])) == squeeze(arg)) n = static_cast<int>(i) + 1;
    if (!n) return c.usage("not a resolution number (1 to 99) or a name from output_reso.txt: " + arg);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const std::string command = cmd::set(code::RES, *n);
    if (*n == 5 || *n == 6) {
      // The two interlaced 1080-line resolutions are served in Matrix only.
      const std::string query = cmd::query(code::MOD);
      const ExchangeOutcome outcome = s->exchange(query);
      if (outcome != ExchangeOutcome::Answered) return s->fail(query, outcome);
      if (s->state().mode != mode_no::Matrix) {
        s->error(QString::fromStdString(command) +
                 ": 1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad");
        return exit_code::Refused;
      }
    }
    return run_commands(*s, {command});
  }
};

class Aspect : public SimpleSetter {
 public:
  Aspect() : SimpleSetter("aspect", "Choose how the picture is fitted to the output.", aspect_names().choices()) {
    min_args_ = max_args_ = 1;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const auto v = aspect_names().value_of(c.args()[0]);
    if (!v) return refuse(error, "not an aspect: " + c.args()[0]);
    return {cmd::set(code::ASP, *v)};
  }
};

// A setting that is on or off, sent as one of two fixed commands.
class OnOffSetter : public SimpleSetter {
 public:
  OnOffSetter(QString name, QString description, std::string_view on, std::string_view off)
      : SimpleSetter(std::move(name), std::move(description), "on|off"), on_(on), off_(off) {
    min_args_ = max_args_ = 1;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const auto v = on_off(c.args()[0]);
    if (!v) return refuse(error, "expected on or off: " + c.args()[0]);
    return {std::string(*v ? on_ : off_)};
  }

 private:
  std::string_view on_, off_;
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
    if (!v) return refuse(error, "not a menu key: " + c.args()[0]);
    return {std::string(kKeys[*v])};
  }
};

class Label : public SimpleSetter {
 public:
  Label()
      : SimpleSetter("label", "Set the label of input N, or show (on) or hide (off) the labels on screen.",
                     "on|off | 1..4 TEXT") {
    min_args_ = 1;
    max_args_ = 2;
    notes_ << "A label holds at most 12 printable ASCII characters.";
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    if (c.args().size() == 1) {
      const auto v = on_off(c.args()[0]);
      if (!v) return refuse(error, "expected on, off or an input and a text: " + c.args()[0]);
      return {cmd::pair(code::LAB, 0, *v)};
    }
    const auto input = number(c.args()[0], 1, 4);
    const QString text = c.args()[1];
    if (!input) return refuse(error, "not an input: " + c.args()[0]);
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar ch) { return ch >= ' ' && ch <= '~'; });
    if (!printable || text.size() > 12)
      return refuse(error, "a label holds at most 12 printable ASCII characters: " + text);
    return {cmd::label_set(*input, text.toStdString())};
  }
};

class Audio : public SimpleSetter {
 public:
  Audio()
      : SimpleSetter("audio", "Switch the audio on or off, or choose its EDID format or its source.",
                     "on|off | edid FORMAT | dual-a|dual-b 1|2 | quad 1..4") {
    min_args_ = 1;
    max_args_ = 2;
    notes_ << "FORMAT: " + edid_names().choices() + ". Dual A and B audio follow picture 1 (left, main) or 2 "
              "(right, sub); Quad audio follows quadrant 1 to 4.";
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    if (a.size() == 1) {
      const auto v = on_off(a[0]);
      if (!v) return refuse(error, "expected on or off: " + a[0]);
      return {std::string(*v ? cmd::AUD_ON : cmd::AUD_OFF)};
    }
    const QString what = a[0].toLower();
    const QString value = a[1].toLower();
    std::optional<int> v;
    std::string_view code;
    if (what == "edid") {
      code = code::AUE;
      v = edid_names().value_of(value);
    } else if (what == "dual-a" || what == "dual-b") {
      code = what == "dual-a" ? code::AUA : code::AUB;
      v = value == "left" || value == "main" ? 1 : value == "right" || value == "sub" ? 2 : number(value, 1, 2);
    } else if (what == "quad") {
      code = code::AUQ;
      v = number(value.startsWith('q') ? value.mid(1) : value, 1, 4);
    } else {
      return refuse(error, "expected on, off, edid, dual-a, dual-b or quad: " + a[0]);
    }
    if (!v) return refuse(error, "not a value of " + what + ": " + a[1]);
    return {cmd::set(code, *v)};
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
    static constexpr std::string_view kCodes[] = {code::BRI, code::CON, code::HUE, code::SAT};
    const QStringList& a = c.args();
    if (a.size() == 1 && a[0].toLower() == "reset") {
      Session* s = c.open();
      return s ? run_commands(*s, {std::string(cmd::RST_PICTURE)}) : exit_code::LinkError;
    }
    if (a.size() != 3) return c.usage("expected an output, a setting and a value, or reset");
    const bool all = a[0].toLower() == "all";
    const auto out = output_of(a[0]);
    const auto which = picture_names().value_of(a[1]);
    const auto value = number(a[2], 0, 100);
    if (!all && !out) return c.usage("not an output: " + a[0]);
    if (!which) return c.usage("not a picture setting: " + a[1]);
    if (!value) return c.usage("not a value from 0 to 100: " + a[2]);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    // The parameter depends on the mode.
    const std::string query = cmd::query(code::MOD);
    const ExchangeOutcome outcome = s->exchange(query);
    if (outcome != ExchangeOutcome::Answered) return s->fail(query, outcome);
    const int disp_mode = disp_mode_of(s->state().mode.value_or(mode_no::Matrix));
    if (disp_mode == mode_no::Matrix && !all) return c.usage("the Matrix mode adjusts the picture as a whole: use all");
    std::vector<std::string> list;
    for (int row = 1; row <= 4; ++row)
      if ((all && (row == 1 || disp_mode != mode_no::Matrix)) || out == row)
        list.push_back(cmd::set(kCodes[*which], cmd::picture_param(disp_mode, row, *value)));
    return run_commands(*s, list);
  }
};

class Bezel : public SimpleSetter {
 public:
  Bezel()
      : SimpleSetter("bezel", "Switch the bezel correction on or off, or set its horizontal or vertical value.",
                     "on|off | h|v 0..254") {
    min_args_ = 1;
    max_args_ = 2;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    if (a.size() == 1) {
      const auto v = on_off(a[0]);
      if (!v) return refuse(error, "expected on or off: " + a[0]);
      return {cmd::set(code::BEZ, *v)};
    }
    const QString axis = a[0].toLower();
    const auto v = number(a[1], 0, 254);
    if (axis != "h" && axis != "v") return refuse(error, "expected h or v: " + a[0]);
    if (!v) return refuse(error, "not a correction from 0 to 254: " + a[1]);
    return {cmd::set(axis == "h" ? code::BEH : code::BEV, *v)};
  }
};

class Hdcp : public SimpleSetter {
 public:
  Hdcp()
      : SimpleSetter("hdcp", "Switch HDCP of an input on or off, or let an output's HDCP follow its input or output.",
                     "input 1..4 on|off | output A..D input|output") {
    min_args_ = max_args_ = 3;
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    const QString side = a[0].toLower();
    if (side == "input") {
      const auto n = number(a[1], 1, 4);
      const auto v = hdcp_in_names().value_of(a[2]);
      if (!n || !v) return refuse(error, "expected an input 1..4 and on or off");
      return {cmd::pair(code::HPI, *n, *v)};
    }
    if (side == "output") {
      const auto n = output_of(a[1]);
      const auto v = hdcp_out_names().value_of(a[2]);
      if (!n || !v) return refuse(error, "expected an output A..D and input or output");
      return {cmd::pair(code::HPO, *n, *v)};
    }
    return refuse(error, "expected input or output: " + a[0]);
  }
};

class Pip : public SimpleSetter {
 public:
  Pip()
      : SimpleSetter("pip", "Place, size or swap picture-in-picture A or B of the Dual PiP mode.",
                     "a|b corner CORNER | a|b size SIZE | a|b swap") {
    min_args_ = 2;
    max_args_ = 3;
    notes_ << "CORNER: " + corner_names().choices() + " (or ul, ur, lr, ll). SIZE: " + size_names().choices() + ".";
  }

 protected:
  std::vector<std::string> commands(const Context& c, QString* error) const override {
    const QStringList& a = c.args();
    const QString window = a[0].toLower();
    const QString what = a[1].toLower();
    if (window != "a" && window != "b") return refuse(error, "expected a or b: " + a[0]);
    const int w = window == "a" ? 1 : 2;
    if (what == "swap" && a.size() == 2) return {std::string(w == 1 ? cmd::PSW_A : cmd::PSW_B)};
    if (a.size() != 3 || (what != "corner" && what != "size"))
      return refuse(error, "expected corner CORNER, size SIZE or swap");
    const auto v = (what == "corner" ? corner_names() : size_names()).value_of(a[2]);
    if (!v) return refuse(error, "not a " + what + ": " + a[2]);
    return {cmd::pair(what == "corner" ? code::PPO : code::PSZ, w, *v)};
  }
};

}  // namespace

void add_setters(std::vector<std::unique_ptr<Command>>& list) {
  list.push_back(std::make_unique<Mode>());
  list.push_back(std::make_unique<Route>());
  list.push_back(std::make_unique<Resolution>());
  list.push_back(std::make_unique<Aspect>());
  list.push_back(std::make_unique<OnOffSetter>("power", "Switch the device on or to standby.", cmd::PWR_ON,
                                                cmd::PWR_STANDBY));
  list.push_back(std::make_unique<Preset>());
  list.push_back(std::make_unique<OnOffSetter>("lock", "Lock or unlock the device's front-panel keys.", cmd::LCK_LOCK,
                                                cmd::LCK_UNLOCK));
  list.push_back(std::make_unique<Key>());
  list.push_back(std::make_unique<Label>());
  list.push_back(std::make_unique<Audio>());
  list.push_back(std::make_unique<Picture>());
  list.push_back(std::make_unique<Bezel>());
  list.push_back(std::make_unique<Hdcp>());
  list.push_back(std::make_unique<Pip>());
}

}  // namespace quadrel::cli
