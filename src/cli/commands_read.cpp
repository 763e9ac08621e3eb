// The readers: the whole device, one raw exchange, and the lines the device sends on its own.
#include <QDateTime>
#include <QEventLoop>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <algorithm>
#include <csignal>
#include <unistd.h>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/state_document.h"
#include "link/core/catalogue.h"

namespace quadrel::cli {

namespace {

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class Status : public Command {
 public:
  Status() : Command("status", "Read the whole device and print it, readably or as one JSON object.") {
    options_ << QCommandLineOption("json", "Print one JSON object with stable keys (null: not read).");
    notes_ << "The reads and their stop rules are the panel's full refresh, then the HDCP, label and (in Dual "
              "PiP) PiP reads and the network addresses.";
  }

 protected:
  int execImpl(Context& c) const override {
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    DeviceReader r(*s);
    r.read_all();
    if (c.parser().isSet("json"))
      c.print(QString::fromUtf8(QJsonDocument(to_json(s->state(), c.resolutions())).toJson(QJsonDocument::Indented)));
    else
      c.print(to_text(s->state(), c.resolutions()));
    return r.report();
  }
};

class Send : public Command {
 public:
  Send() : Command("send", "Send one raw command and print the device's reply.", "COMMAND") {
    min_args_ = max_args_ = 1;
    notes_ << "COMMAND is sent as it is, with a carriage return (for example MOD999 or \"LAI2Camera\").";
  }

 protected:
  int execImpl(Context& c) const override {
    const QString text = c.args()[0];
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar ch) { return ch >= ' ' && ch <= '~'; });
    if (text.size() < 3 || text.size() > 64 || !printable)
      return c.usage("a command is 3 to 64 printable ASCII characters: " + text);
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const std::string command = text.toStdString();

    // The network queries are answered by a bare address.
    static constexpr std::string_view kNet[] = {"EIP999", "EMK999", "EGW999"};
    for (int which = 0; which < 3; ++which) {
      if (command != kNet[which]) continue;
      const ExchangeOutcome outcome = s->device().query_network_setting(which);
      if (outcome != ExchangeOutcome::Answered) return s->fail(command, outcome);
      const auto& state = s->state();
      c.print(QString::fromStdString(*(which == 0 ? state.ip : which == 1 ? state.mask : state.gateway)) + '\n');
      return exit_code::Done;
    }

    const ExchangeOutcome outcome = s->exchange(command);
    if (outcome == ExchangeOutcome::Answered || outcome == ExchangeOutcome::DeviceError)
      c.print(latin1(s->device().link().last_reply()) + '\n');
    return outcome == ExchangeOutcome::Answered ? exit_code::Done : s->fail(command, outcome);
  }
};

// SIGINT and SIGTERM end the watch through this pipe, in the event loop.
int g_signal_pipe[2] = {-1, -1};

void on_signal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

class Watch : public Command {
 public:
  Watch() : Command("watch", "Print the lines the device sends on its own, time-stamped, until interrupted.") {
    options_ << QCommandLineOption("json", "Print one JSON object per line: {\"time\": ..., \"line\": ...}.");
  }

 protected:
  int execImpl(Context& c) const override {
    if (::pipe(g_signal_pipe) != 0) return exit_code::LinkError;
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const bool json = c.parser().isSet("json");
    QObject::connect(&s->device(), &Device::line_received, s, [&c, json](const QByteArray& bytes) {
      const std::string line = bytes.toStdString();
      const QDateTime now = QDateTime::currentDateTime();
      const QString time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
      if (json)
        c.print(QString::fromUtf8(
                    QJsonDocument(QJsonObject{{"time", time}, {"line", latin1(line)}}).toJson(QJsonDocument::Compact)) +
                '\n');
      else
        c.print(time + ' ' + latin1(line) + '\n');
    });

    QEventLoop loop;
    QSocketNotifier interrupted(g_signal_pipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupted, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    QObject::connect(&s->device(), &Device::link_ended, &loop, &QEventLoop::quit);
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    if (s->link_open()) loop.exec();
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (!s->link_open()) {
      s->error(s->lost_reason());
      return exit_code::LinkError;
    }
    return exit_code::Done;
  }
};

}  // namespace

void add_readers(std::vector<std::unique_ptr<Command>>& list) {
  list.push_back(std::make_unique<Status>());
  list.push_back(std::make_unique<Send>());
  list.push_back(std::make_unique<Watch>());
}

}  // namespace quadrel::cli
