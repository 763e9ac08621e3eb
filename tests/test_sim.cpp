// Tests of the simulated Corvane: the device model's protocol and the server's links and faults.

#include "sim_device.h"
#include "sim_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using corvane::DeviceState;
using corvane::Faults;
using corvane::SimDevice;
using corvane::SimServer;

namespace {

// Feeds each line with a carriage return and returns the reply to the last one.
std::string ask(SimDevice& device, const std::string& lines)
{
    std::string last;
    std::string_view rest = lines;
    while (!rest.empty()) {
        const auto bar = rest.find('|');
        const std::string line(rest.substr(0, bar));
        rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
        const auto replies = device.feed(line + "\r");
        last = replies.empty() ? std::string() : replies.back();
    }
    return last;
}

// Gathers everything a device (socket or port) receives, chunk by chunk.
class Collector {
public:
    explicit Collector(QIODevice* io) : io_(io)
    {
        connection_ = QObject::connect(io, &QIODevice::readyRead, [this] {
            const QByteArray chunk = io_->readAll();
            data += chunk;
            chunks << chunk;
        });
    }
    ~Collector() { QObject::disconnect(connection_); }

    bool wait_lines(int count, int timeout_ms = 2000)
    {
        return QTest::qWaitFor([&] { return data.count('\r') >= count; }, timeout_ms);
    }
    void clear()
    {
        data.clear();
        chunks.clear();
    }

    QByteArray data;
    QList<QByteArray> chunks;

private:
    QIODevice* io_;
    QMetaObject::Connection connection_;
};

// A server on a free TCP port with one connected client.
struct TcpRig {
    TcpRig()
    {
        SimServer::Options options;
        options.pty = false;
        QVERIFY(server.start(options));
        socket.connectToHost(QHostAddress::LocalHost, server.tcp_port());
        QVERIFY(socket.waitForConnected(2000));
        QTRY_VERIFY_WITH_TIMEOUT(server.has_client(), 2000);
    }

    QByteArray exchange(const QByteArray& command, int lines = 1)
    {
        collector.clear();
        socket.write(command + '\r');
        collector.wait_lines(lines);
        return collector.data;
    }

    void set(const std::function<void(Faults&)>& change)
    {
        Faults faults = server.faults();
        change(faults);
        server.set_faults(faults);
    }

    SimServer server;
    QTcpSocket socket;
    Collector collector{&socket};
};

} // namespace

class TestSim : public QObject {
    Q_OBJECT

private slots:
    // Device model
    void device_replies_data();
    void device_replies();
    void device_refuses_data();
    void device_refuses();
    void device_routing_follows_current_channel();
    void device_picture_encoding();
    void device_bezel_limits();
    void device_presets_store_and_recall();
    void device_labels();
    void device_framing_and_log();
    void device_restart_and_factory_reset();

    // Server over TCP
    void tcp_answers_and_logs();
    void tcp_split_replies();
    void tcp_merged_replies();
    void tcp_silent_and_err();
    void tcp_delay();
    void tcp_unsolicited_lines();
    void tcp_ext_and_drop();
    void tcp_restart_refuses_clients();
    void tcp_pacing();

    // Server over the pseudo-terminal
    void pty_serial_port_exchange();
    void pty_restart_goes_silent();
};

// --- Device model -----------------------------------------------------------

