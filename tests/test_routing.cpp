// The output map: channel buttons, cell clicks, the routing reload and the
// OUT and INP replies, against the simulated device.
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "panel/routing.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

// What the map shows: per channel, which cells are green, which digits are
// shown and which borders are black; plus the highlighted buttons.
struct MapLook {
  QList<int> blue_buttons;
  QList<QList<int>> green, digits, black;
  QList<int> split_cells;  // channels with a cell whose shape and label disagree

  bool operator==(const MapLook&) const = default;
};

MapLook look(MainControls& c) {
  MapLook m;
  for (int ch = 1; ch <= 4; ++ch) {
    if (back_color(c.cmd_out[ch]) == colour::highlight_blue) m.blue_buttons << ch;
    QList<int> green, digits, black;
    for (int in = 1; in <= 4; ++in) {
      const ShapeWidget* shape = c.sha_out_in[ch][in];
      const QLabel* label = c.lab_out_in[ch][in];
      // One cell colour: the shape and its label always agree.
      if (shape->fill() != back_color(label) && !m.split_cells.contains(ch)) m.split_cells << ch;
      if (shape->fill() == colour::routed_green) green << in;
      if (!label->isHidden()) digits << in;
      if (shape->border() == colour::black) black << in;
      else if (shape->border() != colour::border_grey) black << -in;
    }
    m.green << green;
    m.digits << digits;
    m.black << black;
  }
  return m;
}

const QList<int> kAll{1, 2, 3, 4};

void power_up(PanelFixture& fx) {
  // The device reports that it is on, as after a refresh.
  if (!fx.device_says(QStringLiteral("PWR001"))) qWarning("the power report did not arrive");
}

void report_mode(PanelFixture& fx, int m) {
  awaited(fx.link().tx_cmd(("MOD00" + std::to_string(m)).c_str()));
  fx.idle();
  fx.clear_received();
}

}  // namespace

namespace QTest {
template <>
char* toString(const MapLook& m) {
  QString s = QStringLiteral("blue %1; split %2;")
                  .arg(QString::number(m.blue_buttons.value(0, 0)))
                  .arg(m.split_cells.size());
  for (int ch = 0; ch < 4; ++ch) {
    auto list = [](const QList<int>& l) {
      QStringList t;
      for (int v : l) t << QString::number(v);
      return t.join(',');
    };
    s += QStringLiteral(" [%1] g{%2} d{%3} b{%4}")
             .arg(ch + 1)
             .arg(list(m.green.value(ch)), list(m.digits.value(ch)), list(m.black.value(ch)));
  }
  return qstrdup(qPrintable(s));
}
}  // namespace QTest

class RoutingTest : public QObject {
  Q_OBJECT

 private slots:
  // Eight commands read every channel; the fourth ends up current.
  void a_complete_map_refresh() {
    PanelFixture fx;
    power_up(fx);
    fx.device().state().inputs = {3, 1, 4, 2};

    awaited(fx.model().map_refresh());

    QCOMPARE(fx.received(), (QStringList{"OUT001", "INP999", "OUT002", "INP999", "OUT003",
                                         "INP999", "OUT004", "INP999"}));
    QCOMPARE(fx.model().sel_out(), 4);
    MapLook want;
    want.blue_buttons = {4};
    want.green = {{3}, {1}, {4}, {2}};
    want.digits = {{3}, {1}, {4}, kAll};
    want.black = {{}, {}, {}, kAll};
    QCOMPARE(look(fx.c()), want);
  }

  // The reload stops at the first command the device leaves unanswered, and
  // an "ERR" counts as an answer.
  void a_map_refresh_that_breaks_off() {
    PanelFixture fx;
    power_up(fx);
    corvane::Faults faults;
    faults.silent = {"INP"};
    fx.sim().set_faults(faults);
    awaited(fx.model().map_refresh());
    QCOMPARE(fx.received(), (QStringList{"OUT001", "INP999"}));
    QCOMPARE(fx.model().sel_out(), 1);

    fx.clear_received();
    faults.silent.clear();
    faults.err = {"OUT"};
    fx.sim().set_faults(faults);
    awaited(fx.model().map_refresh());
    QCOMPARE(fx.received().size(), 8);
    QCOMPARE(fx.model().sel_out(), 1);  // no OUT reply came
  }

  // A channel button marks its block at once; the button turns blue with
  // the device's answer, and the input of the channel is read back.
  void choosing_a_channel() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.device().state().inputs = {1, 3, 2, 4};
    awaited(fx.model().map_refresh());
    fx.clear_received();

