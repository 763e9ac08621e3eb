// The client's subcommands: one small class each on this base, as `quadrel-cli NAME ...` runs them.
#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/session.h"
#include "link/apply_plan.h"

namespace quadrel::cli {

// How to reach the device, as the options give it.
struct LinkOptions {
  QString serial;     // --serial DEVICE (a path, or COM1..COM9)
  QString tcp;        // --tcp HOST[:PORT]
  QString hub;        // --hub [http://]HOST[:PORT]: the hub's API instead of a link of its own
  QString token_file; // --token-file FILE: the hub's token
  QString panel_dir;  // where corvane.ini, com_ports.txt and output_reso.txt are
  bool verbose = false;
  double timeout_s = 0;  // --timeout SECONDS: the whole run's limit; 0 none

  // The longest --timeout: a day.
  static constexpr double kLongestTimeout = 86400;

  // The link options every parser knows.
  static QList<QCommandLineOption> options();
  // The name of the link option `word` is when its value is the next word
  // ("--tcp"; not "--tcp=HOST"), or nothing.
  static std::optional<QString> value_follows(const QString& word);
  // Takes the options a parser found; false with a message when one is
  // empty, given twice (here or before the command), or contradicts another.
  bool take(const QCommandLineParser& parser, QString* error);
  // The run goes through a hub's API.
  bool on_hub() const { return !hub.isEmpty(); }
  // The link: from the options, or else from the panel's settings file.
  std::optional<LinkTarget> target(QString* error) const;
  // Where the panel keeps its files: all in panel_dir when given, else where
  // the panel installed beside this program looks for them.
  QString settings_file() const;  // corvane.ini as read at the panel's start
  QString ports_folder() const;   // com_ports.txt
  QString data_folder() const;    // output_reso.txt
};

// The resolution names of the panel's list (output_reso.txt, else the
// defaults), position p being resolution number p + 1.
std::vector<std::string> resolution_names(const LinkOptions& link);

class Command;

// Document values a command's arguments set: each path with its value.
using DocumentValues = std::vector<std::pair<QString, QJsonValue>>;

// What a running command needs: its arguments, the link, the printing.
class Context {
 public:
  Context(const Command& command, const QCommandLineParser& parser, const LinkOptions& link, LinkTarget target);
  // The session goes once the event loop is back: the command may end inside
  // one of its link's own signals.
  ~Context();

  const QStringList& args() const { return args_; }
  const QCommandLineParser& parser() const { return parser_; }
  const LinkOptions& link() const { return link_; }

  // Prints the message on stderr, in one line with where the usage is
  // described; returns the usage exit code.
  int usage(const QString& message) const;
  // Opens the link; nullptr (the error printed) when it cannot be opened:
  // the command then ends with exit_code::LinkError.
  QCoro::Task<Session*> open();
  // The resolution names, position p being resolution number p + 1.
  const std::vector<std::string>& resolutions() const;

  void print(const QString& text) const;  // stdout, as it is
  // One JSON object on one line (a getter's), or indented (a whole document).
  void print_json(const QJsonObject& object, bool indented = false) const;

 private:
  const Command& command_;
  const QCommandLineParser& parser_;
  const LinkOptions& link_;
  LinkTarget target_;
  QStringList args_;
  std::unique_ptr<Session> session_;
  mutable std::vector<std::string> resolutions_;
};

class Command {
 public:
  Command(QString name, QString description, QString arguments = {});
  virtual ~Command() = default;

  const QString& name() const { return name_; }
  const QString& description() const { return description_; }
  // The arguments as the usage gives them ("save|recall 1..4"), the options
  // and the notes (which define the usage's placeholders: "SIZE: large|...").
  const QString& arguments() const { return arguments_; }
  const QList<QCommandLineOption>& options() const { return options_; }
  const QStringList& notes() const { return notes_; }
  // The usage and options of this command.
  QString help() const;
  // A setter's values, as its arguments give them (and checked as a
  // document's are): nothing, with the reason in `error`, when they name
  // none; nothing and no reason for a command that is no such setter.
  virtual std::optional<DocumentValues> document_values(const Context&, QString* /*error*/) const { return std::nullopt; }

  // Parses the command's own arguments and runs it; returns the exit code.
  QCoro::Task<int> execute(const QStringList& arguments, LinkOptions link) const;

 protected:
  // Runs the command with its arguments parsed.
  virtual QCoro::Task<int> execImpl(Context& context) const = 0;

  QList<QCommandLineOption> options_;
  QStringList notes_;  // lines of help after the options
  int min_args_ = 0;
  int max_args_ = 0;

 private:
  void setup(QCommandLineParser& parser) const;

  QString name_;
  QString description_;
  QString arguments_;
};

// "quadrel-cli: NAME: MESSAGE (see 'quadrel-cli NAME --help')" on stderr
// (without a name: the program's own help); returns the usage exit code.
int usage_error(const QString& name, const QString& message);

// Why a parser refused its arguments, in the client's words: the option and
// what to do ("unknown option --jsn; did you mean --json?", "--tcp needs
// HOST[:PORT]", "--wait takes no value").
QString parser_error(const QCommandLineParser& parser, const QList<QCommandLineOption>& known);
// "; did you mean 'route'?" when one of `choices` is near `word` (a letter
// or two apart, or begun by it), else nothing.
QString did_you_mean(const QString& word, const QStringList& choices);

// Prints on the standard output, noting a failure to write it.
void print_stdout(const QString& text);
void print_stderr(const QString& text);

// How long a power-on waits for the device to answer again, when --timeout says nothing.
inline constexpr double kRestartWaitS = 60;

// Why the standard output could not be written ("No space left on device"),
// or empty when everything printed reached it.
QString output_error();

// Every subcommand, in the order the help lists them.
const std::vector<std::unique_ptr<Command>>& commands();
const Command* find_command(const QString& name);

// Help text: `text` wrapped at `width` columns, its later lines indented.
QString wrap(const QString& text, int indent, int width = 79);
// The options as help lines: names, value and the wrapped description.
QString option_lines(const QList<QCommandLineOption>& options);

// Prints a line on stderr for each change that did not end held (refused,
// not held, unanswered, not sent) and for each problem of the document;
// returns the report's exit code (2 when the run's time limit ran out).
int report_failures(const Session& session, const ApplyReport& report);
// The same, the error lines through `error`; `timeout_reason` is empty unless
// the run's time limit ran out.
int report_failures(const std::function<void(const QString&)>& error, const QString& timeout_reason,
                    const ApplyReport& report);

// apply's document: read from its file (or "-") and checked strictly, every
// problem printed; nothing, with the exit code in `code`, when it does not do.
std::optional<QByteArray> read_apply_document(const Context& c, int* code);

// Runs a command through the hub's API (--hub) instead of a link of its own.
QCoro::Task<int> run_on_hub(const Command& command, Context& context);

// Sends the commands in order, stopping at the first that does not end with
// its answer; returns the exit code (the error line printed).
QCoro::Task<int> run_commands(Session& session, const std::vector<std::string>& commands);

}  // namespace quadrel::cli
