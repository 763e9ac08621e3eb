// apply: brings the device to a (partial) state document such as `status --json` prints.
#include <QFile>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/apply_plan.h"
#include "link/state_document.h"

namespace quadrel::cli {

namespace {

// More problems of a document than this are counted, not listed.
constexpr int kListedProblems = 20;

class Apply : public Command {
 public:
  Apply()
      : Command("apply", "Set the device to a state document (such as status --json prints), sending only what differs.",
                "FILE|-") {
    min_args_ = max_args_ = 1;
    options_ << QCommandLineOption("dry-run", "Print the commands the run would send; send only queries.");
    notes_ << "The document is read strictly before anything is sent: a key that is not the document's, a value "
              "out of its range or a label the label command would refuse is named by its JSON path and the run "
              "ends with 64. Read-only values (versions, limits, names, addresses) are checked and skipped; a "
              "value the device cannot take in the mode it will be in ends the run with 64 too.";
    notes_ << "Each change is sent and read back; its line (the commands and what changes) is printed once the "
              "device holds it, the same line --dry-run prints. A refused change or one the device holds "
              "otherwise (a value cut to a limit) is named on standard error with what the device holds, and the "
              "others go on: the run ends with 1. A document the device matches sends nothing.";
  }

 protected:
  QCoro::Task<int> execImpl(Context& c) const override {
    int code = exit_code::Done;
    const std::optional<QByteArray> bytes = read_apply_document(c, &code);
    if (!bytes) co_return code;
    // Read and checked already.
    QString why;
    std::vector<DocumentError> errors;
    const auto wanted = read_wanted(*parse_document(*bytes, &why), &errors);

    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    DeviceReader before(*s);
    // The plan is made from the whole device as it is now; a value the device
    // refused to report is planned as not known.
    co_await before.read_all();
    if (before.exit_code() >= exit_code::NoAnswer) co_return before.report();

    ApplyOptions options;
    options.dry_run = c.parser().isSet("dry-run");
    options.on_change = [&c](const AppliedChange& applied) {
      if (applied.result == ChangeResult::Planned || applied.result == ChangeResult::Held)
        c.print(applied.change.line() + '\n');
    };
    options.await_restart = [s] { return s->await_device(s->time_left_s(kRestartWaitS)); };
    co_return report_failures(*s, co_await apply_state(s->device(), *wanted, options));
  }
};

}  // namespace

std::optional<QByteArray> read_apply_document(const Context& c, int* code) {
  *code = exit_code::Usage;
  auto refuse = [&c](const QString& message) -> std::optional<QByteArray> {
    c.usage(message);
    return std::nullopt;
  };
  const QString path = c.args()[0];
  QFile file;
  const bool opened = path == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                  : (file.setFileName(path), file.open(QIODevice::ReadOnly));
  if (!opened) return refuse("cannot read " + path + ": " + file.errorString());
  // Up to one byte more than a document may have: a pipe gives it in pieces.
  QByteArray bytes;
  while (bytes.size() <= kMaxDocumentBytes) {
    const QByteArray piece = file.read(kMaxDocumentBytes + 1 - bytes.size());
    if (piece.isEmpty()) break;
    bytes += piece;
  }
  if (file.error() != QFileDevice::NoError) return refuse("cannot read " + path + ": " + file.errorString());
  if (bytes.trimmed().isEmpty())
    return refuse(path + ": the document is empty" + (path == "-" ? " (the standard input gave nothing)" : "") +
                  ": give one such as status --json prints");
  QString why;
  const auto document = parse_document(bytes, &why);
  if (!document) return refuse(path + ": " + why);
  std::vector<DocumentError> errors;
  if (!read_wanted(*document, &errors)) {
    // Every problem, each on its line.
    for (int i = 0; i < static_cast<int>(errors.size()) && i < kListedProblems; ++i)
      print_stderr(QStringLiteral("quadrel-cli: apply: %1: %2\n").arg(path, errors[i].text()));
    if (errors.size() > kListedProblems)
      print_stderr(QStringLiteral("quadrel-cli: apply: %1: and %2 more problems\n")
                       .arg(path)
                       .arg(errors.size() - kListedProblems));
    return std::nullopt;
  }
  *code = exit_code::Done;
  return bytes;
}

void add_apply(std::vector<std::unique_ptr<Command>>& list) { list.push_back(std::make_unique<Apply>()); }

}  // namespace quadrel::cli
