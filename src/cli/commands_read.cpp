// The readers: the whole device, one raw exchange, and the lines the device sends on its own.
#include <QDateTime>
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
  QCoro::Task<int> execImpl(Context& c) const override {
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    DeviceReader r(*s);
    // A backup must be whole: what was not read is not printed as if it were.
    const bool whole = co_await r.read_all();
    if (whole || c.parser().isSet("partial")) {
      if (c.parser().isSet("json"))
        c.print_json(to_json(s->state(), c.resolutions()), true);
      else
        c.print(to_text(s->state(), c.resolutions()));
    }
    co_return r.report();
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
  QCoro::Task<int> execImpl(Context& c) const override {
    const QString text = c.args()[0];
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar ch) { return ch >= ' ' && ch <= '~'; });
    if (text.size() < 3 || text.size() > 64 || !printable)
      co_return c.usage("a command is 3 to 64 printable ASCII characters: " + text);
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    const std::string command = text.toStdString();

    // The network queries are answered by a bare address.
    if (const auto checked = check_line(command); checked && checked->kind == CheckedLine::Kind::Network) {
      QElapsedTimer waited;
      waited.start();
      const ExchangeOutcome outcome = co_await s->device().query_network_setting(checked->row->aspect_index);
      if (outcome != ExchangeOutcome::Answered) co_return s->fail(command, outcome, waited.elapsed() / 1000.0);
      c.print(QString::fromStdString(checked->row->text_in(s->state())->value_or(std::string())) + '\n');
      co_return exit_code::Done;
    }

    const ExchangeOutcome outcome = co_await s->exchange(command);
    if (outcome == ExchangeOutcome::Answered || outcome == ExchangeOutcome::DeviceError)
      c.print(latin1(s->device().link().last_reply()) + '\n');
    co_return outcome == ExchangeOutcome::Answered ? exit_code::Done : s->fail(command, outcome);
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
  QCoro::Task<int> execImpl(Context& c) const override {
    Session* s = co_await c.open();
    if (!s) co_return exit_code::LinkError;
    WatchRun run(c, *s);
    co_return co_await run.run();
  }

 private:
  // One watch: the device's lines printed as they come, read by the mode
  // and the selected output it learns first.
  class WatchRun : public QObject {
   public:
    WatchRun(Context& c, Session& s) : c_(c), s_(s), json_(c.parser().isSet("json")) {
      QObject::connect(&s_.device(), &Device::bytes_received, this, [this](const QByteArray& bytes) {
        for (const QByteArray& line : framer_.push(bytes)) {
          if (asking_)
            held_.push_back(line);
          else
            print(decoder_.line_record(line, QDateTime::currentDateTime()));
        }
      });
      // SIGINT, SIGTERM (and SIGHUP) end the watch, in the event loop.
      QObject::connect(&interrupted_, &SignalWatch::received, this, [this] { s_.interrupt(); });
    }

    QCoro::Task<int> run() {
      co_await learn();
      while (running()) {
        // Until the link closes or the watch ends (a signal or --timeout ends every wait).
        if (s_.link_open()) co_await s_.device().until([this] { return !running() || !s_.link_open(); }, kLookAgainMs);
        if (!running() || s_.link_open()) continue;
        if (const QByteArray rest = framer_.take_rest(); !rest.isEmpty())
          print(decoder_.line_record(rest, QDateTime::currentDateTime()));
        print(WatchDecoder::lost_record(s_.lost_reason(), QDateTime::currentDateTime()));
        const bool back = co_await s_.reopen(LinkOptions::kLongestTimeout);
        if (back) {
          print(WatchDecoder::back_record(s_.target().describe(), QDateTime::currentDateTime()));
          co_await learn();
        }
      }
      if (const QByteArray rest = framer_.take_rest(); !rest.isEmpty())
        print(decoder_.line_record(rest, QDateTime::currentDateTime()));
      if (!s_.link_open() && !s_.lost_reason().isEmpty()) {
        s_.error(s_.lost_reason());
        co_return exit_code::LinkError;
      }
      co_return exit_code::Done;
    }

   private:
    // A wait that nothing ended is looked at again after this long.
    static constexpr int kLookAgainMs = 3600 * 1000;

    bool running() const { return !s_.interrupted() && !s_.timed_out() && output_error().isEmpty(); }

    void print(const QJsonObject& record) {
      c_.print(QString::fromLatin1(json_ ? watch_json_line(record) : watch_text_line(record)));
      // The output failed: the watch ends.
      if (!output_error().isEmpty()) s_.device().poke();
    }

    // The mode and the selected output, which the device's lines are read by.
    // Lines that come while the watch asks the device are held, and its answers taken out.
    QCoro::Task<> learn() {
      asking_ = true;
      std::vector<std::string> answers;
      static constexpr Aspect kLearnt[] = {Aspect::Mode, Aspect::Channel};
      for (const Aspect what : kLearnt) {
        if (what == Aspect::Channel && s_.state().mode == mode_no::TvWall) break;
        const ExchangeOutcome outcome = co_await s_.exchange(query_command(row_of(what)));
        if (outcome == ExchangeOutcome::Answered) answers.push_back(s_.device().link().last_reply());
      }
      asking_ = false;
      decoder_.restart(s_.device().model());
      for (const QByteArray& line : std::exchange(held_, {})) {
        const auto answer = std::find(answers.begin(), answers.end(), line.toStdString());
        if (answer != answers.end())
          answers.erase(answer);
        else
          print(decoder_.line_record(line, QDateTime::currentDateTime()));
      }
    }

    Context& c_;
    Session& s_;
    bool json_;
    WatchFramer framer_;
    WatchDecoder decoder_;
    bool asking_ = false;
    std::vector<QByteArray> held_;
    SignalWatch interrupted_;
  };
};

}  // namespace

void add_readers(std::vector<std::unique_ptr<Command>>& list) {
  list.push_back(std::make_unique<Status>());
  list.push_back(std::make_unique<Send>());
  list.push_back(std::make_unique<Watch>());
}

}  // namespace quadrel::cli
