// The state document, the apply plan and engine, and the watch records: the link library's part of every front end.
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include "device_rig.h"
#include "link/apply_plan.h"
#include "link/state_document.h"
#include "link/watch_record.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;

namespace {

// The state a device reporting these replies is in ("MOD005 OUT002 INP003").
DeviceState state_of(const QString& replies) {
  DeviceModel model;
  for (const QString& line : replies.split(u' ', Qt::SkipEmptyParts)) model.apply(line.toStdString());
  return model.state();
}

QJsonObject object_of(const QByteArray& json) { return QJsonDocument::fromJson(json).object(); }

// The value at a dotted path.
QJsonValue at(const QJsonObject& document, const QString& path) {
  QJsonValue value = document;
  for (const QString& key : path.split(u'.')) value = value.toObject().value(key);
  return value;
}

// Every path of a document, with the type of its value.
QStringList paths(const QJsonObject& object, const QString& prefix = {}) {
  QStringList list;
  for (auto it = object.begin(); it != object.end(); ++it) {
    const QString path = prefix.isEmpty() ? it.key() : prefix + '.' + it.key();
    if (it.value().isObject())
      list += paths(it.value().toObject(), path);
    else
      list << path;
  }
  return list;
}

QString errors_text(const QJsonObject& document) {
  std::vector<DocumentError> errors;
  const auto wanted = read_wanted(document, &errors);
  QStringList lines;
  for (const DocumentError& error : errors) lines << error.text();
  return wanted ? QStringLiteral("ok") : lines.join(u'\n');
}

QStringList plan_lines(const DeviceState& now, const QByteArray& document) {
  std::vector<DocumentError> errors;
  const auto wanted = read_wanted(object_of(document), &errors);
  if (!wanted) return {QStringLiteral("document: ") + errors.front().text()};
  const ApplyPlan plan = plan_apply(now, *wanted);
  QStringList lines;
  for (const DocumentError& error : plan.errors) lines << "error " + error.text();
  for (const PlannedChange& change : plan.changes) lines << change.line();
  return lines;
}

// Reads everything `status` shows, as the client does before applying.
void read_everything(Device& device) {
  awaited(device.refresh(true));
  awaited(device.hdcp_refresh());
  awaited(device.label_in_refresh());
  awaited(device.dual_pip_refresh());
  awaited(device.query_network());
}

}  // namespace

class LinkDocumentTest : public QObject {
  Q_OBJECT

 private slots:
  void one_shape_whatever_the_mode() {
    const QStringList shape = paths(to_json(DeviceState{}, {}));
    for (const char* replies : {"MOD001 BRI010", "MOD003 INP002", "MOD004 PPO013 PSZ022", "MOD005 BRI610"}) {
      const QJsonObject document = to_json(state_of(replies), {});
      QCOMPARE(paths(document), shape);
      QCOMPARE(document.value("schema"), QJsonValue(1));
    }
    // Each mode shows its own pictures and nothing of the others'.
    const QJsonObject matrix = to_json(state_of("MOD001 BRI010"), {});
    QCOMPARE(at(matrix, "picture.all.brightness"), QJsonValue(10));
    QCOMPARE(at(matrix, "picture.A.brightness"), QJsonValue());
    const QJsonObject quad = to_json(state_of("MOD005 BRI610"), {});
    QCOMPARE(at(quad, "picture.D.brightness"), QJsonValue(10));
    QCOMPARE(at(quad, "picture.all.brightness"), QJsonValue());
    QCOMPARE(at(to_json(state_of("MOD004 PPO013"), {}), "pip.A.corner"), QJsonValue("lower-left"));
    QCOMPARE(at(to_json(state_of("MOD005 PPO013"), {}), "pip.A.corner"), QJsonValue());
  }

