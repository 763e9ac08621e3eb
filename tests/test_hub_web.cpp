// The hub's web panel in headless Chromium, against the simulated Corvane:
// every group of the panel drives the device; a front-panel change shows
// within 50 ms; the link's loss greys the page and its return clears every
// message; every control is named for a screen reader and reached by
// keyboard; it is usable from 320 px wide, light and dark, without layout
// shift; a view-only page acts on nothing.
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QTest>
#include <functional>

#include "browser.h"
#include "hub_rig.h"

using namespace quadrel;
using quadrel::test::Browser;
using quadrel::test::HubRig;

namespace {

// The page's controls found as a person finds them: by their group and their
// name (a button's label or words, a slider's name, a select's label).
const char* const kHelpers = R"(window.t = {
  button(group, name) {
    return [...document.querySelectorAll(`#${group} button`)].find(b =>
      (b.getAttribute('aria-label') || '').trim() === name || b.textContent.trim() === name) || null;
  },
  click(group, name) {
    const b = this.button(group, name);
    if (!b || b.disabled) return false;
    b.click();
    return true;
  },
  pressed(group, name) { const b = this.button(group, name); return !!b && b.getAttribute('aria-pressed') === 'true'; },
  slide(name, value) {
    const i = document.querySelector(`input[type=range][aria-label="${name}"]`);
    if (!i || i.disabled) return false;
    i.value = value;
    i.dispatchEvent(new Event('change'));
    return true;
  },
  choose(group, index, value) {
    const s = document.querySelectorAll(`#${group} select`)[index];
    if (!s || s.disabled) return false;
    s.value = JSON.stringify(value);
    s.dispatchEvent(new Event('change'));
    return true;
  },
  type(group, name, text) {
    const f = [...document.querySelectorAll(`#${group} form`)].find(f => f.textContent.includes(name));
    if (!f || f.elements[0].disabled) return false;
    f.elements[0].value = text;
    f.requestSubmit();
    return true;
  },
  idle() { return document.body.dataset.filled === 'true' && !document.querySelector('[aria-busy=true]'); },
};
true)";

struct Step {
  const char* name;
  QString script;                                      // what a person does
  std::function<bool(corvane::SimServer&)> done;       // what the device then holds
  QString shown;                                       // what the page then shows
};

}  // namespace

class TestHubWeb : public QObject {
  Q_OBJECT

  std::unique_ptr<HubRig> rig_;
  std::unique_ptr<Browser> browser_;

  bool eval_true(const QString& script) { return browser_->eval(script).toBool(); }

  void open(const QString& query = {}) {
    browser_->call("Page.navigate", {{"url", QStringLiteral("http://127.0.0.1:%1/%2").arg(rig_->http_port()).arg(query)}});
    QVERIFY(browser_->wait_true("document.body && document.body.dataset.filled === 'true'"));
    QVERIFY(eval_true(kHelpers));
  }