void TestSim::device_replies_data()
{
    QTest::addColumn<QString>("commands");   // lines separated by '|'; the last one is answered
    QTest::addColumn<QString>("reply");

    QTest::newRow("mode set") << "MOD002" << "MOD002\r";
    QTest::newRow("mode query") << "MOD003|MOD999" << "MOD003\r";
    QTest::newRow("output") << "OUT004" << "OUT004\r";
    QTest::newRow("output query") << "OUT004|OUT999" << "OUT004\r";
    QTest::newRow("input") << "INP003" << "INP003\r";
    QTest::newRow("input query") << "OUT002|INP999" << "INP002\r";
    QTest::newRow("resolution") << "RES012|RES999" << "RES012\r";
    QTest::newRow("aspect") << "ASP004|ASP999" << "ASP004\r";
    QTest::newRow("bri matrix") << "BRI075" << "BRI075\r";
    QTest::newRow("bri matrix query") << "BRI075|BRI999" << "BRI075\r";
    QTest::newRow("bri quad") << "MOD005|BRI250" << "BRI250\r";
    QTest::newRow("con quad query") << "MOD005|CON275|CON992" << "CON275\r";
    QTest::newRow("sat row 4") << "MOD003|SAT700|SAT994" << "SAT700\r";
    QTest::newRow("hue default") << "MOD002|HUE993" << "HUE450\r";
    QTest::newRow("bezel h") << "BEH120|BEH999" << "BEH120\r";
    QTest::newRow("bezel h limit") << "BEH998" << "BEH200\r";
    QTest::newRow("bezel v limit") << "BEV998" << "BEV150\r";
    QTest::newRow("bezel on") << "BEZ001|BEZ999" << "BEZ001\r";
    QTest::newRow("audio off") << "AUD000" << "AUD000\r";
    QTest::newRow("audio query") << "AUD000|AUD999" << "AUD000\r";
    QTest::newRow("audio edid") << "AUE004|AUE999" << "AUE004\r";
    QTest::newRow("audio a") << "AUA002|AUA999" << "AUA002\r";
    QTest::newRow("audio b") << "AUB002" << "AUB002\r";
    QTest::newRow("audio quad") << "AUQ003|AUQ999" << "AUQ003\r";
    QTest::newRow("power standby") << "PWR000" << "PWR000\r";
    QTest::newRow("power query") << "PWR000|PWR999" << "PWR000\r";
    QTest::newRow("power on") << "PWR001" << "PWR001\r";
    QTest::newRow("picture reset") << "RST002" << "RST002\r";
    QTest::newRow("factory reset") << "RST001" << "RST001\r";
    QTest::newRow("version") << "VER999" << "VER123\r";
    QTest::newRow("version 2") << "VR2999" << "VR2 12\r";
    QTest::newRow("lock") << "LCK001|LCK999" << "LCK001\r";
    QTest::newRow("menu") << "MNX001" << "MNX001\r";
    QTest::newRow("exit") << "MNE001" << "MNE001\r";
    QTest::newRow("ok") << "MNO001" << "MNO001\r";
    QTest::newRow("up") << "MNU001" << "MNU001\r";
    QTest::newRow("down") << "MND001" << "MND001\r";
    QTest::newRow("left") << "MNL001" << "MNL001\r";
    QTest::newRow("right") << "MNR001" << "MNR001\r";
    QTest::newRow("save") << "SAV002" << "SAV002\r";
    QTest::newRow("recall") << "CAL004" << "CAL004\r";
    QTest::newRow("hdcp in set") << "HPI031" << "HPI031\r";
    QTest::newRow("hdcp in query") << "HPI031|HPI993" << "HPI031\r";
    QTest::newRow("hdcp in default") << "HPI991" << "HPI010\r";
    QTest::newRow("hdcp out") << "HPO041|HPO994" << "HPO041\r";
    QTest::newRow("labels on") << "LAB001" << "LAB001\r";
    QTest::newRow("labels query") << "LAB001|LAB999" << "LAB001\r";
    QTest::newRow("label query") << "LAI993" << "LAI3HDMI 3\r";
    QTest::newRow("pip corner") << "PPO023|PPO992" << "PPO023\r";
    QTest::newRow("pip size") << "PSZ013|PSZ991" << "PSZ013\r";
    QTest::newRow("pip swap") << "PSW002" << "PSW002\r";
    QTest::newRow("ip") << "EIP999" << "192.168.001.100\r";
    QTest::newRow("mask") << "EMK999" << "255.255.255.000\r";
    QTest::newRow("gateway") << "EGW999" << "192.168.001.001\r";
}

void TestSim::device_replies()
{
    QFETCH(QString, commands);
    QFETCH(QString, reply);
    SimDevice device;
    QCOMPARE(QString::fromStdString(ask(device, commands.toStdString())), reply);
}

