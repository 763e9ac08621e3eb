// The parameter table against everything that reads it: every row at the
// limits of its values, taken or refused alike by the model, the document's
// strict reading, apply's plan, the hub's line check and the client's words;
// each two-way report decoded into its own record; and how the hub carries
// the lines that are commands.
#include <QJsonObject>
#include <QTest>

#include "cli/client_words.h"
#include "hub/command_rules.h"
#include "link/apply_plan.h"
#include "link/core/parameters.h"
#include "link/state_document.h"
#include "link/watch_record.h"

using namespace quadrel;

namespace {

// The mode a row's value is set in: its own, Quad for the pictures of the channels.
int mode_for(const Parameter& row, int channel) {
  if (row.form == Form::Picture) return channel == 0 ? mode_no::Matrix : mode_no::Quad;
  for (int m = mode_no::Matrix; m <= mode_no::Quad; ++m)
    if (row.exists_in(m) && m != mode_no::TvWall) return m;
  return mode_no::Matrix;
}

// The command line that sets `value` of `channel`, written out as the device takes it.
QString line_of(const Parameter& row, int value, int channel) {
  const QString code = QString::fromLatin1(row.code);
  switch (row.form) {
    case Form::Pair: return code + '0' + QString::number(channel) + QString::number(value);
    case Form::Picture: return code + QString::number(200 * std::max(channel - 1, 0) + value).rightJustified(3, '0');
    case Form::Label: return code + QString::number(channel) + QString(value, u'x');
    default: return code + QString::number(value).rightJustified(3, '0');
  }
}

// The value as the document spells it (what is no value of the row stays a number).
QJsonValue document_value(const Parameter& row, int value) {
  switch (row.value) {
    case Value::Word: return row.word(value).empty() ? QJsonValue(value) : QJsonValue(names_of(row).word(value));
    case Value::Flag: return value == 0 || value == 1 ? QJsonValue(value == 1) : QJsonValue(value);
    case Value::Label: return QString(value, u'x');
    default: return value;
  }
}

// The client's arguments for it, from the row's words.
QStringList client_args(const Parameter& row, int value, int channel) {
  QStringList args = QString::fromLatin1(row.client).split(u' ', Qt::SkipEmptyParts).mid(1);
  // Words without a value name it as their channel (the PiP to swap).
  if (!args.contains(QStringLiteral("VALUE")) && !args.contains(QStringLiteral("TEXT"))) channel = value;
  for (QString& word : args) {
    if (word == u"@") word = output_letter(channel);
    else if (word == u"#") word = QString::number(channel);
    else if (word == u"*") word = channel == 0 ? QStringLiteral("all") : output_letter(channel);
    else if (word == u"TEXT") word = QString(value, u'x');
    else if (word == u"VALUE") word = row.word(value).empty() ? QString::number(value) : QString::fromLatin1(row.word(value));
    else word = word.section(u'|', 0, 0);
  }
  return args;
}

}  // namespace

class TestParameters : public QObject {
  Q_OBJECT

