// apply: brings the device to a state saved by `status --json`.
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

#include "link/apply_plan.h"
#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/state_document.h"
#include "link/core/catalogue.h"

namespace quadrel::cli {

namespace {

class Apply : public Command {
 public:
  Apply()
      : Command("apply", "Set the device to a state saved by status --json, sending only what differs.",
                "FILE|-") {
    min_args_ = max_args_ = 1;
    options_ << QCommandLineOption("dry-run", "Print the commands instead of sending them.");
    notes_ << "Each change is printed as it is made. The resolution and the mode go first (in the order the "
              "device accepts); after a mode change the device is read again. Firmware, bezel limits, network "
              "addresses and power are not set. A refused change is reported and the others go on.";
  }

 protected:
  int execImpl(Context& c) const override {
    const QString path = c.args()[0];
    QFile file;
    const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) return c.usage("cannot read " + path + ": " + file.errorString());
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(file.read(1 << 20), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
      return c.usage(path + " is not a state saved by status --json" +
                     (parse.error != QJsonParseError::NoError ? ": " + parse.errorString() : QString()));
    QString why;
    const auto want = from_json(doc.object(), &why);
    if (!want) return c.usage(path + ": " + why);

    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    DeviceReader before(*s);
    before.read_all();
    if (const int code = before.exit_code(); code >= exit_code::NoAnswer) return before.report();

    const std::vector<PlannedChange> first = plan_mode(s->state(), *want);
    if (c.parser().isSet("dry-run")) {
      // The rest as it would be planned once the mode and resolution are set.
      DeviceState assumed = s->state();
      if (want->mode && want->mode != assumed.mode) {
        // What the new mode shows is not known before it is read.
        assumed.picture = {};
        assumed.pip_corner = {};
        assumed.pip_size = {};
        assumed.mode = want->mode;
      }
      if (want->resolution) assumed.resolution = want->resolution;
      for (const auto& list : {first, plan_settings(assumed, *want)})
        for (const PlannedChange& change : list)
          c.print(QString::fromStdString(join(change.commands)) + "  # " + change.describe() + '\n');
      return exit_code::Done;
    }

    bool refused = false;
    if (int code = run(c, *s, first, &refused); code != exit_code::Done) return code;
    if (!first.empty()) {
      // What the new mode shows is read again before it is compared.
      DeviceReader after(*s);
      after.read_all();
      if (after.exit_code() >= exit_code::NoAnswer) return after.report();
    }
    if (int code = run(c, *s, plan_settings(s->state(), *want), &refused); code != exit_code::Done) return code;
    return refused ? exit_code::Refused : exit_code::Done;
  }

 private:
  static std::string join(const std::vector<std::string>& commands) {
    std::string text;
    for (const std::string& command : commands) {
      std::string shown = command;
      if (!shown.empty() && shown.back() == '\r') shown.pop_back();  // a label command's own terminator
      text += (text.empty() ? "" : " ") + shown;
    }
    return text;
  }

  // Sends the changes; a refused one is reported and skipped, an unanswered
  // one or a closed link ends the run with its exit code.
  static int run(const Context& c, Session& s, const std::vector<PlannedChange>& changes, bool* refused) {
    for (const PlannedChange& change : changes) {
      bool done = true;
      for (const std::string& command : change.commands) {
        ExchangeOutcome outcome = s.exchange(command);
        if (outcome == ExchangeOutcome::NoAnswer && reply::code_of(command) == code::MOD)
          outcome = s.device().await_late_reply();
        if (outcome == ExchangeOutcome::Answered) continue;
        const int code = s.fail(command, outcome);
        if (outcome != ExchangeOutcome::DeviceError) return code;
        *refused = true;
        done = false;
        break;
      }
      if (done) c.print(change.describe() + '\n');
    }
    return exit_code::Done;
  }
};

}  // namespace

void add_apply(std::vector<std::unique_ptr<Command>>& list) { list.push_back(std::make_unique<Apply>()); }

}  // namespace quadrel::cli
