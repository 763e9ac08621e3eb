// The readers: the whole device, one raw exchange, and the lines the device sends on its own.
#include <QDateTime>
#include <QEventLoop>
#include <QJsonDocument>
#include <algorithm>

#include "cli/command.h"
#include "cli/commands_list.h"
#include "cli/device_reader.h"
#include "link/core/parameters.h"
#include "link/signal_watch.h"
#include "link/state_document.h"
#include "link/watch_record.h"

namespace quadrel::cli {

namespace {

QString latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

class Status : public Command {
 public:
  Status() : Command("status", "Read the whole device and print it, readably or as one JSON document.") {
    options_ << QCommandLineOption("json", "Print one JSON document (schema 1; null: the mode has no such value).")
             << QCommandLineOption("partial", "Print what was read even when something went unanswered or was "
                                              "refused (the exit code still says so).");
    notes_ << "The reads and their stop rules are the panel's full refresh, then the HDCP, label and (in Dual "
              "PiP) PiP reads and the network addresses; the output the device had selected is selected again. "
              "Unless everything was read, nothing is printed on standard output.";
  }

 protected:
  int execImpl(Context& c) const override {
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    DeviceReader r(*s);
    // A backup must be whole: what was not read is not printed as if it were.
    if (r.read_all() || c.parser().isSet("partial")) {
      if (c.parser().isSet("json"))
        c.print_json(to_json(s->state(), c.resolutions()), true);
      else
        c.print(to_text(s->state(), c.resolutions()));
    }
    return r.report();
  }
};

class Send : public Command {
 public:
  Send() : Command("send", "Send one raw command and print the device's reply.", "COMMAND") {
    min_args_ = max_args_ = 1;
    notes_ << "COMMAND is sent as it is, with a carriage return (for example MOD999 or \"LAI2Camera\"). Nothing is "
              "read back: the exit code says how the device answered.";
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
    if (const auto checked = check_line(command); checked && checked->kind == CheckedLine::Kind::Network) {
      QElapsedTimer waited;
      waited.start();
      const ExchangeOutcome outcome = s->device().query_network_setting(checked->row->aspect_index);
      if (outcome != ExchangeOutcome::Answered) return s->fail(command, outcome, waited.elapsed() / 1000.0);
      c.print(QString::fromStdString(checked->row->text_in(s->state())->value_or(std::string())) + '\n');
      return exit_code::Done;
    }

    const ExchangeOutcome outcome = s->exchange(command);
    if (outcome == ExchangeOutcome::Answered || outcome == ExchangeOutcome::DeviceError)
      c.print(latin1(s->device().link().last_reply()) + '\n');
    return outcome == ExchangeOutcome::Answered ? exit_code::Done : s->fail(command, outcome);
  }
};

class Watch : public Command {
 public:
  Watch()
      : Command("watch", "Print each line the device sends on its own, time-stamped and decoded, until interrupted.") {
    options_ << QCommandLineOption("json", "Print one JSON object per line: {\"time\", \"line\", \"code\", \"field\", "
                                           "\"value\"}, or {\"time\", \"event\": \"lost\"|\"back\", ...}.");
    notes_ << "A lost link is a record too; the watch opens it again (with a growing pause, up to 5 s) and says so "
              "when it is back. Bytes beyond ASCII are kept: as \\u00XX in JSON, as \\xNN in text. SIGINT, SIGTERM "
              "or --timeout end the watch with 0, or 3 when the link was lost at the end.";
  }

 protected:
  int execImpl(Context& c) const override {
    Session* s = c.open();
    if (!s) return exit_code::LinkError;
    const bool json = c.parser().isSet("json");
    WatchFramer framer;
    WatchDecoder decoder;
    QEventLoop loop;
    auto print = [&](const QJsonObject& record) {
      c.print(QString::fromLatin1(json ? watch_json_line(record) : watch_text_line(record)));
      if (!output_error().isEmpty()) loop.quit();
    };
    // Lines that come while the watch asks the device are held, and its answers taken out.
    bool asking = false;
    std::vector<QByteArray> held;
    QObject::connect(&s->device(), &Device::bytes_received, &loop, [&](const QByteArray& bytes) {
      for (const QByteArray& line : framer.push(bytes)) {
        if (asking)
          held.push_back(line);
        else
          print(decoder.line_record(line, QDateTime::currentDateTime()));
      }
    });
    // The mode and the selected output, which the device's lines are read by.
    auto learn = [&] {
      asking = true;
      std::vector<std::string> answers;
      for (const Aspect what : {Aspect::Mode, Aspect::Channel}) {
        if (what == Aspect::Channel && s->state().mode == mode_no::TvWall) break;
        if (s->exchange(query_command(row_of(what))) == ExchangeOutcome::Answered)
          answers.push_back(s->device().link().last_reply());
      }
      asking = false;
      decoder.restart(s->device().model());
      for (const QByteArray& line : std::exchange(held, {})) {
        const auto answer = std::find(answers.begin(), answers.end(), line.toStdString());
        if (answer != answers.end())
          answers.erase(answer);
        else
          print(decoder.line_record(line, QDateTime::currentDateTime()));
      }
    };

    // SIGINT, SIGTERM (and SIGHUP) end the watch, in the event loop.
    SignalWatch interrupted;
    QObject::connect(&interrupted, &SignalWatch::received, &loop, [s] { s->interrupt(); });
    QObject::connect(s, &Session::ended, &loop, &QEventLoop::quit);
    QObject::connect(&s->device(), &Device::link_ended, &loop, &QEventLoop::quit);
    learn();
    auto running = [&] { return !s->interrupted() && !s->timed_out() && output_error().isEmpty(); };
    while (running()) {
      if (s->link_open()) loop.exec();
      if (!running() || s->link_open()) continue;
      if (const QByteArray rest = framer.take_rest(); !rest.isEmpty())
        print(decoder.line_record(rest, QDateTime::currentDateTime()));
      print(WatchDecoder::lost_record(s->lost_reason(), QDateTime::currentDateTime()));
      if (s->reopen(LinkOptions::kLongestTimeout)) {
        print(WatchDecoder::back_record(s->target().describe(), QDateTime::currentDateTime()));
        learn();
      }
    }
    if (const QByteArray rest = framer.take_rest(); !rest.isEmpty())
      print(decoder.line_record(rest, QDateTime::currentDateTime()));
    if (!s->link_open() && !s->lost_reason().isEmpty()) {
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