 private slots:
  void limits_are_read_alike_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("channel");
    QTest::addColumn<bool>("valid");
    for (const Parameter& row : parameters()) {
      if (!row.settable()) continue;
      const QString code = QString::fromLatin1(row.code);
      // A label's length, a value's range; a channel's range where it has channels.
      const int lo = row.form == Form::Label ? 0 : row.lo;
      const int hi = row.form == Form::Label ? static_cast<int>(kLongestLabel) : row.hi;
      const int channels = row.form == Form::Pair || row.form == Form::Label ? row.channels : 0;
      const int last = row.form == Form::Picture ? 4 : std::max(channels, 1);
      auto add = [&](int value, int channel, bool valid) {
        QTest::addRow("%s %d of %d", qPrintable(code), value, channel) << code << value << channel << valid;
      };
      add(hi, last, true);
      add(hi + 1, last, false);
      if (lo > 0 && lo < hi) add(lo, last, true);
      if (lo > 0) add(lo - 1, last, false);
      if (channels) add(lo, channels + 1, false);
      if (row.form == Form::Picture) add(hi, 0, true);
    }
  }
  void limits_are_read_alike() {
    QFETCH(QString, code);
    QFETCH(int, value);
    QFETCH(int, channel);
    QFETCH(bool, valid);
    const Parameter& row = *parameter(code.toStdString());
    const QString line = line_of(row, value, channel);
    const int mode = mode_for(row, channel);

    // The hub's line check, and the command the table builds.
    const auto checked = hub::check_command(line.toStdString());
    QCOMPARE(checked.has_value(), valid);
    if (checked) QCOMPARE(checked->kind, hub::Command::Kind::Setting);
    if (row.form != Form::Label)
      QCOMPARE(QString::fromStdString(set_command(row, value, channel, disp_mode_of(mode))), valid ? line : QString());

    // The model holds what a reply of the line says, and nothing else.
    DeviceModel model;
    model.apply("MOD00" + std::to_string(mode));
    if (row.aspect == Aspect::Routing) model.apply("OUT00" + std::to_string(channel));
    model.apply(line.toStdString());
    if (row.form == Form::Label) {
      const auto* text = row.text_in(model.state(), channel);
      QCOMPARE(text && *text && QString::fromStdString(**text) == QString(value, u'x'), valid);
    } else if (row.number || row.flag) {
      const std::optional<int> held = row.value_in(model.state(), std::max(channel, 1));
      QCOMPARE(held == value, valid);
    }

    // The document reads it strictly, and apply plans the same line.
    if (row.in_document) {
      const QString path = QString::fromStdString(row.path_of(channel, mode));
      QJsonObject document;
      QStringList parts = path.split(u'.');
      QJsonValue inner = document_value(row, value);
      while (parts.size() > 1) inner = QJsonObject{{parts.takeLast(), inner}};
      document[parts.front()] = inner;
      const auto wanted = read_wanted(document, nullptr);
      QCOMPARE(wanted.has_value(), valid);
      if (wanted) {
        const PlannedChange change = plan_change(*wanted->values.front().first, wanted->values.front().second, mode);
        QVERIFY2(change.command_texts().contains(line), qPrintable(change.command_texts().join(' ')));
      }
    }

    // The client's words name it (a menu key has no value to give).
    if (!row.client.empty() && (valid || row.client.find("VALUE") != std::string_view::npos ||
                                row.client.find("TEXT") != std::string_view::npos || channel > 1)) {
      const QString command = QString::fromLatin1(row.client).section(u' ', 0, 0);
      QString why;
      const auto match = cli::match_words(command, client_args(row, value, channel), &why);
      QVERIFY2(match.has_value() == valid || (row.form == Form::Label && value > static_cast<int>(kLongestLabel)),
               qPrintable(why));
      if (match && valid) QCOMPARE(match->row, &row);
    }
  }

  // A report of each two-way kind becomes the record of its own field.
  void reports_become_their_records_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("BEH") << "MOD001" << QByteArray("BEH120") << "bezel.h" << QJsonValue(120);
    QTest::newRow("BEV") << "MOD001" << QByteArray("BEV121") << "bezel.v" << QJsonValue(121);
    QTest::newRow("AUA") << "MOD002" << QByteArray("AUA002") << "audio.dual_a" << QJsonValue(2);
    QTest::newRow("AUB") << "MOD002" << QByteArray("AUB001") << "audio.dual_b" << QJsonValue(1);
    QTest::newRow("HPI") << "MOD001" << QByteArray("HPI031") << "hdcp.inputs.3" << QJsonValue("off");
    QTest::newRow("HPO") << "MOD001" << QByteArray("HPO041") << "hdcp.outputs.D" << QJsonValue("output");
    QTest::newRow("PPO") << "MOD004" << QByteArray("PPO023") << "pip.B.corner" << QJsonValue("lower-left");
    QTest::newRow("PSZ") << "MOD004" << QByteArray("PSZ012") << "pip.A.size" << QJsonValue("small");
    QTest::newRow("BRI whole") << "MOD001" << QByteArray("BRI075") << "picture.all.brightness" << QJsonValue(75);
    QTest::newRow("CON B") << "MOD005" << QByteArray("CON275") << "picture.B.contrast" << QJsonValue(75);
    QTest::newRow("HUE C") << "MOD005" << QByteArray("HUE450") << "picture.C.hue" << QJsonValue(50);
    QTest::newRow("SAT D") << "MOD005" << QByteArray("SAT600") << "picture.D.saturation" << QJsonValue(0);
  }
  void reports_become_their_records() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, line);
    QFETCH(QString, field);
    QFETCH(QJsonValue, value);
    DeviceModel start;
    start.apply(mode.toStdString());
    WatchDecoder decoder(start);
    const QJsonObject record = decoder.line_record(line, QDateTime::currentDateTime());
    QCOMPARE(record["field"].toString(), field);
    QCOMPARE(record["value"], value);
  }

  // Queries and what is no command at all.
  void lines_are_read_against_the_table_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");  // -1: no command
    const int no = -1, query = int(hub::Command::Kind::Query), network = int(hub::Command::Kind::Network);
    for (const Parameter& row : parameters()) {
      const QString code = QString::fromLatin1(row.code);
      const bool net = row.group == Read::Network;
      QTest::addRow("%s999", qPrintable(code)) << code + "999" << (row.has_query(query::Current) ? (net ? network : query) : no);
      QTest::addRow("%s998", qPrintable(code)) << code + "998" << (row.has_query(query::Limit) ? query : no);
      if (row.has_query(query::Channel)) {
        QTest::addRow("%s last channel", qPrintable(code)) << code + "99" + QString::number(row.channels) << query;
        QTest::addRow("%s channel beyond", qPrintable(code)) << code + "99" + QString::number(row.channels + 1) << no;
      }
    }
    QTest::newRow("label of 13") << "LAI4Camera Left23" << no;
    QTest::newRow("label with a tab") << "LAI1a\tb" << no;
    QTest::newRow("empty label") << "LAI1" << int(hub::Command::Kind::Setting);
    QTest::newRow("pair without its 0") << "HPI111" << no;
    QTest::newRow("picture between rows") << "BRI101" << no;
    QTest::newRow("picture beyond row 4") << "SAT800" << no;
    QTest::newRow("lower case") << "mod005" << no;
    QTest::newRow("device's own EXT") << "EXT001" << no;
    QTest::newRow("refusal") << "ERR999" << no;
    QTest::newRow("short") << "MOD05" << no;
    QTest::newRow("long") << "MOD0055" << no;
    QTest::newRow("sign") << "MOD+05" << no;
    QTest::newRow("space") << "MOD 05" << no;
    QTest::newRow("empty") << "" << no;
  }
  void lines_are_read_against_the_table() {
    QFETCH(QString, line);
    QFETCH(int, kind);
    const auto command = hub::check_command(line.toStdString());
    QCOMPARE(command ? int(command->kind) : -1, kind);
    if (command) QCOMPARE(QString::fromStdString(command->line), line);
  }

  // The device may answer a mode change or a preset only once it is done;
  // a network query names which address it asks for.
  void how_each_is_carried() {
    QVERIFY(hub::check_command("MOD003")->late_reply);
    QVERIFY(hub::check_command("CAL001")->late_reply);
    QVERIFY(hub::check_command("SAV001")->late_reply);
    QVERIFY(!hub::check_command("MOD999")->late_reply);
    QVERIFY(!hub::check_command("OUT001")->late_reply);
    QCOMPARE(hub::check_command("EIP999")->network, 0);
    QCOMPARE(hub::check_command("EMK999")->network, 1);
    QCOMPARE(hub::check_command("EGW999")->network, 2);
  }
};

QTEST_GUILESS_MAIN(TestParameters)
#include "test_link_parameters.moc"
