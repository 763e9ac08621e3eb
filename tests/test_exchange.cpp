// The command exchange and the receive paths against an in-process device.
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <QTest>

#include "capturing_notifier.h"
#include "fake_link.h"
#include "link/core/catalogue.h"
#include "link/core/framer.h"
#include "link/device_link.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::CapturingNotifier;
using quadrel::test::FakeLink;
using quadrel::test::RecordingConsole;

class ExchangeTest : public QObject {
  Q_OBJECT

  struct Rig {
    FakeLink serial;
    FakeLink tcp;
    RecordingConsole console;
    CapturingNotifier notifier;
    DeviceLink link;
    std::vector<std::string> handled;  // "rx_mod:MOD003" for every handler call

    explicit Rig(int iface = 0) {
      link.set_serial(&serial);
      link.set_tcp(&tcp);
      link.set_console(&console);
      link.set_notifier(&notifier);
      link.state().iface = iface;
      link.state().serial_open = iface == 0;
      link.state().eth_connected = iface == 1;
      for (const auto& entry : link.table().entries()) {
        const std::string name(entry.handler);
        link.table().set(entry.code, [this, name] { handled.push_back(name + ":" + link.rx_buf()); });
      }
      link.set_tim_rx_enabled(true);
    }
    FakeLink& device() { return link.state().iface == 1 ? tcp : serial; }
    void answer(const std::string& reply) {
      device().responder = [reply](const std::string&) { return reply; };
    }
  };

 private slots:
  void num3_pads_to_three_digits() {
    QCOMPARE(num3(0), std::string("000"));
    QCOMPARE(num3(5), std::string("005"));
    QCOMPARE(num3(42), std::string("042"));
    QCOMPARE(num3(100), std::string("100"));
    QCOMPARE(num3(254), std::string("254"));
  }