  // Epoch ms in the page when `expression` first holds, watched on every change of the page.
  void watch(const QString& expression) {
    browser_->eval(QStringLiteral(R"(window.seen = null; new MutationObserver((_, o) => {
        if (window.seen === null && (%1)) { window.seen = performance.timeOrigin + performance.now(); o.disconnect(); }
      }).observe(document.body, {subtree: true, attributes: true, childList: true, characterData: true}); true)")
                       .arg(expression));
  }

 private slots:
  void initTestCase() {
    if (Browser::program().isEmpty()) QSKIP("no Chromium here (bash tools/setup.sh test installs it)");
    rig_ = std::make_unique<HubRig>();
    browser_ = std::make_unique<Browser>();
    QString error;
    QVERIFY2(browser_->open(QStringLiteral("http://127.0.0.1:%1/").arg(rig_->http_port()), &error), qPrintable(error));
    browser_->viewport(1280, 800, false);
    open();
  }
  void cleanupTestCase() {
    browser_.reset();
    rig_.reset();
  }

  // The page shows what the hub's model holds, with the link, the inputs'
  // labels on the buttons, and what a phone needs to keep it as an app.
  void the_page_shows_the_device() {
    QVERIFY(eval_true("document.getElementById('link-text').textContent.startsWith('Device connected')"));
    QVERIFY(eval_true("t.pressed('g-outputs', 'Matrix')"));
    QVERIFY(eval_true("t.pressed('g-outputs', 'C: input 3 (HDMI 3)')"));
    QCOMPARE(browser_->eval("t.button('g-outputs', 'A: input 2 (HDMI 2)').textContent").toString(), QStringLiteral("2HDMI 2"));
    QCOMPARE(browser_->eval("document.querySelector('#g-outputs select').selectedOptions[0].textContent").toString(),
             QStringLiteral("1024x768"));
    QVERIFY(eval_true("t.pressed('g-power', 'Power: on')"));
    for (const char* file : {"manifest.webmanifest", "icon-192.png", "icon-512.png", "favicon.svg"})
      QCOMPARE(browser_->eval(QStringLiteral("fetch('%1').then(r => r.status)").arg(file)).toInt(), 200);
    QCOMPARE(browser_->eval("fetch('manifest.webmanifest').then(r => r.json()).then(m => m.icons.length)").toInt(), 4);
    QCOMPARE(browser_->eval("fetch('manifest.webmanifest').then(r => r.headers.get('content-type'))").toString(),
             QStringLiteral("application/manifest+json"));
    // The page keeps to its own files: the policy that says so is served, and nothing of it is inline.
    QVERIFY(eval_true("fetch('/').then(r => r.headers.get('content-security-policy').startsWith(\"default-src 'self'\"))"));
    QVERIFY(eval_true("!document.querySelector('[style], script:not([src])')"));
  }

  // Each group's control changes the simulated device, through the API, and
  // the page then shows what the device holds.
  void every_group_drives_the_device_data() {
    QTest::addColumn<int>("step");
    for (int i = 0; i < static_cast<int>(steps().size()); ++i) QTest::newRow(steps()[i].name) << i;
  }
  void every_group_drives_the_device() {
    QFETCH(int, step);
    const Step& s = steps()[step];
    // What the step before asked the device has been read back.
    QTRY_VERIFY_WITH_TIMEOUT(rig_->hub->link().queued() == 0, 8000);
    rig_->sim.clear_log();
    QVERIFY2(eval_true(s.script), "the control is not there, or not enabled");
    if (eval_true("document.getElementById('confirm').open")) {
      // Asked once more: nothing is sent before the answer.
      QTest::qWait(100);
      QCOMPARE(rig_->sim.log(), QStringList{});
      browser_->eval("document.getElementById('confirm-ok').click()");
    }
    QTRY_VERIFY_WITH_TIMEOUT(s.done(rig_->sim), 8000);
    if (!s.shown.isEmpty()) QVERIFY2(browser_->wait_true(s.shown, 8000), qPrintable(s.shown));
    QVERIFY(browser_->wait_true("t.idle()", 8000));
    QCOMPARE(browser_->eval("document.querySelectorAll('#messages li').length").toInt(), 0);
  }

  // A change at the device's front panel shows on the page within 50 ms of
  // the device's report.
  void a_front_panel_change_shows_at_once_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown");
    QTest::newRow("mode") << "MOD005" << "t.pressed('g-outputs', 'Quad')";
    QTest::newRow("key lock") << "LCK001" << "t.pressed('g-keys', 'Key lock')";
    QTest::newRow("audio EDID") << "AUE002" << "t.pressed('g-edid', '8CH')";
  }
  void a_front_panel_change_shows_at_once() {
    QFETCH(QString, line);
    QFETCH(QString, shown);
    // (After the factory reset the device has restarted.)
    QTRY_VERIFY_WITH_TIMEOUT(rig_->hub->link().up() && rig_->hub->link().queued() == 0, 8000);
    QVERIFY(browser_->wait_true("document.getElementById('link-text').textContent.startsWith('Device connected') && t.idle()"));
    watch(shown);
    const qint64 reported = QDateTime::currentMSecsSinceEpoch();
    rig_->sim.front_panel(line);
    QVERIFY(browser_->wait_true("window.seen !== null", 2000));
    const double after = browser_->eval("window.seen").toDouble() - static_cast<double>(reported);
    QVERIFY2(after < 50, qPrintable(QStringLiteral("%1 ms").arg(after)));
    QVERIFY(browser_->wait_true("t.idle()"));
  }

  // While the device is away the page is greyed and says since when; when it
  // returns, every message (here: a refusal) has gone.
  void the_link_lost_and_back() {
    rig_->faults([](corvane::Faults& f) { f.err = {"ASP"}; });
    QVERIFY(eval_true("t.choose('g-aspect', 0, 'keep')"));
    QVERIFY(browser_->wait_true("document.querySelectorAll('#messages li').length === 1"));
    QCOMPARE(browser_->eval("document.querySelector('#messages li span').textContent").toString(),
             QStringLiteral("Aspect Ratio Keep Ratio: the device refused it; it holds FULL."));
    QCOMPARE(browser_->eval("document.querySelector('#g-aspect select').selectedOptions[0].textContent").toString(),
             QStringLiteral("FULL"));
    rig_->faults([](corvane::Faults& f) { f.restart_ms = 1500; });
    rig_->sim.restart();
    QVERIFY(browser_->wait_true("document.getElementById('panel').classList.contains('stale')"));
    QVERIFY(eval_true("document.getElementById('controls').disabled"));
    QVERIFY(eval_true("/^Device link down since .* \\(\\d+ s\\)/.test(document.getElementById('link-text').textContent)"));
    QVERIFY(browser_->wait_true("document.getElementById('link-text').textContent.startsWith('Device connected')", 8000));
    QVERIFY(!eval_true("document.getElementById('panel').classList.contains('stale')"));
    QCOMPARE(browser_->eval("document.querySelectorAll('#messages li').length").toInt(), 0);
  }

  // Every control is named and has its state for a screen reader; focus
  // shows, and Tab reaches every control.
  void accessible() {
    browser_->call("Accessibility.enable");
    const QJsonArray nodes = browser_->call("Accessibility.getFullAXTree").value("nodes").toArray();
    int named = 0;
    QStringList unnamed;
    for (const QJsonValue& node : nodes) {
      const QString role = node["role"].toObject()["value"].toString();
      if (!QStringList{"button", "combobox", "slider", "textbox", "checkbox"}.contains(role)) continue;
      if (node["ignored"].toBool()) continue;
      const QString name = node["name"].toObject()["value"].toString().trimmed();
      if (name.isEmpty()) unnamed << role + ' ' + node["nodeId"].toString();
      else ++named;
    }
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    QVERIFY2(named > 100, qPrintable(QString::number(named)));
    // Pressed states on the choices, and polite announcements.
    QVERIFY(eval_true("document.querySelectorAll('#g-outputs [aria-pressed]').length === 5 + 16"));
    QVERIFY(eval_true("document.getElementById('announce').getAttribute('aria-live') === 'polite'"));
    // Every enabled control is in the Tab order, and the focus shows.
    QVERIFY(eval_true("[...document.querySelectorAll('button, input, select')].every(e => e.tabIndex >= 0)"));
    browser_->call("Emulation.setFocusEmulationEnabled", {{"enabled", true}});
    browser_->eval("document.activeElement && document.activeElement.blur()");
    for (const char* type : {"rawKeyDown", "keyUp"})
      browser_->call("Input.dispatchKeyEvent", {{"type", type}, {"key", "Tab"}, {"code", "Tab"}, {"windowsVirtualKeyCode", 9}});
    QVERIFY(browser_->wait_true("['BUTTON', 'INPUT', 'SELECT'].includes(document.activeElement.tagName)"));
    QVERIFY(eval_true("getComputedStyle(document.activeElement).outlineStyle !== 'none'"));
  }

  // From a 320 px phone to a desk: nothing wider than the screen, every
  // target 44 px, no layout shift while values arrive; light and dark.
  void on_every_screen_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("scheme");
    QTest::newRow("320 light") << 320 << 640 << "light";
    QTest::newRow("390 light") << 390 << 844 << "light";
    QTest::newRow("390 dark") << 390 << 844 << "dark";
    QTest::newRow("1280 light") << 1280 << 800 << "light";
    QTest::newRow("1280 dark") << 1280 << 800 << "dark";
  }
  void on_every_screen() {
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, scheme);
    browser_->viewport(width, height, width < 600);
    browser_->call("Emulation.setEmulatedMedia", {{"features", QJsonArray{QJsonObject{{"name", "prefers-color-scheme"}, {"value", scheme}}}}});
    open();
    QVERIFY(eval_true("document.documentElement.scrollWidth <= innerWidth"));
    QCOMPARE(browser_->eval(R"([...document.querySelectorAll('button, select, input[type=range], input[type=text]')].filter(b => {
        const r = b.getBoundingClientRect();
        return r.width > 0 && (r.width < 44 || r.height < 44);
      }).map(b => b.textContent || b.getAttribute('aria-label')).join(', '))").toString(), QString());
    // Values arriving (a mode, a routing) move nothing.
    rig_->sim.front_panel("MOD002");
    rig_->sim.front_panel("INP004");
    QVERIFY(browser_->wait_true("t.pressed('g-outputs', 'Dual PoP') && t.idle()"));
    QTest::qWait(100);
    const QString shifts = browser_->eval(R"(new Promise(done => new PerformanceObserver(l => done(
        l.getEntries().filter(e => !e.hadRecentInput).flatMap(e => e.sources.map(s => `${e.value.toFixed(4)} ${s.node ?
          (s.node.id || s.node.className || s.node.tagName) + ' ' + (s.node.textContent || '').slice(0, 30) : '?'}`))
          .join('; '))).observe({type: 'layout-shift', buffered: true}) || setTimeout(() => done(''), 200)))").toString();
    QVERIFY2(shifts.isEmpty(), qPrintable(shifts));
    rig_->sim.front_panel("MOD001");
    QVERIFY(browser_->wait_true("t.pressed('g-outputs', 'Matrix') && t.idle()"));
    if (width != 320)
      QVERIFY(browser_->screenshot(QDir::current().filePath(QStringLiteral("hub-web-%1-%2.png").arg(width).arg(scheme))));
  }

  // A screen at the back of the room shows the state and acts on nothing.
  void view_only() {
    browser_->viewport(1280, 800, false);
    open("?view=1");
    QVERIFY(eval_true("document.body.classList.contains('view-only')"));
    QVERIFY(eval_true("t.pressed('g-outputs', 'Matrix')"));
    QVERIFY(eval_true("[...document.querySelectorAll('#panel button, #panel select, #panel input')].every(e => e.matches(':disabled'))"));
    QVERIFY(eval_true("t.button('g-keys', 'Menu key Up').getClientRects().length === 0"));
    QVERIFY(eval_true("t.button('g-presets', 'Save 1').getClientRects().length === 0"));
    open("?view=0");
    QVERIFY(eval_true("!document.body.classList.contains('view-only') && !document.getElementById('controls').disabled"));
  }

 private:
  static const std::vector<Step>& steps() {
    using S = corvane::SimServer;
    auto log_has = [](const char* line) { return [line](S& sim) { return sim.log().contains(QString(line)); }; };
    static const std::vector<Step> all = {
        {"mode", "t.click('g-outputs', 'Quad')", [](S& s) { return s.device().state().mode == 5; },
         "t.pressed('g-outputs', 'Quad') && t.button('g-outputs', 'Q2: input 2 (HDMI 2)') !== null"},
        {"routing", "t.click('g-outputs', 'Q2: input 4 (HDMI 4)')", [](S& s) { return s.device().state().inputs[1] == 4; },
         "t.pressed('g-outputs', 'Q2: input 4 (HDMI 4)')"},
        {"output resolution", "t.choose('g-outputs', 0, 2)", [](S& s) { return s.device().state().resolution == 2; },
         "document.querySelector('#g-outputs select').selectedOptions[0].textContent === '800x600'"},
        {"quad audio", "t.click('g-quad', 'Q3')", [](S& s) { return s.device().state().audio_quad == 3; },
         "t.pressed('g-quad', 'Q3')"},
        {"picture", "t.slide('Brightness Q2', 70)", [](S& s) { return s.device().state().picture[1].brightness == 70; },
         "document.querySelector('input[aria-label=\"Brightness Q2\"]').nextElementSibling.textContent === '70'"},
        {"picture reset", "t.click('g-picture', 'Reset the picture')", log_has("RST002"),
         "document.querySelector('input[aria-label=\"Brightness Q2\"]').nextElementSibling.textContent === '50'"},
        {"dual PoP", "t.click('g-outputs', 'Dual PoP')", [](S& s) { return s.device().state().mode == 2; },
         "!document.getElementById('g-dual-a').disabled && t.button('g-dual-a', 'Right') !== null"},
        {"dual A audio", "t.click('g-dual-a', 'Right')", [](S& s) { return s.device().state().audio_a == 2; },
         "t.pressed('g-dual-a', 'Right')"},
        {"dual PiP", "t.click('g-outputs', 'Dual PiP')", [](S& s) { return s.device().state().mode == 4; },
         "!document.getElementById('g-pip').disabled"},
        {"PiP corner", "t.click('g-pip', 'PiP A: lower left')", [](S& s) { return s.device().state().pip_corner[0] == 3; },
         "t.pressed('g-pip', 'PiP A: lower left')"},
        {"PiP size", "t.choose('g-pip', 1, 'small')", [](S& s) { return s.device().state().pip_size[1] == 2; },
         "document.querySelectorAll('#g-pip select')[1].selectedOptions[0].textContent === 'Small'"},
        {"PiP swap", "t.click('g-pip', 'PiP B: SWAP')", log_has("PSW002"), {}},
        {"TV Wall", "t.click('g-outputs', 'TV Wall')", [](S& s) { return s.device().state().mode == 3; },
         "t.button('g-outputs', 'Wall: input 3 (HDMI 3)') !== null"},
        {"the wall's input", "t.click('g-outputs', 'Wall: input 3 (HDMI 3)')",
         [](S& s) { return s.device().state().inputs == std::array<int, 4>{3, 3, 3, 3}; },
         "t.pressed('g-outputs', 'Wall: input 3 (HDMI 3)')"},
        {"bezel correction", "t.click('g-bezel', 'Bezel correction')", [](S& s) { return s.device().state().bezel_on; },
         "t.pressed('g-bezel', 'Bezel correction')"},
        {"horizontal bezel", "t.slide('Horizontal bezel', 120)", [](S& s) { return s.device().state().bezel_h == 120; }, {}},
        {"matrix", "t.click('g-outputs', 'Matrix')", [](S& s) { return s.device().state().mode == 1; },
         "t.pressed('g-outputs', 'Matrix')"},
        {"audio EDID", "t.click('g-edid', 'HD')", [](S& s) { return s.device().state().audio_edid == 4; },
         "t.pressed('g-edid', 'HD')"},
        {"aspect", "t.choose('g-aspect', 0, '16:9')", [](S& s) { return s.device().state().aspect == 2; }, {}},
        {"HDCP input", "t.click('g-hdcp', 'Input 2: off')", [](S& s) { return s.device().state().hdcp_in[1] == 1; },
         "t.pressed('g-hdcp', 'Input 2: off')"},
        {"HDCP output", "t.click('g-hdcp', 'Output C: follows output')",
         [](S& s) { return s.device().state().hdcp_out[2] == 1; }, {}},
        {"input label", "t.type('g-labels', 'Input 4', 'Camera 4')",
         [](S& s) { return s.device().state().labels[3] == "Camera 4"; },
         "t.button('g-outputs', 'A: input 4 (Camera 4)') !== null"},
        {"labels on screen", "t.click('g-labels', 'Labels on screen')", [](S& s) { return s.device().state().labels_on; },
         "t.pressed('g-labels', 'Labels on screen')"},
        {"menu key", "t.click('g-keys', 'Menu key Up')", log_has("MNU001"), {}},
        {"audio", "t.click('g-keys', 'Audio')", [](S& s) { return !s.device().state().audio_on; },
         "t.button('g-keys', 'Audio off') !== null && !t.pressed('g-keys', 'Audio off')"},
        {"key lock", "t.click('g-keys', 'Key lock')", [](S& s) { return s.device().state().key_lock; },
         "t.pressed('g-keys', 'Key lock')"},
        {"recall", "t.click('g-presets', 'Recall 2')", log_has("CAL002"),
         "t.button('g-presets', 'Recall 2').getAttribute('aria-current') === 'true'"},
        {"save, asked once more", "t.click('g-presets', 'Save 3')", log_has("SAV003"), {}},
        {"network", "t.click('g-network', 'Get IP')", log_has("EGW999"), {}},
        {"firmware", "t.click('g-firmware', 'F/W Ver')", log_has("VR2999"), {}},
        {"standby, asked once more", "t.click('g-power', 'Power: on')", [](S& s) { return !s.device().state().power_on; },
         "t.button('g-power', 'Power: standby') !== null && document.getElementById('g-outputs').disabled"},
        {"power on", "t.click('g-power', 'Power: standby')", [](S& s) { return s.device().state().power_on; },
         "t.pressed('g-power', 'Power: on') && !document.getElementById('g-outputs').disabled"},
        {"factory reset, asked once more", "t.click('g-reset', 'Factory Reset')", log_has("RST001"),
         "document.getElementById('link-text').textContent.startsWith('Device connected')"},
    };
    return all;
  }
};

QTEST_GUILESS_MAIN(TestHubWeb)
#include "test_hub_web.moc"