void TestSim::device_refuses_data()
{
    QTest::addColumn<QString>("commands");

    QTest::newRow("unknown code") << "XYZ001";
    QTest::newRow("lower case") << "mod001";
    QTest::newRow("too short") << "MO";
    QTest::newRow("two digits") << "MOD01";
    QTest::newRow("four digits") << "MOD0010";
    QTest::newRow("not digits") << "MOD0A1";
    QTest::newRow("space") << "MOD 01";
    QTest::newRow("mode 0") << "MOD000";
    QTest::newRow("mode 6") << "MOD006";
    QTest::newRow("output 5") << "OUT005";
    QTest::newRow("input 0") << "INP000";
    QTest::newRow("resolution 0") << "RES000";
    QTest::newRow("resolution too high") << "RES031";
    QTest::newRow("1080i outside matrix") << "MOD002|RES005";
    QTest::newRow("leave matrix in 1080i") << "RES006|MOD005";
    QTest::newRow("aspect 5") << "ASP005";
    QTest::newRow("bri matrix 101") << "BRI101";
    QTest::newRow("bri matrix channel query") << "BRI992";
    QTest::newRow("bri gap") << "MOD005|BRI150";
    QTest::newRow("bri above 700") << "MOD005|BRI701";
    QTest::newRow("bezel 255") << "BEH255";
    QTest::newRow("bezel 997") << "BEV997";
    QTest::newRow("bezel switch 2") << "BEZ002";
    QTest::newRow("audio 2") << "AUD002";
    QTest::newRow("edid 5") << "AUE005";
    QTest::newRow("audio a 0") << "AUA000";
    QTest::newRow("audio b 3") << "AUB003";
    QTest::newRow("quad 5") << "AUQ005";
    QTest::newRow("power 2") << "PWR002";
    QTest::newRow("reset 0") << "RST000";
    QTest::newRow("reset query") << "RST999";
    QTest::newRow("version set") << "VER001";
    QTest::newRow("menu 2") << "MNX002";
    QTest::newRow("save 0") << "SAV000";
    QTest::newRow("recall 5") << "CAL005";
    QTest::newRow("hdcp input 5") << "HPI051";
    QTest::newRow("hdcp value 2") << "HPI012";
    QTest::newRow("hdcp query 5") << "HPO995";
    QTest::newRow("label display 2") << "LAB002";
    QTest::newRow("label input 5") << "LAI5Name";
    QTest::newRow("label query 5") << "LAI995";
    QTest::newRow("label bare") << "LAI";
    QTest::newRow("label control char") << std::string("LAI1a\tb").c_str();
    QTest::newRow("pip c") << "PPO031";
    QTest::newRow("pip corner 4") << "PPO014";
    QTest::newRow("pip size query 3") << "PSZ993";
    QTest::newRow("swap 3") << "PSW003";
    QTest::newRow("ip set") << "EIP001";
    QTest::newRow("lock 2") << "LCK002";
}

void TestSim::device_refuses()
{
    QFETCH(QString, commands);
    SimDevice device;
    const DeviceState before = device.state();
    QCOMPARE(ask(device, commands.toStdString()), std::string("ERR\r"));
    if (!commands.contains('|'))
        QCOMPARE(device.state().mode, before.mode);
}

void TestSim::device_routing_follows_current_channel()
{
    SimDevice device;
    ask(device, "OUT002|INP004|OUT003|INP001");
    QCOMPARE(device.state().inputs, (std::array<int, 4>{1, 4, 1, 4}));
    QCOMPARE(ask(device, "OUT002|INP999"), std::string("INP004\r"));
    QCOMPARE(device.state().channel, 2);

    // TV Wall shows one input on every output.
    ask(device, "MOD003|INP003");
    QCOMPARE(device.state().inputs, (std::array<int, 4>{3, 3, 3, 3}));
    QCOMPARE(ask(device, "OUT004|INP999"), std::string("INP003\r"));
}

void TestSim::device_picture_encoding()
{
    SimDevice device;
    // Matrix: the whole picture, kept in channel 1.
    QCOMPARE(ask(device, "BRI005"), std::string("BRI005\r"));
    QCOMPARE(device.state().picture[0].brightness, 5);
    QCOMPARE(ask(device, "CON100|CON999"), std::string("CON100\r"));

    // Other modes: 200 * (channel - 1) + value.
    ask(device, "MOD005|HUE442|SAT600|BRI275");
    QCOMPARE(device.state().picture[2].hue, 42);
    QCOMPARE(device.state().picture[3].saturation, 0);
    QCOMPARE(device.state().picture[1].brightness, 75);
    QCOMPARE(ask(device, "BRI991"), std::string("BRI005\r"));
    QCOMPARE(ask(device, "HUE993"), std::string("HUE442\r"));
    QCOMPARE(ask(device, "OUT002|BRI999"), std::string("BRI275\r"));

    QCOMPARE(ask(device, "RST002"), std::string("RST002\r"));
    for (const corvane::Picture& picture : device.state().picture)
        QCOMPARE(picture, corvane::Picture{});
}