  void answered_command_runs_its_handler_once() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      rig.answer("MOD003\r");
      awaited(rig.link.tx_cmd("MOD999"));
      QVERIFY(rig.link.state().rx_flag);
      QCOMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD003"});
      QVERIFY(rig.link.rx_buf().empty());
      QVERIFY(!rig.link.state().tx_busy);
      QCOMPARE(rig.device().sent, std::vector<std::string>{"MOD999\r"});
      QCOMPARE(rig.console.text(), std::string("MOD999>MOD003\r "));
    }
  }

  void outcomes_of_an_exchange() {
    {  // another command's code: handled as a line of its own; no answer by the limit
      Rig rig;
      rig.answer("INP002\r");
      awaited(rig.link.tx_cmd("OUT001"));
      QVERIFY(!rig.link.state().rx_flag);
      QCOMPARE(rig.handled, std::vector<std::string>{"rx_inp:INP002"});
      QCOMPARE(rig.link.state().last_outcome, ExchangeOutcome::NoAnswer);
    }
    for (int iface : {0, 1}) {  // ...and the wait goes on for the command's own reply
      Rig rig(iface);
      rig.device().responder = [&](const std::string&) {
        rig.device().deliver("PWR000\r", 1);
        rig.device().deliver("MOD003\r", 50);
        return std::string();
      };
      awaited(rig.link.tx_cmd("MOD999"));
      QVERIFY(rig.link.state().rx_flag);
      QCOMPARE(rig.handled, (std::vector<std::string>{"rx_pwr:PWR000", "rx_mod:MOD003"}));
      QCOMPARE(rig.link.state().last_outcome, ExchangeOutcome::Answered);
    }
    {  // refused by the device: an answer, but no handler
      Rig rig;
      rig.answer("ERR\r");
      awaited(rig.link.tx_cmd("LCK001"));
      QVERIFY(rig.link.state().rx_flag);
      QVERIFY(rig.handled.empty());
    }
    {  // a code without a handler that matches the command: the menu keys
      Rig rig;
      rig.answer("MNX001\r");
      awaited(rig.link.tx_cmd("MNX001"));
      QVERIFY(rig.link.state().rx_flag);
      QVERIFY(rig.handled.empty());
    }
    {  // EXT answers no command: it ends the connection even while a command waits
      Rig rig(1);
      rig.link.table().set("EXT", [&] {
        rig.handled.push_back("rx_ext");
        rig.link.state().eth_connected = false;
      });
      rig.answer("EXT\r");
      QElapsedTimer clock;
      clock.start();
      awaited(rig.link.tx_cmd("MOD999"));
      QVERIFY(!rig.link.state().rx_flag);
      QCOMPARE(rig.handled, std::vector<std::string>{"rx_ext"});
      // The wait ended with the link, not at its time limit.
      QVERIFY(clock.elapsed() < 1000);
      QVERIFY(!rig.link.state().tx_busy);
    }
  }

  void silent_device_times_out_on_each_link() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      QElapsedTimer clock;
      clock.start();
      awaited(rig.link.tx_cmd("MOD999"));
      const qint64 elapsed = clock.elapsed();
      QVERIFY(!rig.link.state().rx_flag);
      QVERIFY(rig.handled.empty());
      QVERIFY2(elapsed >= (iface == 0 ? 600 : 1200), qPrintable(QString::number(elapsed)));
      QVERIFY(!rig.link.state().tx_busy);
      QVERIFY(!rig.link.waiting());
    }
  }

  void closed_link_refuses_and_leaves_the_console() {
    Rig rig;
    rig.link.state().serial_open = false;
    rig.link.state().rx_flag = true;
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(!rig.link.state().rx_flag);
    QVERIFY(rig.serial.sent.empty());
    QVERIFY(rig.console.text().empty());
    QCOMPARE(rig.notifier.texts, QStringList{"RS232 port is disconnected !"});
    QCOMPARE(rig.notifier.icons.front(), MessageIcon::Error);

    Rig eth(1);
    eth.link.state().eth_connected = false;
    awaited(eth.link.tx_nowait("BRI010"));
    QCOMPARE(eth.notifier.texts, QStringList{"Ethernet port is disconnected !"});
    QVERIFY(eth.tcp.sent.empty());
  }

  void a_send_during_a_wait_is_refused() {
    Rig rig;
    rig.serial.reply_delay_ms = 50;
    rig.answer("MOD003\r");
    // A click handled while the exchange waits tries to send.
    QTimer::singleShot(10, [&] {
      awaited(rig.link.tx_cmd("PWR001"));
      awaited(rig.link.tx_nowait("BRI010"));
    });
    awaited(rig.link.tx_cmd("MOD999"));
    QCOMPARE(rig.serial.sent, std::vector<std::string>{"MOD999\r"});
    // The outer exchange still takes its reply.
    QCOMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD003"});
  }

  void a_handler_may_send_when_the_receive_path_called_it() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      bool answered = false;
      rig.link.table().set("PWR", [&] {
        awaited(rig.link.tx_cmd("MOD999"));
        answered = rig.link.state().rx_flag;
      });
      rig.answer("MOD001\r");
      rig.device().deliver("PWR001\r");
      QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD001"});
      QVERIFY(answered);
      QCOMPARE(rig.device().sent, std::vector<std::string>{"MOD999\r"});
    }
  }

  void the_serial_poll_runs_again_after_tx_nowait() {
    Rig rig;
    // The reply to the slider comes through the serial poll.
    rig.serial.deliver("BEH020\r");
    awaited(rig.link.tx_nowait("BEH020"));
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_beh:BEH020"});
    rig.answer("MOD003\r");
    QElapsedTimer clock;
    clock.start();
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(rig.link.state().rx_flag);
    QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
  }

  void tx_nowait_sends_without_echo_and_the_reply_is_dispatched() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      rig.answer("BRI010\r");
      awaited(rig.link.tx_nowait("BRI010"));
      QCOMPARE(rig.device().sent, std::vector<std::string>{"BRI010\r"});
      QVERIFY(!rig.link.state().tx_busy);
      QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_bri:BRI010"});
      QCOMPARE(rig.console.text(), std::string("BRI010\r "));
    }
  }

  void a_reply_completing_inside_tx_nowait_is_dispatched() {
    Rig rig(1);
    rig.tcp.reply_delay_ms = 0;
    rig.answer("BEH020\r");
    // A reply is already on its way when tx_nowait sends.
    rig.tcp.deliver("BEV030\r");
    awaited(rig.link.tx_nowait("BEH020"));
    QTRY_COMPARE(rig.handled.size(), std::size_t(2));
    QCOMPARE(rig.handled[0], std::string("rx_bev:BEV030"));
    QCOMPARE(rig.handled[1], std::string("rx_beh:BEH020"));
  }

  void serial_reply_in_pieces_is_echoed_growing_and_handled_once() {
    Rig rig;
    rig.serial.deliver("MOD");
    QTRY_COMPARE(rig.console.text(), std::string("MOD "));
    QVERIFY(rig.handled.empty());
    rig.serial.deliver("003\r");
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD003"});
    QCOMPARE(rig.console.text(), std::string("MOD MOD003\r "));
    QVERIFY(rig.link.rx_buf().empty());
  }

  void replies_merged_in_one_read_are_each_handled_in_order() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      rig.device().deliver("MOD003\rOUT001\rPWR000\r");
      QTRY_COMPARE(rig.handled.size(), std::size_t(3));
      QCOMPARE(rig.handled, (std::vector<std::string>{"rx_mod:MOD003", "rx_out:OUT001", "rx_pwr:PWR000"}));
      QCOMPARE(rig.console.text(), std::string("MOD003\r OUT001\r PWR000\r "));
    }
  }

  void a_reply_behind_the_answer_is_handled_after_the_exchange() {
    for (int iface : {0, 1}) {
      // A line behind the answer, known or not, leaves the caller's flag alone.
      for (const char* behind : {"INP003\r", "?\r", "ERR\r"}) {
        Rig rig(iface);
        rig.answer(std::string("OUT002\r") + behind);
        awaited(rig.link.tx_cmd("OUT002"));
        QVERIFY(rig.link.state().rx_flag);
        QCOMPARE(rig.handled.front(), std::string("rx_out:OUT002"));
        QCOMPARE(rig.handled.size(), std::size_t(behind[0] == 'I' ? 2 : 1));
      }
    }
  }

  void cut_short_and_label_replies() {
    Rig rig;
    // Seven characters close a line without its carriage return; the last is dropped.
    rig.serial.deliver("PWR0001");
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_pwr:PWR000"});
    rig.handled.clear();
    // A label of 12 characters waits for its carriage return...
    rig.serial.deliver("LAI1ABCDEFGHIJKL");
    QTest::qWait(20);
    QVERIFY(rig.handled.empty());
    // ...and is handled whole when it comes.
    rig.serial.deliver("\r");
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_lai:LAI1ABCDEFGHIJKL"});
    rig.handled.clear();
    // A longer label is cut at 17 characters.
    rig.serial.deliver("LAI3ABCDEFGHIJKLMNOP\r");
    QTRY_VERIFY(!rig.handled.empty());
    QCOMPARE(rig.handled.front(), std::string("rx_lai:LAI3ABCDEFGHIJKL"));
  }

  void a_reply_arriving_while_a_handler_runs_is_framed_on_its_own() {
    for (int iface : {0, 1}) {
      for (bool from_exchange : {false, true}) {
        Rig rig(iface);
        std::vector<std::string> seen_by_bri;
        rig.link.table().set("BRI", [&] {
          seen_by_bri.push_back(rig.link.rx_buf());
          // The next reply comes in while the handler runs.
          rig.device().deliver("OUT002\r");
          seen_by_bri.push_back(rig.link.rx_buf());
        });
        if (from_exchange) {
          rig.answer("BRI050\r");
          awaited(rig.link.tx_cmd("BRI050"));
        } else {
          rig.device().deliver("BRI050\r");
        }
        QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_out:OUT002"});
        QCOMPARE(seen_by_bri, (std::vector<std::string>{"BRI050", "BRI050"}));
        QVERIFY(rig.link.rx_buf().empty());
        QVERIFY(!rig.link.state().tx_busy);
      }
    }
  }

  void line_noise_is_passed_over() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      // Noise before, inside and between replies, and a line feed after each.
      rig.device().deliver(std::string("\xff\x00\x80MO\x01" "D003\r\n\xfe\xfeOUT002\r\n", 22));
      QTRY_COMPARE(rig.handled.size(), std::size_t(2));
      QCOMPARE(rig.handled, (std::vector<std::string>{"rx_mod:MOD003", "rx_out:OUT002"}));
    }
  }

  void ifaces_data() {
    QTest::addColumn<int>("iface");
    QTest::newRow("serial") << 0;
    QTest::newRow("ethernet") << 1;
  }

  // The unread input is capped at 1 MiB: kept whole at the limit; past it the
  // oldest bytes go, the console says how many, and the newest line is handled.
  void the_unread_input_cap_is_noted_and_keeps_the_newest_line_data() {
    QTest::addColumn<int>("iface");
    QTest::addColumn<int>("over");  // bytes past the cap in the one read
    for (int iface : {0, 1}) {
      const char* link = iface == 0 ? "serial" : "ethernet";
      QTest::addRow("%s, exactly 1 MiB", link) << iface << 0;
      QTest::addRow("%s, 1 MiB and 1 byte", link) << iface << 1;
      QTest::addRow("%s, 1 MiB and 700 bytes", link) << iface << 700;
    }
  }
  void the_unread_input_cap_is_noted_and_keeps_the_newest_line() {
    QFETCH(int, iface);
    QFETCH(int, over);
    Rig rig(iface);
    const std::size_t cap = LineFramer::kMaxPending;
    // Line noise (no reply forms in it) up to the cap, then the newest line.
    std::string read(cap + static_cast<std::size_t>(over) - 7, '\x01');
    read += "PWR000\r";
    rig.device().deliver(read);
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_pwr:PWR000"});
    const std::string note = "[" + std::to_string(over) + " bytes of unread input dropped]";
    QCOMPARE(rig.console.history().find(note) != std::string::npos, over > 0);
    QCOMPARE(rig.console.history().find("bytes of unread input dropped") != std::string::npos, over > 0);
  }

  // A burst of lines that the handlers take several slices for: while it is
  // no bigger than the backlog kept (kBacklogKept), every line is handled,
  // once and in order; beyond it the oldest are passed over, said so, and
  // the newest are handled in order. Nothing here depends on the machine's
  // speed: the handlers take 20 us each, so every burst outlasts a slice.
  void a_burst_is_handled_whole_up_to_the_backlog_kept_data() {
    QTest::addColumn<int>("iface");
    QTest::addColumn<int>("lines");  // label lines of 17 bytes, each carrying its number
    QTest::addColumn<bool>("whole");
    for (int iface : {0, 1}) {
      const char* link = iface == 0 ? "serial" : "ethernet";
      QTest::addRow("%s, 15 KB", link) << iface << 900 << true;
      QTest::addRow("%s, 170 KB", link) << iface << 10000 << false;
    }
  }
  void a_burst_is_handled_whole_up_to_the_backlog_kept() {
    QFETCH(int, iface);
    QFETCH(int, lines);
    QFETCH(bool, whole);
    Rig rig(iface);
    std::vector<int> order;  // the number each handled line carried
    rig.link.table().set("LAI", [&] {
      order.push_back(std::stoi(rig.link.rx_buf().substr(4)));
      QElapsedTimer spin;
      spin.start();
      while (spin.nsecsElapsed() < 20'000) {}
    });
    std::string read;
    char line[32];
    for (int i = 0; i < lines; ++i) {
      std::snprintf(line, sizeof line, "LAI1%012d\r", i);
      read += line;
    }
    rig.device().deliver(read);
    QTRY_VERIFY_WITH_TIMEOUT(!order.empty() && order.back() == lines - 1, 5000);
    QVERIFY(std::is_sorted(order.begin(), order.end()));
    QVERIFY(std::adjacent_find(order.begin(), order.end()) == order.end());
    const bool said = rig.console.history().find(" reply lines dropped: they came faster than they could be handled]") !=
                      std::string::npos;
    if (whole) {
      QCOMPARE(order.size(), std::size_t(lines));
      QVERIFY(!said);
    } else {
      QVERIFY(order.size() < std::size_t(lines));
      // At least the backlog kept is handled, the newest lines.
      QVERIFY(order.size() >= DeviceLink::kBacklogKept / 17);
      QVERIFY(said);
    }
  }

  // Lines that come faster than their handlers get through: the oldest are
  // passed over (and said so), never the reply a command waits for, and what
  // is handled is handled once and in order.
  void behind_a_flood_of_lines_the_awaited_reply_still_comes_data() { ifaces_data(); }
  void behind_a_flood_of_lines_the_awaited_reply_still_comes() {
    QFETCH(int, iface);
    Rig rig(iface);
    std::vector<int> order;  // the number each handled PWR line carried
    rig.link.table().set("PWR", [&] {
      order.push_back(std::stoi(rig.link.rx_buf().substr(3)));
      QElapsedTimer spin;  // a handler that takes half a millisecond
      spin.start();
      while (spin.nsecsElapsed() < 500'000) {}
    });
    // 3,000 lines of the device's own (1.5 s of handling) before the answer,
    // 100 behind it.
    std::string reply;
    for (int i = 0; i < 3000; ++i) reply += "PWR" + num3(i % 1000) + "\r";
    reply += "MOD003\r";
    for (int i = 0; i < 100; ++i) reply += "PWR" + num3(i) + "\r";
    rig.answer(reply);
    QElapsedTimer clock;
    clock.start();
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(rig.link.state().rx_flag);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.link.state().last_outcome, ExchangeOutcome::Answered);
    QCOMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD003"});
    QVERIFY(order.size() < 3000);
    // The lines behind the answer are handled after it, all of them, in order.
    QTRY_VERIFY_WITH_TIMEOUT(order.size() >= 100 && order.back() == 99, 3000);
    for (std::size_t i = 1; i < 100; ++i) QCOMPARE(order[order.size() - 100 + i], int(i));
    QVERIFY(rig.console.history().find(" reply lines dropped: they came faster than they could be handled]") !=
            std::string::npos);
  }

  void unknown_and_err_replies_set_the_flag_per_path() {
    Rig serial;
    serial.serial.deliver("ERR\r");
    QTRY_VERIFY(!serial.console.text().empty());
    QVERIFY(!serial.link.state().rx_flag);
    QVERIFY(serial.handled.empty());

    Rig eth(1);
    eth.tcp.deliver("ERR\r");
    QTRY_VERIFY(!eth.console.text().empty());
    QVERIFY(eth.link.state().rx_flag);
    QVERIFY(eth.handled.empty());

    eth.tcp.deliver("EXT\r");
    QTRY_COMPARE(eth.handled, std::vector<std::string>{"rx_ext:EXT"});
    serial.serial.deliver("EXT\r");
    QTest::qWait(10);
    QVERIFY(serial.handled.empty());
  }

  void network_answer_of_sixteen_characters_is_held() {
    for (int iface : {0, 1}) {
      Rig rig(iface);
      rig.link.state().getip_state = 0;
      rig.device().deliver("192.168.001.100\r");
      QTRY_COMPARE(rig.link.state().getip_state, 3);
      QVERIFY(rig.handled.empty());
      QCOMPARE(rig.link.take_net_answer(), std::string("192.168.001.100\r"));
      QCOMPARE(rig.link.state().getip_state, 254);
      QVERIFY(rig.link.rx_buf().empty());
      // A reply is never taken for an answer, a 17-character label included.
      rig.link.state().getip_state = 1;
      rig.device().deliver("LAI2ABCDEFGHIJKL\rVER123\r");
      QTRY_COMPARE(rig.handled.size(), std::size_t(2));
      QCOMPARE(rig.handled.front(), std::string("rx_lai:LAI2ABCDEFGHIJKL"));
      QCOMPARE(rig.link.state().getip_state, 1);
    }
    // A shorter answer is an ordinary line.
    Rig rig;
    rig.link.state().getip_state = 0;
    rig.serial.deliver("192.168.1.100\r");
    QTest::qWait(20);
    QCOMPARE(rig.link.state().getip_state, 0);
  }

  void console_is_emptied_after_eighty_additions() {
    Rig rig;
    rig.answer("LCK001\r");
    rig.link.state().con_lines = 81;
    awaited(rig.link.tx_cmd("LCK001"));
    // The command first emptied the console, then its reply was added.
    QCOMPARE(rig.console.text(), std::string("LCK001>LCK001\r "));
    QCOMPARE(rig.link.state().con_lines, 2);
    QCOMPARE(rig.console.clears, 1);
    for (int i = 0; i < 200; ++i) awaited(rig.link.tx_cmd("LCK001"));
    QVERIFY(rig.link.state().con_lines <= 81);
    QVERIFY(rig.console.text().size() < 81 * 16);
  }

  void a_serial_port_that_never_drains_is_a_lost_link() {
    Rig rig;
    bool lost = false;
    QObject::connect(&rig.link, &DeviceLink::serial_lost, [&] { lost = true; });
    rig.serial.stuck_output = 10;
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(lost);
    QVERIFY(!rig.link.state().serial_open);
    QVERIFY(!rig.link.state().tx_busy);
    QCOMPARE(rig.notifier.texts.size(), 1);
    QVERIFY(rig.notifier.texts.front().startsWith("RS232 port is disconnected !"));
    QVERIFY(rig.serial.sent.empty());
  }

  void reboot_command_over_ethernet_runs_the_reboot_steps() {
    Rig rig(1);
    int reboots = 0;
    QObject::connect(&rig.link, &DeviceLink::ethernet_reboot, [&] {
      ++reboots;
      rig.link.state().eth_connected = false;
    });
    rig.tcp.reply_delay_ms = 5;
    rig.answer("RST001\r");
    awaited(rig.link.tx_cmd("RST001"));
    QCOMPARE(reboots, 1);
    // The reply that came during the reboot steps still reaches its handler.
    QCOMPARE(rig.handled, std::vector<std::string>{"rx_rst:RST001"});
    awaited(rig.link.tx_cmd("PWR000"));
    QCOMPARE(reboots, 1);
  }
};

QTEST_GUILESS_MAIN(ExchangeTest)
#include "test_exchange.moc"

