// Which client lines the hub carries to the device: the catalogue's codes and
// the values each takes, at their limits, and how each is carried.
#include <QTest>

#include "hub/command_rules.h"

using quadrel::hub::check_command;
using Kind = quadrel::hub::Command::Kind;

class TestHubCommands : public QObject {
  Q_OBJECT

 private slots:
  void lines_are_read_against_the_catalogue_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("kind");  // -1: no command
    const int no = -1, query = int(Kind::Query), setting = int(Kind::Setting), network = int(Kind::Network);
    QTest::newRow("mode, first") << "MOD001" << setting;
    QTest::newRow("mode, last") << "MOD005" << setting;
    QTest::newRow("mode 0") << "MOD000" << no;
    QTest::newRow("mode 6") << "MOD006" << no;
    QTest::newRow("mode query") << "MOD999" << query;
    QTest::newRow("mode limit query") << "MOD998" << no;
    QTest::newRow("resolution 99") << "RES099" << setting;
    QTest::newRow("resolution 100") << "RES100" << no;
    QTest::newRow("aspect 0") << "ASP000" << setting;
    QTest::newRow("aspect 5") << "ASP005" << no;
    QTest::newRow("picture row 1 top") << "BRI100" << setting;
    QTest::newRow("picture between rows") << "BRI101" << no;
    QTest::newRow("picture row 2 bottom") << "CON200" << setting;
    QTest::newRow("picture below row 2") << "CON199" << no;
    QTest::newRow("picture row 4 top") << "SAT700" << setting;
    QTest::newRow("picture beyond row 4") << "SAT701" << no;
    QTest::newRow("picture channel 4") << "HUE994" << query;
    QTest::newRow("picture channel 5") << "HUE995" << no;
    QTest::newRow("bezel top") << "BEH254" << setting;
    QTest::newRow("bezel beyond") << "BEH255" << no;
    QTest::newRow("bezel limit") << "BEV998" << query;
    QTest::newRow("power on") << "PWR001" << setting;
    QTest::newRow("power 2") << "PWR002" << no;
    QTest::newRow("versions") << "VR2999" << query;
    QTest::newRow("version set") << "VER001" << no;
    QTest::newRow("reset picture") << "RST002" << setting;
    QTest::newRow("reset query") << "RST999" << no;
    QTest::newRow("menu key") << "MNX001" << setting;
    QTest::newRow("menu key 2") << "MNX002" << no;
    QTest::newRow("preset 4") << "CAL004" << setting;
    QTest::newRow("preset 5") << "SAV005" << no;
    QTest::newRow("hdcp input 4 off") << "HPI041" << setting;
    QTest::newRow("hdcp input 5") << "HPI051" << no;
    QTest::newRow("hdcp value 2") << "HPO012" << no;
    QTest::newRow("hdcp without its 0") << "HPI111" << no;
    QTest::newRow("hdcp query") << "HPO994" << query;
    QTest::newRow("pip b lower left") << "PPO023" << setting;
    QTest::newRow("pip c") << "PSZ030" << no;
    QTest::newRow("pip size 4") << "PSZ014" << no;
    QTest::newRow("pip query b") << "PPO992" << query;
    QTest::newRow("pip query c") << "PPO993" << no;
    QTest::newRow("swap b") << "PSW002" << setting;
    QTest::newRow("labels shown") << "LAB001" << setting;
    QTest::newRow("label of 12") << "LAI4Camera Left2" << setting;
    QTest::newRow("label of 13") << "LAI4Camera Left23" << no;
    QTest::newRow("empty label") << "LAI1" << setting;
    QTest::newRow("label of input 5") << "LAI5Cam" << no;
    QTest::newRow("label query") << "LAI994" << query;
    QTest::newRow("label with a tab") << "LAI1a\tb" << no;
    QTest::newRow("ip query") << "EIP999" << network;
    QTest::newRow("gateway query") << "EGW999" << network;
    QTest::newRow("ip set") << "EIP001" << no;
    QTest::newRow("lower case") << "mod005" << no;
    QTest::newRow("device's own EXT") << "EXT001" << no;
    QTest::newRow("refusal") << "ERR999" << no;
    QTest::newRow("short") << "MOD05" << no;
    QTest::newRow("long") << "MOD0055" << no;
    QTest::newRow("sign") << "MOD+05" << no;
    QTest::newRow("space") << "MOD 05" << no;
    QTest::newRow("empty") << "" << no;
  }
  void lines_are_read_against_the_catalogue() {
    QFETCH(QString, line);
    QFETCH(int, kind);
    const auto command = check_command(line.toStdString());
    QCOMPARE(command ? int(command->kind) : -1, kind);
    if (command) QCOMPARE(QString::fromStdString(command->line), line);
  }

  // The device may answer a mode change or a preset only once it is done;
  // a network query names which address it asks for.
  void how_each_is_carried() {
    QVERIFY(check_command("MOD003")->late_reply);
    QVERIFY(check_command("CAL001")->late_reply);
    QVERIFY(check_command("SAV001")->late_reply);
    QVERIFY(!check_command("MOD999")->late_reply);
    QVERIFY(!check_command("OUT001")->late_reply);
    QCOMPARE(check_command("EIP999")->network, 0);
    QCOMPARE(check_command("EMK999")->network, 1);
    QCOMPARE(check_command("EGW999")->network, 2);
  }
};

QTEST_GUILESS_MAIN(TestHubCommands)
#include "test_hub_commands.moc"