void TestSim::device_bezel_limits()
{
    SimDevice device;
    QCOMPARE(ask(device, "BEH254"), std::string("BEH200\r"));
    QCOMPARE(ask(device, "BEV200"), std::string("BEV150\r"));
    device.state().bezel_h_limit = 120;
    QCOMPARE(ask(device, "BEH998"), std::string("BEH120\r"));
    QCOMPARE(ask(device, "BEH100|BEH999"), std::string("BEH100\r"));
    QCOMPARE(device.state().bezel_h, 100);
}

void TestSim::device_presets_store_and_recall()
{
    SimDevice device;
    ask(device, "MOD005|OUT002|INP003|RES010|ASP002|BRI260|AUE003|AUA002|AUB002|AUQ004");
    QCOMPARE(ask(device, "SAV002"), std::string("SAV002\r"));
    const corvane::Preset stored = device.state().presets[1];
    QCOMPARE(stored.mode, 5);
    QCOMPARE(stored.inputs[1], 3);
    QCOMPARE(stored.picture[1].brightness, 60);

    ask(device, "MOD001|OUT002|INP001|RES004|ASP000|BRI020|AUE000|AUA001|AUQ001");
    QCOMPARE(device.state().mode, 1);
    QCOMPARE(ask(device, "CAL002"), std::string("CAL002\r"));
    QCOMPARE(ask(device, "MOD999"), std::string("MOD005\r"));
    QCOMPARE(ask(device, "OUT002|INP999"), std::string("INP003\r"));
    QCOMPARE(ask(device, "RES999"), std::string("RES010\r"));
    QCOMPARE(ask(device, "ASP999"), std::string("ASP002\r"));
    QCOMPARE(ask(device, "BRI992"), std::string("BRI260\r"));
    QCOMPARE(ask(device, "BRI991"), std::string("BRI050\r"));
    QCOMPARE(ask(device, "AUE999"), std::string("AUE003\r"));
    QCOMPARE(ask(device, "AUQ999"), std::string("AUQ004\r"));

    // An untouched preset holds the factory settings.
    QCOMPARE(ask(device, "CAL004|MOD999"), std::string("MOD001\r"));
}

void TestSim::device_labels()
{
    SimDevice device;
    // The panel's set command ends with two carriage returns; the empty line gets no reply.
    auto replies = device.feed("LAI2Camera\r\r");
    QCOMPARE(replies, std::vector<std::string>{"LAI2Camera\r"});
    QCOMPARE(device.received(), std::vector<std::string>{"LAI2Camera"});
    QCOMPARE(device.state().labels[1], std::string("Camera"));
    QCOMPARE(ask(device, "LAI992"), std::string("LAI2Camera\r"));

    QCOMPARE(ask(device, "LAI3Lecture Hall West"), std::string("LAI3Lecture Hall\r"));
    QCOMPARE(device.state().labels[2], std::string("Lecture Hall"));
    QCOMPARE(ask(device, "LAI4"), std::string("LAI4\r"));
    QCOMPARE(ask(device, "LAI994"), std::string("LAI4\r"));
    QCOMPARE(ask(device, "LAI199"), std::string("LAI199\r"));   // input 1, label "99"
}

void TestSim::device_framing_and_log()
{
    SimDevice device;
    QVERIFY(device.feed("MO").empty());
    QVERIFY(device.feed("D0").empty());
    QCOMPARE(device.feed("02\r"), std::vector<std::string>{"MOD002\r"});
    QCOMPARE(device.feed("\n\r\rOUT999\r\nINP999\r"), (std::vector<std::string>{"OUT001\r", "INP001\r"}));
    QCOMPARE(device.received(), (std::vector<std::string>{"MOD002", "OUT999", "INP999"}));
    device.clear_received();
    QVERIFY(device.received().empty());
    QCOMPARE(device.feed("BAD\r"), std::vector<std::string>{"ERR\r"});
    QCOMPARE(device.received(), std::vector<std::string>{"BAD"});
}

