// The hub's web panel in headless Chromium, against the simulated Corvane:
// it shows the device, a click drives it, a front-panel change appears on the
// page, and it is usable on a phone, by keyboard and by screen reader.
#include <QDir>
#include <QTest>

#include "browser.h"
#include "hub_rig.h"

using namespace quadrel;
using quadrel::test::Browser;
using quadrel::test::HubRig;

namespace {
QString pressed(const QString& id) {
  return QStringLiteral("document.getElementById('%1')?.getAttribute('aria-pressed') === 'true'").arg(id);
}
}  // namespace

class TestHubWeb : public QObject {
  Q_OBJECT

  std::unique_ptr<HubRig> rig_;
  std::unique_ptr<Browser> browser_;

 private slots:
  void initTestCase() {
    if (Browser::program().isEmpty()) QSKIP("no Chromium here (bash tools/setup.sh test installs it)");
    rig_ = std::make_unique<HubRig>();
    browser_ = std::make_unique<Browser>();
    QString error;
    QVERIFY2(browser_->open(QStringLiteral("http://127.0.0.1:%1/").arg(rig_->http_port()), &error), qPrintable(error));
  }
  void cleanupTestCase() {
    browser_.reset();
    rig_.reset();
  }

  // The page shows what the hub's model holds, and the link.
  void the_page_shows_the_device() {
    QVERIFY(browser_->wait_true(pressed("mode-matrix")));
    QVERIFY(browser_->wait_true("document.getElementById('now-A').textContent === 'Input 1 · HDMI 1'"));
    QVERIFY(browser_->wait_true(pressed("route-C-3")));
    QVERIFY(browser_->wait_true("document.getElementById('link').textContent.startsWith('Device connected')"));
    QVERIFY(browser_->wait_true(pressed("power-on")));
    // Its icon, served by the hub.
    QCOMPARE(browser_->eval("fetch(document.querySelector('link[rel=icon]').href)"
                            ".then(r => r.status + ' ' + r.headers.get('content-type'))").toString(),
             QStringLiteral("200 image/svg+xml"));
  }

  // A click on "Quad" goes through the API to the device.
  void a_click_drives_the_device() {
    browser_->eval("document.getElementById('mode-quad').click()");
    QTRY_COMPARE(rig_->sim.device().state().mode, 5);
    QVERIFY(browser_->wait_true(pressed("mode-quad")));
    QVERIFY(!browser_->eval(pressed("mode-matrix")).toBool());
    browser_->eval("document.getElementById('route-B-4').click()");
    QTRY_COMPARE(rig_->sim.device().state().inputs[1], 4);
    QVERIFY(browser_->wait_true(pressed("route-B-4")));
  }

  // A change on the device's front panel appears on the page by itself.
  void a_front_panel_report_appears() {
    rig_->sim.front_panel("MOD003");
    QVERIFY(browser_->wait_true(pressed("mode-tv-wall"), 3000));
    rig_->sim.front_panel("LCK001");
    QVERIFY(browser_->wait_true(pressed("key-lock"), 3000));
    QVERIFY(browser_->screenshot(QDir::current().filePath("hub-web-desktop.png")));
  }

  // Real buttons with names and pressed states, and a focus that shows.
  void keyboard_and_screen_reader() {
    QVERIFY(browser_->eval(R"(Array.from(document.querySelectorAll('main *')).every(e =>
        !e.onclick && (e.tagName !== 'DIV' || e.getAttribute('role') !== 'button')))").toBool());
    QCOMPARE(browser_->eval(R"(Array.from(document.querySelectorAll('button')).filter(b =>
        !(b.getAttribute('aria-label') || b.textContent).trim()).length)").toInt(), 0);
    QCOMPARE(browser_->eval("document.querySelectorAll('#modes button[aria-pressed], .output button[aria-pressed]')"
                            ".length").toInt(), 5 + 16);
    QCOMPARE(browser_->eval("document.getElementById('route-A-2').getAttribute('aria-label')").toString(),
             QStringLiteral("Output A: input 2 (HDMI 2)"));
    browser_->call("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
    browser_->call("Page.bringToFront");
    browser_->eval("document.activeElement && document.activeElement.blur()");
    browser_->call("Input.dispatchKeyEvent", {{"type", "rawKeyDown"}, {"key", "Tab"}, {"code", "Tab"},
                                              {"windowsVirtualKeyCode", 9}});
    browser_->call("Input.dispatchKeyEvent", {{"type", "keyUp"}, {"key", "Tab"}, {"code", "Tab"},
                                              {"windowsVirtualKeyCode", 9}});
    QVERIFY2(browser_->wait_true("document.activeElement.tagName === 'BUTTON'"),
             qPrintable(browser_->eval("document.activeElement.tagName + ' ' + document.hasFocus()").toString()));
    QVERIFY(browser_->eval("getComputedStyle(document.activeElement).outlineStyle !== 'none'").toBool());
  }

  // On a phone: one column, and every button at least 44 px each way.
  void usable_on_a_phone_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("columns");
    QTest::newRow("phone") << 390 << 1;
    QTest::newRow("just below 600 px") << 599 << 1;
    QTest::newRow("desktop") << 1024 << 4;
  }
  void usable_on_a_phone() {
    QFETCH(int, width);
    QFETCH(int, columns);
    browser_->viewport(width, 900, width < 600);
    QVERIFY(browser_->wait_true(
        QStringLiteral("getComputedStyle(document.getElementById('outputs')).gridTemplateColumns.split(' ').length "
                       "=== %1").arg(columns)));
    QCOMPARE(browser_->eval(R"(Array.from(document.querySelectorAll('button')).filter(b => {
        const r = b.getBoundingClientRect();
        return r.width > 0 && (r.width < 44 || r.height < 44);
      }).length)").toInt(), 0);
    if (width == 390) QVERIFY(browser_->screenshot(QDir::current().filePath("hub-web-phone.png")));
    browser_->call("Emulation.clearDeviceMetricsOverride");
  }
};

QTEST_GUILESS_MAIN(TestHubWeb)
#include "test_hub_web.moc"