  void addresses_without_zero_padding_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("shown");
    QTest::newRow("padded") << "192.168.001.010" << "192.168.1.10";
    QTest::newRow("zeros") << "000.000.000.000" << "0.0.0.0";
    QTest::newRow("plain") << "10.1.2.3" << "10.1.2.3";
    QTest::newRow("not an address") << "192.168.1" << "192.168.1";
  }
  void addresses_without_zero_padding() {
    QFETCH(QString, device);
    QFETCH(QString, shown);
    DeviceState s;
    s.ip = device.toStdString();
    QCOMPARE(at(to_json(s, {}), "network.ip").toString(), shown);
  }

  void takes_what_it_prints() {
    DeviceState s = state_of("MOD005 INP003 RES007 ASP002 BRI210 CON020 HUE730 SAT400 BEZ001 BEH017 BEV150 "
                             "AUD000 AUE003 AUA002 AUB001 AUQ004 LCK001 HPI021 HPO041 LAB001 PWR000");
    s.labels = {"Stage Left", "", "A", "ABCDEFGHIJKL"};
    s.version = "1.23";
    s.ip = "192.168.001.100";
    std::vector<DocumentError> errors;
    const auto wanted = read_wanted(to_json(s, {"640x480"}), &errors);
    QVERIFY(wanted);
    // Every value that can be set and is known, in its printed spelling; nothing read-only.
    int settable = 0;
    for (const Field& field : document_fields()) {
      const QJsonValue value = field.get(s, {});
      if (field.read_only || value.isNull()) {
        QVERIFY2(wanted->value(field.path).isUndefined(), qPrintable(field.path));
        continue;
      }
      QCOMPARE(wanted->value(field.path), value);
      ++settable;
    }
    QCOMPARE(static_cast<int>(wanted->values.size()), settable);
    // Power takes the command's word too.
    QCOMPARE(read_wanted(QJsonObject{{"power", "off"}}, &errors)->value("power"), QJsonValue("standby"));
  }

  void refuses_what_it_does_not_know_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("errors");
    QTest::newRow("misspelt key") << QByteArray(R"({"key-lock": true})")
                                  << "key-lock: unknown key; did you mean \"key_lock\"?";
    QTest::newRow("capitalised key") << QByteArray(R"({"Mode": "quad"})") << "Mode: unknown key; did you mean \"mode\"?";
    QTest::newRow("inner key") << QByteArray(R"({"routing": {"E": 1}})") << "routing.E: unknown key";
    QTest::newRow("every problem") << QByteArray(R"({"routing": {"a": 1, "B": 9}, "colour": 1})")
                                   << "colour: unknown key\nrouting.B: expected a whole number from 1 to 4\n"
                                      "routing.a: unknown key; did you mean \"A\"?";
    QTest::newRow("not an object") << QByteArray(R"({"bezel": 3})") << "bezel: expected an object";
    QTest::newRow("input 0") << QByteArray(R"({"routing": {"A": 0}})") << "routing.A: expected a whole number from 1 to 4";
    QTest::newRow("input 4") << QByteArray(R"({"routing": {"A": 4}})") << "ok";
    QTest::newRow("input 5") << QByteArray(R"({"routing": {"A": 5}})") << "routing.A: expected a whole number from 1 to 4";
    QTest::newRow("a fraction") << QByteArray(R"({"resolution": 1.5})") << "resolution: expected a whole number from 1 to 99";
    QTest::newRow("huge") << QByteArray(R"({"resolution": 1e300})") << "resolution: expected a whole number from 1 to 99";
    QTest::newRow("negative huge") << QByteArray(R"({"resolution": -1e300})")
                                   << "resolution: expected a whole number from 1 to 99";
    QTest::newRow("a number as text") << QByteArray(R"({"resolution": "7"})")
                                      << "resolution: expected a whole number from 1 to 99";
    QTest::newRow("bezel 254") << QByteArray(R"({"bezel": {"h": 254}})") << "ok";
    QTest::newRow("bezel 255") << QByteArray(R"({"bezel": {"h": 255}})") << "bezel.h: expected a whole number from 0 to 254";
    QTest::newRow("word") << QByteArray(R"({"mode": "sideways"})")
                          << "mode: expected one of matrix|dual-pop|tv-wall|dual-pip|quad";
    QTest::newRow("number for a word") << QByteArray(R"({"mode": 5})")
                                       << "mode: expected one of matrix|dual-pop|tv-wall|dual-pip|quad";
    QTest::newRow("flag") << QByteArray(R"({"key_lock": "on"})") << "key_lock: expected true or false";
    QTest::newRow("label of 12") << QByteArray(R"({"labels": {"text": {"1": "ABCDEFGHIJKL"}}})") << "ok";
    QTest::newRow("label of 13") << QByteArray(R"({"labels": {"text": {"1": "ABCDEFGHIJKLM"}}})")
                                 << "labels.text.1: a label holds at most 12 printable ASCII characters";
    QTest::newRow("label beyond ASCII") << QByteArray(R"({"labels": {"text": {"1": "\u00e9\u00e9\u00e9"}}})")
                                        << "labels.text.1: a label holds at most 12 printable ASCII characters";
    QTest::newRow("label with a tab") << QByteArray(R"({"labels": {"text": {"2": "a\tb"}}})")
                                      << "labels.text.2: a label holds at most 12 printable ASCII characters";
    QTest::newRow("read-only checked") << QByteArray(R"({"bezel": {"h_limit": 300}, "mode": "quad"})")
                                       << "bezel.h_limit: expected a whole number from 0 to 254";
    QTest::newRow("read-only skipped") << QByteArray(R"({"firmware": {"version": "1.23"}, "mode": "quad"})") << "ok";
    QTest::newRow("a hub's link skipped") << QByteArray(R"({"link": {"state": "down", "since": "2025-03-01T22:04:05.000Z",
        "reason": null, "target": "tcp 10.0.0.5:23"}, "mode": "quad"})") << "ok";
    QTest::newRow("a link that is no object") << QByteArray(R"({"link": "up", "mode": "quad"})")
                                              << "link: expected an object (the link's state, which is read-only)";
    QTest::newRow("schema 1") << QByteArray(R"({"schema": 1, "mode": "quad"})") << "ok";
    QTest::newRow("schema 2") << QByteArray(R"({"schema": 2, "mode": "quad"})")
                              << "schema: this program reads documents of schema 1";
    QTest::newRow("nothing asked") << QByteArray(R"({"schema": 1, "mode": null, "network": {"ip": "10.0.0.1"}})")
                                   << "asks for nothing: every value that can be set is missing or null";
  }
  void refuses_what_it_does_not_know() {
    QFETCH(QByteArray, document);
    QFETCH(QString, errors);
    QCOMPARE(errors_text(object_of(document)), errors);
  }

  void parses_at_most_one_mebibyte_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("error");
    const auto padded = [](qsizetype size) {
      QByteArray text = R"({"mode": "quad"})";
      return text + QByteArray(size - text.size(), ' ');
    };
    QTest::newRow("1 MiB") << padded(kMaxDocumentBytes) << "";
    QTest::newRow("1 MiB and a byte") << padded(kMaxDocumentBytes + 1) << "too big: more than 1048576 bytes (1 MiB)";
    QTest::newRow("not JSON") << QByteArray("{\"mode\": \"qu") << "not JSON: unterminated string at byte 13";
    QTest::newRow("an array") << QByteArray("[1]") << "not a JSON object";
  }
  void parses_at_most_one_mebibyte() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, error);
    QString why;
    const auto document = parse_document(bytes, &why);
    QCOMPARE(why, error);
    QCOMPARE(document.has_value(), error.isEmpty());
  }

  void plans_what_differs_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("plan");
    QTest::newRow("routing without a mode") << "MOD001 OUT001 INP001" << QByteArray(R"({"routing": {"A": 3}})")
                                            << QStringList{"OUT001 INP003  # routing.A: 1 -> 3"};
    QTest::newRow("partial, no mode") << "MOD005 OUT002 INP002 BRI250" << QByteArray(R"({"routing": {"B": 4},
                                          "picture": {"B": {"brightness": 60}}, "bezel": {"h": 3}})")
                                      << QStringList{"OUT002 INP004  # routing.B: 2 -> 4",
                                                     "BRI260  # picture.B.brightness: 50 -> 60",
                                                     "BEH003  # bezel.h: ? -> 3"};
    QTest::newRow("matching") << "MOD005 OUT002 INP002 BEH003" << QByteArray(R"({"mode": "quad", "routing": {"B": 2},
                                  "bezel": {"h": 3}})") << QStringList{};
    QTest::newRow("to quad, 1080i") << "MOD001 RES005 OUT001 INP001 ASP000"
                                    << QByteArray(R"({"mode": "quad", "resolution": 8, "routing": {"A": 1}})")
                                    << QStringList{"RES008  # resolution: 5 -> 8", "MOD005  # mode: matrix -> quad",
                                                   "OUT001 INP001  # routing.A: ? -> 1"};
    QTest::newRow("to matrix, 1080i") << "MOD005 RES008"
                                      << QByteArray(R"({"mode": "matrix", "resolution": 5, "aspect": "full",
                                                       "picture": {"all": {"hue": 10}}})")
                                      << QStringList{"MOD001  # mode: quad -> matrix", "RES005  # resolution: 8 -> 5",
                                                     "ASP000  # aspect: ? -> full", "HUE010  # picture.all.hue: ? -> 10"};
    QTest::newRow("to the wall") << "MOD001 OUT001 INP001"
                                 << QByteArray(R"({"mode": "tv-wall", "routing": {"A": 2, "B": 2, "C": 2, "D": 2}})")
                                 << QStringList{"MOD003  # mode: matrix -> tv-wall", "OUT001 INP002  # routing: ? -> 2"};
    QTest::newRow("on the wall") << "MOD003 INP002" << QByteArray(R"({"routing": {"C": 3}})")
                                 << QStringList{"OUT001 INP003  # routing: 2 -> 3"};
    QTest::newRow("power, lock and label") << "MOD001 PWR000 LCK000"
                                           << QByteArray(R"({"power": "on", "key_lock": true,
                                                 "labels": {"text": {"2": "Cam 2"}}, "hdcp": {"outputs": {"C": "output"}}})")
                                           << QStringList{"PWR001  # power: standby -> on",
                                                          "HPO031  # hdcp.outputs.C: ? -> output",
                                                          "LAI2Cam 2  # labels.text.2: ? -> \"Cam 2\"",
                                                          "LCK001  # key_lock: false -> true"};
    QTest::newRow("standby last") << "MOD001 PWR001 LCK000" << QByteArray(R"({"power": "standby", "key_lock": true})")
                                  << QStringList{"LCK001  # key_lock: false -> true", "PWR000  # power: on -> standby"};
    QTest::newRow("pip") << "MOD004 PPO011" << QByteArray(R"({"pip": {"A": {"corner": "ll"}}})")
                         << QStringList{"PPO013  # pip.A.corner: upper-right -> lower-left"};
    // What the device cannot take in the mode it will be in.
    QTest::newRow("whole picture in quad") << "MOD005" << QByteArray(R"({"picture": {"all": {"hue": 1}}})")
                                           << QStringList{"error picture.all.hue: the whole picture is the Matrix mode's; "
                                                          "the device will be in quad (picture.A to picture.D)"};
    QTest::newRow("a picture in matrix") << "MOD005" << QByteArray(R"({"mode": "matrix", "picture": {"A": {"hue": 1}}})")
                                         << QStringList{"error picture.A.hue: the Matrix mode has one picture (picture.all)"};
    QTest::newRow("pip in quad") << "MOD004" << QByteArray(R"({"mode": "quad", "pip": {"B": {"size": "off"}}})")
                                 << QStringList{"error pip.B.size: PiP is set in the Dual PiP mode only; the device will "
                                                "be in quad"};
    QTest::newRow("two inputs on the wall") << "MOD003" << QByteArray(R"({"routing": {"A": 1, "B": 2}})")
                                            << QStringList{"error routing: the TV Wall shows one input on every output: "
                                                           "routing.A to routing.D must be the same"};
  }
  void plans_what_differs() {
    QFETCH(QString, device);
    QFETCH(QByteArray, document);
    QFETCH(QStringList, plan);
    QCOMPARE(plan_lines(state_of(device), document), plan);
  }

  // The engine on the simulated device (the client's tests run it through the program).
  void puts_back_the_selected_output() {
    test::DeviceRig rig(0);
    rig.sim.device().state().mode = 5;
    rig.sim.device().state().channel = 3;
    read_everything(rig.device);
    awaited(rig.device.exchange("OUT003"));
    rig.sim.clear_log();
    const auto wanted = read_wanted(object_of(R"({"routing": {"A": 2}, "aspect": "keep"})"), nullptr);
    QCOMPARE(awaited(apply_state(rig.device, *wanted)).exit_code, 0);
    QCOMPARE(rig.sim.log(), (QStringList{"OUT001", "INP002", "INP999", "ASP004", "ASP999", "OUT003"}));
    QCOMPARE(rig.sim.device().state().channel, 3);
  }

  void cuts_lines_however_they_arrive_data() {
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("together") << QList<QByteArray>{"MNX001\rPWR000\r"} << QList<QByteArray>{"MNX001", "PWR000"};
    QTest::newRow("split") << QList<QByteArray>{"MO", "D00", "5\r"} << QList<QByteArray>{"MOD005"};
    QTest::newRow("line feeds") << QList<QByteArray>{"\r\nLCK001\r\n\r\n"} << QList<QByteArray>{"LCK001"};
    QTest::newRow("noise kept") << QList<QByteArray>{"\xff\x01MOD003\r"} << QList<QByteArray>{"\xff\x01MOD003"};
    QTest::newRow("255 bytes wait") << QList<QByteArray>{QByteArray(255, 'x')} << QList<QByteArray>{};
    QTest::newRow("256 bytes are let out") << QList<QByteArray>{QByteArray(257, 'x')}
                                           << QList<QByteArray>{QByteArray(256, 'x')};
  }
  void cuts_lines_however_they_arrive() {
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QList<QByteArray>, lines);
    WatchFramer framer;
    QList<QByteArray> got;
    for (const QByteArray& read : reads)
      for (const QByteArray& line : framer.push(read)) got << line;
    QCOMPARE(got, lines);
  }

  void decodes_each_line_data() {
    QTest::addColumn<QList<QByteArray>>("lines");  // the last one is checked
    QTest::addColumn<QString>("record");
    const QString time = R"("time":"2025-03-01T22:04:05.123Z")";
    QTest::newRow("mode") << QList<QByteArray>{"MOD005"}
                          << R"({"code":"MOD","field":"mode","line":"MOD005",)" + time + R"(,"value":"quad"})";
    QTest::newRow("input of the selected output") << QList<QByteArray>{"OUT002", "INP003"}
                                                  << R"({"code":"INP","field":"routing.B","line":"INP003",)" + time +
                                                         R"(,"value":3})";
    QTest::newRow("picture in quad") << QList<QByteArray>{"MOD005", "SAT610"}
                                     << R"({"code":"SAT","field":"picture.D.saturation","line":"SAT610",)" + time +
                                            R"(,"value":10})";
    QTest::newRow("power") << QList<QByteArray>{"PWR000"}
                           << R"({"code":"PWR","field":"power","line":"PWR000",)" + time + R"(,"value":"standby"})";
    QTest::newRow("menu key") << QList<QByteArray>{"MNX001"}
                              << R"({"code":"MNX","field":null,"line":"MNX001",)" + time + R"(,"value":null})";
    QTest::newRow("noise escaped") << QList<QByteArray>{"\xe9\x01LCK001"}
                                   << R"({"code":"LCK","field":"key_lock","line":"\u00e9\u0001LCK001",)" + time +
                                          R"(,"value":true})";
    QTest::newRow("no reply") << QList<QByteArray>{"hello"}
                              << R"({"code":null,"field":null,"line":"hello",)" + time + R"(,"value":null})";
  }
  void decodes_each_line() {
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, record);
    const QDateTime time = QDateTime::fromString("2025-03-01T22:04:05.123Z", Qt::ISODateWithMs);
    WatchDecoder decoder;
    QJsonObject last;
    for (const QByteArray& line : lines) last = decoder.line_record(line, time);
    QCOMPARE(QString::fromLatin1(watch_json_line(last)), record + '\n');
  }

  void link_events_are_records() {
    const QDateTime time = QDateTime::fromString("2025-03-01T22:04:05.000Z", Qt::ISODateWithMs);
    QCOMPARE(watch_json_line(WatchDecoder::lost_record("the device closed the connection", time)),
             QByteArray(R"({"event":"lost","reason":"the device closed the connection","time":"2025-03-01T22:04:05.000Z"})"
                        "\n"));
    QCOMPARE(watch_text_line(WatchDecoder::back_record("tcp 10.0.0.1:23", time)),
             QByteArray("2025-03-01T22:04:05.000Z link back: tcp 10.0.0.1:23\n"));
  }
};

QTEST_GUILESS_MAIN(LinkDocumentTest)
#include "test_link_document.moc"