    MapLook at_send;
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(),
                     [&](const QString& line) {
                       if (line == "OUT002") at_send = look(c);
                     });
    fx.click(c.cmd_out[2]);

    QCOMPARE(fx.received(), (QStringList{"OUT002", "INP999"}));
    QCOMPARE(at_send.blue_buttons, QList<int>{4});
    QCOMPARE(at_send.black.value(1), kAll);
    QCOMPARE(at_send.digits.value(1), kAll);
    QCOMPARE(at_send.digits.value(3), QList<int>{4});
    QCOMPARE(fx.model().sel_out(), 2);
    MapLook want;
    want.blue_buttons = {2};
    want.green = {{1}, {3}, {2}, {4}};
    want.digits = {{1}, kAll, {2}, {4}};
    want.black = {{}, kAll, {}, {}};
    QCOMPARE(look(c), want);
  }

  // Only the digits of the current channel route; the device's reply paints.
  void clicking_a_cell() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    awaited(fx.model().map_refresh());  // channel 4 current, inputs 1..4
    fx.clear_received();

    fx.click(c.lab_out_in[1][1]);  // the shown, routed digit of channel 1
    fx.click(c.lab_out_in[2][2]);
    fx.settle(20);
    QVERIFY(fx.received().isEmpty());

    fx.click(c.lab_out_in[4][3]);
    QCOMPARE(fx.received(), QStringList{"INP003"});
    QCOMPARE(fx.device().state().inputs[3], 3);
    QCOMPARE(look(c).green.value(3), QList<int>{3});
    QCOMPARE(look(c).digits.value(3), kAll);

    // The keyboard's path: the handler of another channel does nothing.
    fx.clear_received();
    fx.main().routing().lab_out_in_Click(3, 1);
    fx.main().routing().lab_out_in_Click(4, 2);
    fx.done();
    QCOMPARE(fx.received(), QStringList{"INP002"});
  }

  // When the OUT command is refused the block stays marked, the old channel
  // stays current, and the input read back belongs to it.
  void a_refused_channel_change() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.device().state().inputs = {2, 2, 2, 2};
    awaited(fx.model().map_refresh());
    fx.device().state().inputs[3] = 1;  // changed behind the panel's back
    corvane::Faults faults;
    faults.err = {"OUT"};
    fx.sim().set_faults(faults);
    fx.clear_received();

    fx.click(c.cmd_out[1]);

    QCOMPARE(fx.received(), (QStringList{"OUT001", "INP999"}));
    QCOMPARE(fx.model().sel_out(), 4);
    const MapLook m = look(c);
    QCOMPARE(m.blue_buttons, QList<int>{4});
    QCOMPARE(m.black.value(0), kAll);        // marked before the device answered
    QCOMPARE(m.green.value(3), QList<int>{1});  // painted into the old channel
  }

  // TV Wall: the channel buttons do nothing; every INP reply paints the
  // first block, whatever channel is current.
  void the_wall() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.device().state().inputs = {3, 3, 3, 3};
    report_mode(fx, 3);

    awaited(fx.model().map_refresh());
    QCOMPARE(fx.received().size(), 8);
    QCOMPARE(fx.model().sel_out(), 4);
    MapLook want;
    want.blue_buttons = {4};
    want.green = {{3}, {}, {}, {}};
    want.digits = {{3}, {}, {}, kAll};
    want.black = {{}, {}, {}, kAll};
    QCOMPARE(look(c), want);

    fx.clear_received();
    fx.click(c.cmd_out[2]);
    fx.main().routing().cmd_out_Click(1);
    fx.settle(20);
    QVERIFY(fx.received().isEmpty());
    QCOMPARE(look(c), want);

    fx.click(c.lab_out_in[4][2]);
    QCOMPARE(fx.received(), QStringList{"INP002"});
    QCOMPARE(fx.device().state().inputs, (std::array<int, 4>{2, 2, 2, 2}));
    QCOMPARE(look(c).green, (QList<QList<int>>{{2}, {}, {}, {}}));
  }

  // Dual and quad modes route exactly like the Matrix.
  void the_other_modes_route_like_the_matrix() {
    for (int mode : {2, 4, 5}) {
      PanelFixture fx;
      power_up(fx);
      fx.device().state().inputs = {4, 3, 2, 1};
      report_mode(fx, mode);
      awaited(fx.model().map_refresh());
      QCOMPARE(look(fx.c()).green, (QList<QList<int>>{{4}, {3}, {2}, {1}}));
      fx.click(fx.c().cmd_out[3]);
      QCOMPARE(fx.model().sel_out(), 3);
      QCOMPARE(look(fx.c()).black.value(2), kAll);
    }
  }

  // Replies the device sends on its own move the map in the same way.
  void replies_of_the_device_on_its_own() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    awaited(fx.model().map_refresh());
    fx.clear_received();

    fx.sim().front_panel("OUT002");  // chosen on the device's own keys
    QVERIFY(fx.wait_for([&] { return fx.model().sel_out() == 2; }));
    QCOMPARE(look(c).blue_buttons, QList<int>{2});
    QCOMPARE(look(c).black.value(1), kAll);

    fx.sim().front_panel("INP004");
    QVERIFY(fx.wait_for([&] { return look(c).green.value(1) == QList<int>{4}; }));
    QCOMPARE(fx.device().state().inputs[1], 4);
    fx.settle(20);
    QVERIFY(fx.received().isEmpty());
  }

  // Channel or input digits outside 1..4 change nothing.
  void replies_outside_the_four_channels() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    awaited(fx.model().map_refresh());
    const MapLook before = look(c);
    for (const char* line : {"OUT000", "OUT005", "OUT009", "OUT00A", "INP000", "INP007", "INP00-",
                             "INP", "OUT"}) {
      fx.sim().send_unsolicited(line);
      fx.settle(20);
      QCOMPARE(fx.model().sel_out(), 4);
      QCOMPARE(look(c), before);
    }
    fx.sim().send_unsolicited("INP001");
    QVERIFY(fx.wait_for([&] { return look(c).green.value(3) == QList<int>{1}; }));
  }
};

QTEST_MAIN(RoutingTest)
#include "test_routing.moc"

