// The status line: a command that goes unanswered or is refused is said there,
// never in a modal box, and the next answered command clears it; the link's
// state is shown there and as the Connect button's checked state.
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "panel/status_line.h"
#include "panel_fixture.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

class TestStatusLine : public QObject {
  Q_OBJECT

 private slots:
  void an_unanswered_command_is_said_data() {
    QTest::addColumn<bool>("ethernet");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("said");  // %1: the link
    QTest::newRow("serial, silent") << false << "silent" << "VER" << "No answer to VER999 on %1";
    QTest::newRow("tcp, silent") << true << "silent" << "VER" << "No answer to VER999 on %1";
    QTest::newRow("serial, refused") << false << "err" << "VR2" << "VR2999 refused by the device (ERR)";
  }
  void an_unanswered_command_is_said() {
    QFETCH(bool, ethernet);
    QFETCH(QString, fault);
    QFETCH(QString, code);
    QFETCH(QString, said);
    PanelFixture fx({.link = ethernet ? PanelFixture::Link::Ethernet : PanelFixture::Link::Serial});
    StatusLine& line = fx.main().status_line();
    const QString link = ethernet ? QStringLiteral("127.0.0.1:%1").arg(fx.sim().tcp_port())
                                  : QStringLiteral("COM1 (%1)").arg(fx.sim().pty_path());
    QVERIFY(fx.wait_for([&] { return line.link_text() == "Connected to " + link; }));
    corvane::Faults faults;
    (fault == "silent" ? faults.silent : faults.err) = {code};
    fx.sim().set_faults(faults);

    QElapsedTimer clock;
    clock.start();
    fx.click(fx.c().cmd_ver);
    // Said as the exchange ends (its limit is 0.6 s on serial, 1.2 s over TCP).
    QCOMPARE(line.notice_text(), said.arg(link));
    QVERIFY(clock.elapsed() < (ethernet ? 1202 : 602) + 500);
    QVERIFY(fx.messages().isEmpty());

    fx.sim().set_faults({});
    fx.click(fx.c().cmd_ver);
    QCOMPARE(line.notice_text(), QString());
  }

  void a_command_dropped_while_another_waits_is_said() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    corvane::Faults faults;
    faults.silent = {"VER"};
    fx.sim().set_faults(faults);
    QString dropped;
    QTimer::singleShot(50, fx.c().cmd_mute, [&] {
      fx.c().cmd_mute->click();
      dropped = fx.main().status_line().notice_text();
    });
    fx.click(fx.c().cmd_ver);
    QCOMPARE(fx.received(), QStringList{"VER999"});
    QCOMPARE(dropped, QStringLiteral("AUD001 not sent: another command was still waiting for its answer"));
    // The time-out is said last.
    QVERIFY(fx.main().status_line().notice_text().startsWith(QStringLiteral("No answer to VER999")));
  }

  void the_link_state_follows_the_link() {
    PanelFixture fx;
    StatusLine& line = fx.main().status_line();
    QVERIFY(fx.wait_for([&] { return fx.c().cmd_conn->isChecked(); }));
    fx.click(fx.c().cmd_disconn);
    QVERIFY(fx.wait_for([&] { return line.link_text() == QStringLiteral("Not connected"); }));
    QVERIFY(!fx.c().cmd_conn->isChecked());
    // A click never checks the button by itself; the open port does.
    fx.click(fx.c().cmd_conn);
    QVERIFY(fx.wait_for([&] { return line.link_text().startsWith(QStringLiteral("Connected to COM1")); }));
    QVERIFY(fx.c().cmd_conn->isChecked());

    fx.click(fx.c().opt_interface[1]);
    QVERIFY(fx.wait_for([&] { return line.link_text() == QStringLiteral("Not connected"); }));
    QVERIFY(!fx.c().cmd_conn->isChecked() && !fx.c().cmd_conn_eth->isChecked());
    QVERIFY(fx.connect_ethernet());
    QVERIFY(fx.wait_for([&] { return fx.c().cmd_conn_eth->isChecked(); }));
    QCOMPARE(line.link_text(), QStringLiteral("Connected to 127.0.0.1:%1").arg(fx.sim().tcp_port()));
  }

  // A link lost on the device's side is shown as lost before anyone is told,
  // and stays so through the commands that follow.
  void a_lost_link_is_shown_at_once_data() {
    QTest::addColumn<bool>("ethernet");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("message");  // empty: none
    QTest::newRow("tcp dropped") << true << "drop" << "Ethernet is disconnected !";
    QTest::newRow("tcp ended by EXT") << true << "ext" << "";
    QTest::newRow("serial unplugged") << false << "unplug" << "RS232 port is disconnected !";
  }
  void a_lost_link_is_shown_at_once() {
    QFETCH(bool, ethernet);
    QFETCH(QString, cause);
    QFETCH(QString, message);
    PanelFixture fx({.link = ethernet ? PanelFixture::Link::Ethernet : PanelFixture::Link::Serial});
    StatusLine& line = fx.main().status_line();
    QVERIFY(fx.wait_for([&] { return line.link_text().startsWith(QStringLiteral("Connected to ")); }));
    QString shown_with_message;
    fx.notifier().on_message = [&](const std::string&, MessageIcon) { shown_with_message = line.link_text(); };
    if (cause == "drop")
      fx.sim().drop_connection();
    else if (cause == "ext")
      fx.sim().send_ext();
    else
      fx.sim().unplug_pty();
    QVERIFY(fx.wait_for([&] { return line.link_text() == QStringLiteral("Not connected"); }));
    fx.settle(50);
    if (message.isEmpty()) {
      QVERIFY(fx.messages().isEmpty());
    } else {
      QCOMPARE(fx.messages().size(), 1);
      QVERIFY(fx.messages().first().startsWith(message));
      QCOMPARE(shown_with_message, QStringLiteral("Not connected"));
    }
    QVERIFY(!(ethernet ? fx.c().cmd_conn_eth : fx.c().cmd_conn)->isChecked());
    fx.notifier().on_message = nullptr;
    fx.click(fx.c().cmd_refresh);
    QCOMPARE(line.link_text(), QStringLiteral("Not connected"));
    QCOMPARE(line.notice_text(), QStringLiteral("VER999 not sent: not connected"));
  }
};

QTEST_MAIN(TestStatusLine)
#include "test_status_line.moc"
