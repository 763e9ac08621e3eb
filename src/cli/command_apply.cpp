// apply: brings the device to a state saved by `status --json`.
#include <QFile>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/apply_plan.h"
#include "link/state_document.h"

namespace quadrel::cli {

namespace {

class Apply : public Command {
 public:
  Apply()
      : Command("apply", "Set the device to a state saved by status --json, sending only what differs.",
                "FILE|-") {
    min_args_ = max_args_ = 1;
    options_ << QCommandLineOption("dry-run", "Print the commands instead of sending them.");
  }

 protected:
  int execImpl(Context& c) const override {
    const QString path = c.args()[0];
    QFile file;
    const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                    : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) return c.usage("cannot read " + path + ": " + file.errorString());
    QString why;
    const auto document = parse_document(file.read(kMaxDocumentBytes + 1), &why);
    if (!document) return c.usage(path + ": " + why);
    std::vector<DocumentError> errors;
    const auto wanted = read_wanted(*document, &errors);
    if (!wanted) return c.usage(path + ": " + errors.front().text());

    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    DeviceReader before(*s);
    before.read_all();
    if (const int code = before.exit_code(); code >= exit_code::NoAnswer) return before.report();

    ApplyOptions options;
    options.dry_run = c.parser().isSet("dry-run");
    const ApplyReport report = apply_state(s->device(), *wanted, options);
    for (const DocumentError& error : report.errors) s->error(error.text());
    for (const AppliedChange& applied : report.changes) {
      if (applied.result == ChangeResult::Planned || applied.result == ChangeResult::Held)
        c.print(applied.change.line() + '\n');
      else
        s->error(applied.change.path + ": " + applied.message);
    }
    return report.exit_code;
  }
};

}  // namespace

void add_apply(std::vector<std::unique_ptr<Command>>& list) { list.push_back(std::make_unique<Apply>()); }

}  // namespace quadrel::cli
