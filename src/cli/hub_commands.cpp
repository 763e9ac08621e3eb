// The commands through a hub's API: status and the getters from the hub's
// model (no traffic with the device), apply and the setters through PATCH,
// the device's events through /api/v1/send, and watch on the event stream.
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkRequest>
#include <QWebSocket>
#include <chrono>
#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>
#include <qcoro/qcorowebsocket.h>

#include "cli/client_words.h"
#include "cli/command.h"
#include "cli/hub_door.h"
#include "link/apply_plan.h"
#include "link/core/parameters.h"
#include "link/link_opener.h"
#include "link/signal_watch.h"
#include "link/state_document.h"
#include "link/watch_record.h"

namespace quadrel::cli {

namespace {

using namespace std::chrono_literals;

QByteArray json_bytes(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

// A partial document that sets each value at its path.
QJsonObject document_of(const DocumentValues& values) {
  QJsonObject document;
  for (const auto& [path, value] : values) {
    const QStringList keys = path.split(u'.');
    // Down the keys, then back up, each object holding the one below.
    std::vector<QJsonObject> objects{document};
    for (qsizetype i = 0; i + 1 < keys.size(); ++i) objects.push_back(objects.back().value(keys[i]).toObject());
    objects.back().insert(keys.back(), value);
    for (qsizetype i = keys.size() - 2; i >= 0; --i) {
      QJsonObject above = objects[static_cast<std::size_t>(i)];
      above.insert(keys[i], objects[static_cast<std::size_t>(i) + 1]);
      objects[static_cast<std::size_t>(i)] = above;
    }
    document = objects.front();
  }
  return document;
}

class HubRun {
 public:
  HubRun(const Command& command, Context& c, HubDoor& door) : command_(command), c_(c), door_(door) {}

  QCoro::Task<int> run() {
    const QString name = command_.name();
    if (name == QLatin1String("status")) co_return co_await status();
    if (name == QLatin1String("watch")) co_return co_await watch();
    if (name == QLatin1String("apply")) co_return co_await apply();
    if (name == QLatin1String("send")) co_return co_await send_text(c_.args()[0]);
    const QStringList& args = c_.args();
    // The settings print what the device holds when given no value (route: one output).
    const bool getter = (args.isEmpty() || (name == QLatin1String("route") && args.size() == 1)) &&
                        command_.options().end() != std::find_if(command_.options().begin(), command_.options().end(),
                                                                 [](const QCommandLineOption& o) {
                                                                   return o.names().contains(QStringLiteral("json"));
                                                                 });
    if (getter) co_return co_await get();
    if (c_.parser().isSet(QStringLiteral("json"))) co_return c_.usage(QStringLiteral("--json prints the current value: give no value"));
    if (name == QLatin1String("picture")) co_return co_await picture();
    QString why;
    if (name == QLatin1String("preset") || name == QLatin1String("key") || name == QLatin1String("pip")) {
      const std::optional<ClientMatch> match = match_words(name, args, &why);
      if (!match) co_return c_.usage(name == QLatin1String("key") ? "not a menu key: " + args.value(0) : why);
      // A menu key is one command; a preset's is its number.
      const int value = name == QLatin1String("key") ? match->row->lo : match->value.toInt();
      if (!match->row->in_document) co_return co_await send_line(set_command(*match->row, value));
      // Set in Dual PiP only, where the device shows it.
      std::optional<QJsonObject> state = co_await read_state();
      if (!state) co_return exit_;
      const QString mode = state->value(QLatin1String("mode")).toString();
      if (!match->row->exists_in(names_of(row_of(Aspect::Mode)).value_of_word(mode).value_or(0))) {
        door_.error(match->path + ": PiP is set in the Dual PiP mode only; the device is in " + mode);
        co_return exit_code::Refused;
      }
      DocumentValues one;
      one.emplace_back(match->path, match->value);
      co_return co_await patch(json_bytes(document_of(one)));
    }
    const std::optional<DocumentValues> values = command_.document_values(c_, &why);
    if (!values) co_return c_.usage(why.isEmpty() ? QStringLiteral("%1 cannot go through a hub").arg(name) : why);
    co_return co_await patch(json_bytes(document_of(*values)));
  }

 private:
  // The hub's state document; nothing (the error printed, the exit code in
  // exit_) when it cannot be had, or when the hub's link is not up and
  // `stale_too` is false (a stale state is no report of the device).
  QCoro::Task<std::optional<QJsonObject>> read_state(bool stale_too = false) {
    const HubAnswer answer = co_await door_.call("GET", QStringLiteral("/api/v1/state"));
    if (answer.status != 200) {
      exit_ = door_.fail(answer);
      co_return std::nullopt;
    }
    const QJsonObject state = answer.json();
    const QJsonObject link = state.value(QLatin1String(kLinkKey)).toObject();
    if (link.value(QLatin1String("state")).toString() != QLatin1String("up")) {
      const QString reason = link.value(QLatin1String("reason")).toString();
      door_.error(QStringLiteral("the hub's link to the device (%1) is %2 since %3%4: what it holds may be stale")
                      .arg(link.value(QLatin1String("target")).toString(), link.value(QLatin1String("state")).toString(),
                           link.value(QLatin1String("since")).toString(),
                           reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
      exit_ = exit_code::LinkError;
      if (!stale_too) co_return std::nullopt;
    }
    co_return state;
  }

  QCoro::Task<int> status() {
    const bool partial = c_.parser().isSet(QStringLiteral("partial"));
    exit_ = exit_code::Done;
    const std::optional<QJsonObject> state = co_await read_state(partial);
    if (!state) co_return exit_;
    if (c_.parser().isSet(QStringLiteral("json"))) c_.print_json(*state, true);
    else c_.print(to_text(*state));
    co_return exit_;
  }

  // A setting's value as the hub holds it.
  QCoro::Task<int> get() {
    const QString name = command_.name();
    QStringList paths;
    if (name == QLatin1String("route")) {
      const int channel = c_.args().isEmpty() ? 0 : output_of(c_.args()[0]).value_or(-1);
      if (channel < 0) co_return c_.usage("not an output: " + c_.args()[0]);
      const Parameter& routing = row_of(Aspect::Routing);
      paths << (channel ? QString::fromStdString(routing.path_of(channel))
                        : QString::fromStdString(routing.path_of(1)).section(u'.', 0, 0));
    } else {
      const Parameter* row = rows_of(name).empty() ? nullptr : rows_of(name).front();
      if (name == QLatin1String("resolution")) paths << QStringLiteral("resolution") << QStringLiteral("resolution_name");
      else if (row && row->in_document) paths << QString::fromStdString(row->path_of(1));
      else co_return c_.usage(QStringLiteral("missing arguments"));
    }
    const std::optional<QJsonObject> state = co_await read_state();
    if (!state) co_return exit_;
    const QJsonObject part = partial_document(*state, paths);
    QStringList lines;
    for (const Field& field : document_fields()) {
      if (!(field.path == paths.front() || field.path.startsWith(paths.front() + '.'))) continue;
      const QJsonValue value = value_at(*state, field.path);
      if (value.isNull()) {
        door_.error(field.path + QStringLiteral(": the hub does not know it"));
        co_return exit_code::NoAnswer;
      }
      QString text = field.kind == Field::Kind::Flag ? (value.toBool() ? "on" : "off") : field.text(value);
      if (field.path == QLatin1String("resolution") && value_at(*state, paths[1]).isString())
        text += ' ' + value_at(*state, paths[1]).toString();
      if (name == QLatin1String("route") && paths.front() == field.path.section(u'.', 0, 0))
        text = field.path.section(u'.', 1) + ' ' + text;
      lines << text;
    }
    if (c_.parser().isSet(QStringLiteral("json"))) c_.print_json(part);
    else c_.print(lines.join('\n') + '\n');
    co_return exit_code::Done;
  }

  // A partial document through PATCH: the failures named, apply's exit
  // code; with `lines`, each change's line once the device holds it (apply's report).
  QCoro::Task<int> patch(const QByteArray& document, bool lines = false, bool dry_run = false) {
    const HubAnswer answer = co_await door_.call(
        "PATCH", dry_run ? QStringLiteral("/api/v1/state?dry_run=true") : QStringLiteral("/api/v1/state"), document);
    const QJsonObject json = answer.json();
    if (answer.status == 0 || !json.contains(QLatin1String("changes"))) co_return door_.fail(answer);
    const ApplyReport report = ApplyReport::from_json(json);
    for (const AppliedChange& applied : report.changes)
      if (lines && (applied.result == ChangeResult::Planned || applied.result == ChangeResult::Held))
        c_.print(applied.change.line() + '\n');
    co_return report_failures([this](const QString& line) { door_.error(line); },
                              door_.timed_out() ? door_.timeout_reason() : QString(), report);
  }

  QCoro::Task<int> apply() {
    int code = exit_code::Done;
    const std::optional<QByteArray> bytes = read_apply_document(c_, &code);
    if (!bytes) co_return code;
    co_return co_await patch(*bytes, true, c_.parser().isSet(QStringLiteral("dry-run")));
  }

  // One of the device's own commands, carried by the hub; its answer printed by `send`.
  QCoro::Task<int> send_line(const std::string& line, bool print = false) {
    const QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())).remove(u'\r');
    QJsonObject body;
    body.insert(QStringLiteral("line"), text);
    const HubAnswer answer = co_await door_.call("POST", QStringLiteral("/api/v1/send"), json_bytes(body));
    const QJsonValue reply = answer.json().value(QLatin1String("reply"));
    if (print && reply.isString() && (answer.status == 200 || answer.status == 409)) c_.print(reply.toString() + '\n');
    co_return answer.status == 200 ? exit_code::Done : door_.fail(answer);
  }

  QCoro::Task<int> send_text(const QString& text) {
    const bool printable = std::all_of(text.begin(), text.end(), [](QChar ch) { return ch >= ' ' && ch <= '~'; });
    if (text.size() < 3 || text.size() > 64 || !printable)
      co_return c_.usage("a command is 3 to 64 printable ASCII characters: " + text);
    co_return co_await send_line(text.toStdString(), true);
  }

  QCoro::Task<int> picture() {
    const QStringList& a = c_.args();
    if (a.size() == 1 && a[0].toLower() == QLatin1String("reset"))
      co_return co_await send_line(set_command(row_of(Aspect::PictureReset), 2));
    if (a.size() != 3) co_return c_.usage(QStringLiteral("expected an output, a setting and a value, or reset"));
    QString why;
    const std::optional<ClientMatch> match = match_words(QStringLiteral("picture"), a, &why);
    if (!match) co_return c_.usage(why);
    const std::optional<QJsonObject> state = co_await read_state();
    if (!state) co_return exit_;
    const int mode =
        names_of(row_of(Aspect::Mode)).value_of_word(state->value(QLatin1String("mode")).toString()).value_or(mode_no::Matrix);
    const bool matrix = mode == mode_no::Matrix;
    if (matrix && match->channel != 0) co_return c_.usage(QStringLiteral("the Matrix mode adjusts the picture as a whole: use all"));
    DocumentValues list;
    const Parameter& row = *match->row;
    if (matrix) list.push_back({QString::fromStdString(row.path_of(0, mode_no::Matrix)), match->value});
    for (int channel = 1; !matrix && channel <= row.channels; ++channel)
      if (match->channel == 0 || match->channel == channel)
        list.push_back({QString::fromStdString(row.path_of(channel, mode)), match->value});
    co_return co_await patch(json_bytes(document_of(list)));
  }

  // The event stream: each record as the direct watch prints it; the
  // stream's own loss and return are records too, and it is opened again.
  QCoro::Task<int> watch() {
    const bool json = c_.parser().isSet(QStringLiteral("json"));
    bool failed = false;  // standard output cannot be written
    auto print = [&](const QJsonObject& record) {
      c_.print(QString::fromLatin1(json ? watch_json_line(record) : watch_text_line(record)));
      failed = failed || !output_error().isEmpty();
    };
    QWebSocket socket;
    QTimer pause;
    pause.setSingleShot(true);
    SignalWatch signals_;
    auto stop = [&] {
      socket.abort();
      pause.start(0);
    };
    QObject::connect(&signals_, &SignalWatch::received, &door_, [&] { door_.interrupt(); });
    QObject::connect(&door_, &HubDoor::ended, &socket, stop);
    QString lost;          // why the device's link or the stream is lost; empty while all is well
    bool device_up = true;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket, [&](const QString& text) {
      const QJsonObject record = QJsonDocument::fromJson(text.toUtf8()).object();
      const QString event = record.value(QLatin1String("event")).toString();
      if (event == QLatin1String("state")) {
        // The snapshot: a device found away is said at once.
        const QJsonObject link = record.value(QLatin1String("state")).toObject().value(QLatin1String(kLinkKey)).toObject();
        if (device_up && link.value(QLatin1String("state")).toString() == QLatin1String("down")) {
          device_up = false;
          lost = link.value(QLatin1String("reason")).toString();
          print(WatchDecoder::lost_record(lost, QDateTime::currentDateTime()));
        }
        return;
      }
      if (event == QLatin1String("lost")) {
        if (!device_up) return;
        device_up = false;
        lost = record.value(QLatin1String("reason")).toString();
      } else if (event == QLatin1String("back")) {
        device_up = true;
        lost.clear();
      }
      print(record);
      if (failed) stop();
    });
    auto running = [&] { return !door_.interrupted() && !door_.timed_out() && !failed; };
    // The pauses before the stream is opened again, as the link's own (the last repeats).
    const std::vector<int> pauses(std::begin(LinkOpener::kRetryMs), std::end(LinkOpener::kRetryMs));
    int tries = 0;
    bool was_open = false;
    while (running()) {
      QNetworkRequest request = door_.request(QString());
      request.setUrl(door_.events_url());
      door_.verbose(QStringLiteral("> GET %1 (WebSocket)").arg(door_.events_url().toString()));
      const bool opened = co_await qCoro(socket).open(request, 5000ms);
      if (!running()) break;
      if (!opened || socket.state() != QAbstractSocket::ConnectedState) {
        const QString why = socket.closeReason().isEmpty() ? socket.errorString() : socket.closeReason();
        socket.abort();
        if (!was_open) {
          door_.error(QStringLiteral("cannot open the event stream: ") + why);
          co_return exit_code::LinkError;
        }
        pause.start(pauses[std::min<std::size_t>(static_cast<std::size_t>(tries++), pauses.size() - 1)]);
        co_await qCoro(&pause, &QTimer::timeout);
        continue;
      }
      if (was_open) {
        // The stream is back: its snapshot tells whether the device is too.
        print(WatchDecoder::back_record(describe_hub(), QDateTime::currentDateTime()));
        lost.clear();
      }
      was_open = true;
      tries = 0;
      if (socket.state() == QAbstractSocket::ConnectedState) co_await qCoro(&socket, &QWebSocket::disconnected);
      if (!running()) break;
      // A refusal after the handshake (the token) ends the run.
      if (socket.closeCode() == QWebSocketProtocol::CloseCodePolicyViolated) {
        const QString why = socket.closeReason();
        door_.error(QStringLiteral("the hub closed the event stream: ") + why +
                    (why.contains(QStringLiteral("token"))
                         ? QStringLiteral(" (give the token with --token-file FILE or QUADREL_HUB_TOKEN)")
                         : QString()));
        co_return exit_code::LinkError;
      }
      lost = socket.closeReason().isEmpty() ? QStringLiteral("the hub closed the event stream") : socket.closeReason();
      device_up = true;
      print(WatchDecoder::lost_record(lost, QDateTime::currentDateTime()));
      socket.abort();
    }
    socket.disconnect();
    socket.abort();
    if (!lost.isEmpty() && !failed) {
      door_.error(lost);
      co_return exit_code::LinkError;
    }
    co_return exit_code::Done;
  }

  QString describe_hub() const { return door_.describe(); }

  const Command& command_;
  Context& c_;
  HubDoor& door_;
  int exit_ = exit_code::Done;
};

}  // namespace

QCoro::Task<int> run_on_hub(const Command& command, Context& c) {
  QString why;
  const std::optional<QUrl> url = hub_url(c.link().hub, &why);
  if (!url) co_return c.usage(why);
  QByteArray token;
  if (!hub_token(c.link().token_file, &token, &why)) co_return c.usage(why);
  HubDoor door(command.name(), *url, token, c.link().verbose, c.link().timeout_s);
  HubRun run(command, c, door);
  co_return co_await run.run();
}

}  // namespace quadrel::cli