void TestSim::device_restart_and_factory_reset()
{
    SimDevice device;
    QCOMPARE(ask(device, "PWR001"), std::string("PWR001\r"));
    QVERIFY(!device.restart_pending());   // already on: nothing to boot

    ask(device, "PWR000");
    QVERIFY(!device.state().power_on);
    QVERIFY(!device.restart_pending());
    ask(device, "PWR001");
    QVERIFY(device.state().power_on);
    QVERIFY(device.take_restart());
    QVERIFY(!device.restart_pending());

    device.state().ip = "010.000.000.007";
    ask(device, "MOD003|BEH100|LAB001|LAI1Stage|HPO011|SAV001|LCK001");
    QCOMPARE(ask(device, "RST001"), std::string("RST001\r"));
    QVERIFY(device.take_restart());
    const DeviceState& s = device.state();
    QCOMPARE(s.mode, 1);
    QCOMPARE(s.bezel_h, 0);
    QVERIFY(!s.labels_on);
    QCOMPARE(s.labels[0], std::string("HDMI 1"));
    QCOMPARE(s.hdcp_out[0], 0);
    QVERIFY(!s.key_lock);
    QCOMPARE(s.presets[0], corvane::Preset{});
    QCOMPARE(s.ip, std::string("010.000.000.007"));
    QCOMPARE(ask(device, "EIP999"), std::string("010.000.000.007\r"));
}

// --- Server over TCP --------------------------------------------------------

void TestSim::tcp_answers_and_logs()
{
    TcpRig rig;
    QCOMPARE(rig.exchange("MOD999"), QByteArray("MOD001\r"));
    QCOMPARE(rig.exchange("MOD002"), QByteArray("MOD002\r"));
    QCOMPARE(rig.exchange("LAI2Camera\r"), QByteArray("LAI2Camera\r"));
    QCOMPARE(rig.exchange("EGW999"), QByteArray("192.168.001.001\r"));
    QCOMPARE(rig.server.log(), (QStringList{"MOD999", "MOD002", "LAI2Camera", "EGW999"}));
    QCOMPARE(rig.server.device().state().mode, 2);

    // A second client takes the place of the first.
    QSignalSpy gone(&rig.socket, &QTcpSocket::disconnected);
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, rig.server.tcp_port());
    QVERIFY(second.waitForConnected(2000));
    QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 2000);
    Collector collector(&second);
    second.write("MOD999\r");
    QVERIFY(collector.wait_lines(1));
    QCOMPARE(collector.data, QByteArray("MOD002\r"));
}

void TestSim::tcp_split_replies()
{
    TcpRig rig;
    rig.set([](Faults& f) {
        f.split = 1;
        f.split_gap_ms = 5;
    });
    QCOMPARE(rig.exchange("LAI991"), QByteArray("LAI1HDMI 1\r"));
    QVERIFY2(rig.collector.chunks.size() >= 2, qPrintable(QString::number(rig.collector.chunks.size())));

    rig.set([](Faults& f) { f.split = 3; });
    QCOMPARE(rig.exchange("MOD999"), QByteArray("MOD001\r"));
    QVERIFY(rig.collector.chunks.size() >= 2);
}

void TestSim::tcp_merged_replies()
{
    TcpRig rig;
    rig.set([](Faults& f) { f.merge = true; });
    rig.socket.write("MOD999\r");
    QTest::qWait(50);
    QVERIFY(rig.collector.data.isEmpty());   // held back
    QCOMPARE(rig.exchange("OUT999", 2), QByteArray("MOD001\rOUT001\r"));
    QCOMPARE(rig.collector.chunks.size(), 1);

    // An unsolicited line joins a held reply.
    rig.collector.clear();
    rig.socket.write("AUD999\r");
    QTest::qWait(30);
    rig.server.send_unsolicited("PWR000");
    QVERIFY(rig.collector.wait_lines(2));
    QCOMPARE(rig.collector.data, QByteArray("AUD001\rPWR000\r"));

    // Ending the mode lets a held reply go.
    rig.collector.clear();
    rig.socket.write("LCK999\r");
    QTest::qWait(30);
    rig.set([](Faults& f) { f.merge = false; });
    QVERIFY(rig.collector.wait_lines(1));
    QCOMPARE(rig.collector.data, QByteArray("LCK000\r"));

    // A line attached to the next reply.
    rig.server.attach_to_next_reply("INP002");
    QCOMPARE(rig.exchange("OUT999", 2), QByteArray("OUT001\rINP002\r"));
    QCOMPARE(rig.collector.chunks.size(), 1);
}

void TestSim::tcp_silent_and_err()
{
    TcpRig rig;
    rig.set([](Faults& f) { f.silent = {"MOD"}; });
    rig.socket.write("MOD003\r");
    QCOMPARE(rig.exchange("OUT999"), QByteArray("OUT001\r"));   // only the OUT reply came
    QCOMPARE(rig.server.device().state().mode, 3);             // a silent command is still carried out

    rig.set([](Faults& f) {
        f.silent.clear();
        f.err = {"ASP"};
    });
    QCOMPARE(rig.exchange("ASP003"), QByteArray("ERR\r"));
    QCOMPARE(rig.server.device().state().aspect, 0);   // refused: not carried out
    QCOMPARE(rig.exchange("AUE002"), QByteArray("AUE002\r"));

    rig.set([](Faults& f) { f.err_all = true; });
    QCOMPARE(rig.exchange("MOD999"), QByteArray("ERR\r"));
    QCOMPARE(rig.server.log().last(), QString("MOD999"));

    rig.set([](Faults& f) {
        f.err_all = false;
        f.err.clear();
        f.garbage = true;
    });
    QCOMPARE(rig.exchange("MOD999"), QByteArray("\x80\xff\xfeMOD003\r"));
    rig.set([](Faults& f) { f.garbage = false; });
    rig.collector.clear();
    rig.server.send_garbage();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.collector.data.isEmpty(), 2000);
    QVERIFY(!rig.collector.data.contains('\r'));
}

void TestSim::tcp_delay()
{
    TcpRig rig;
    rig.set([](Faults& f) { f.delay_ms = 150; });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(rig.exchange("MOD999"), QByteArray("MOD001\r"));
    QVERIFY2(clock.elapsed() >= 140, qPrintable(QString::number(clock.elapsed())));
}

void TestSim::tcp_unsolicited_lines()
{
    TcpRig rig;
    rig.server.send_unsolicited("PWR000");
    QVERIFY(rig.collector.wait_lines(1));
    QCOMPARE(rig.collector.data, QByteArray("PWR000\r"));

    // A front-panel change moves the device and reports it.
    rig.collector.clear();
    rig.server.front_panel("MOD005");
    QVERIFY(rig.collector.wait_lines(1));
    QCOMPARE(rig.collector.data, QByteArray("MOD005\r"));
    QCOMPARE(rig.server.device().state().mode, 5);
    QVERIFY(rig.server.log().isEmpty());
}

void TestSim::tcp_ext_and_drop()
{
    {
        TcpRig rig;
        QSignalSpy gone(&rig.socket, &QTcpSocket::disconnected);
        rig.server.send_ext();
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 2000);
        QCOMPARE(rig.collector.data, QByteArray("EXT\r"));
    }
    {
        TcpRig rig;
        QSignalSpy gone(&rig.socket, &QTcpSocket::disconnected);
        rig.server.drop_connection();
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 2000);
        QVERIFY(!rig.server.has_client());

        // The device takes a new connection at once.
        QTcpSocket again;
        again.connectToHost(QHostAddress::LocalHost, rig.server.tcp_port());
        QVERIFY(again.waitForConnected(2000));
    }
}

void TestSim::tcp_restart_refuses_clients()
{
    TcpRig rig;
    rig.set([](Faults& f) { f.restart_ms = 300; });
    QSignalSpy gone(&rig.socket, &QTcpSocket::disconnected);
    QSignalSpy finished(&rig.server, &SimServer::restart_finished);
    QCOMPARE(rig.exchange("MOD003"), QByteArray("MOD003\r"));
    rig.collector.clear();
    rig.socket.write("RST001\r");
    QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 2000);
    QCOMPARE(rig.collector.data, QByteArray("RST001\r"));
    QVERIFY(rig.server.restarting());
    QCOMPARE(rig.server.device().state().mode, 1);

    QTcpSocket early;
    QSignalSpy refused(&early, &QTcpSocket::errorOccurred);
    early.connectToHost(QHostAddress::LocalHost, rig.server.tcp_port());
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 2000);
    QCOMPARE(early.error(), QAbstractSocket::ConnectionRefusedError);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    QTcpSocket later;
    later.connectToHost(QHostAddress::LocalHost, rig.server.tcp_port());
    QVERIFY(later.waitForConnected(2000));
    Collector collector(&later);
    later.write("PWR000\r");
    QVERIFY(collector.wait_lines(1));
    QCOMPARE(collector.data, QByteArray("PWR000\r"));

    // Waking from standby restarts the device too.
    QSignalSpy later_gone(&later, &QTcpSocket::disconnected);
    collector.clear();
    later.write("PWR001\r");
    QTRY_COMPARE_WITH_TIMEOUT(later_gone.count(), 1, 2000);
    QCOMPARE(collector.data, QByteArray("PWR001\r"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 2000);
}

void TestSim::tcp_pacing()
{
    TcpRig rig;
    rig.set([](Faults& f) { f.pace = true; });
    const QString line(300, 'X');   // 301 bytes take about 26 ms at 115200 baud
    QElapsedTimer clock;
    clock.start();
    rig.server.send_unsolicited(line);
    QVERIFY(rig.collector.wait_lines(1));
    QVERIFY2(clock.elapsed() >= 24, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.collector.data, line.toLatin1() + '\r');
    QVERIFY(rig.collector.chunks.size() > 1);
}

// --- Server over the pseudo-terminal -----------------------------------------

void TestSim::pty_serial_port_exchange()
{
    auto owner = std::make_unique<SimServer>();
    SimServer& server = *owner;
    SimServer::Options options;
    options.tcp = false;
    options.pty_link = QDir::tempPath() + QStringLiteral("/corvane-test-%1").arg(QCoreApplication::applicationPid());
    QVERIFY(server.start(options));
    auto remove_link = qScopeGuard([&] { QFile::remove(options.pty_link); });
    QVERIFY(server.pty_path().startsWith("/dev/"));
    QCOMPARE(QFileInfo(options.pty_link).symLinkTarget(), server.pty_path());

    for (int round = 0; round < 2; ++round) {   // the port can be closed and opened again
        QSerialPort port(options.pty_link);
        port.setBaudRate(QSerialPort::Baud115200);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.clear();
        Collector collector(&port);
        port.write("MOD999\r");
        QVERIFY(collector.wait_lines(1));
        QCOMPARE(collector.data, round == 0 ? QByteArray("MOD001\r") : QByteArray("MOD004\r"));

        collector.clear();
        port.write("MOD004\rLAI1Stage\r\rEIP999\r");
        QVERIFY(collector.wait_lines(3));
        QCOMPARE(collector.data, QByteArray("MOD004\rLAI1Stage\r192.168.001.100\r"));

        Faults faults;
        faults.split = 2;
        server.set_faults(faults);
        collector.clear();
        port.write("VR2999\r");
        QVERIFY(collector.wait_lines(1));
        QCOMPARE(collector.data, QByteArray("VR2 12\r"));
        server.set_faults(Faults{});
        port.close();
    }
    QCOMPARE(server.log().size(), 10);

}

void TestSim::pty_restart_goes_silent()
{
    SimServer server;
    SimServer::Options options;
    options.tcp = false;
    QVERIFY(server.start(options));
    Faults faults;
    faults.restart_ms = 300;
    server.set_faults(faults);

    QSerialPort port(server.pty_path());
    port.setBaudRate(QSerialPort::Baud115200);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    Collector collector(&port);
    QSignalSpy finished(&server, &SimServer::restart_finished);

    port.write("PWR000\r");
    QVERIFY(collector.wait_lines(1));
    collector.clear();
    port.write("PWR001\r");
    QVERIFY(collector.wait_lines(1));
    QCOMPARE(collector.data, QByteArray("PWR001\r"));
    QTRY_VERIFY_WITH_TIMEOUT(server.restarting(), 1000);

    collector.clear();
    port.write("MOD999\r");
    QTest::qWait(100);
    QVERIFY(collector.data.isEmpty());   // booting: nothing is heard

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    port.write("MOD999\r");
    QVERIFY(collector.wait_lines(1));
    QCOMPARE(collector.data, QByteArray("MOD001\r"));
}

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
