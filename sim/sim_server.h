// Serves one simulated Corvane over TCP and a pseudo-terminal, with faults switchable at run time.
#pragma once

#include "sim_device.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace corvane {

// Ways the simulated device misbehaves; all off by default.
struct Faults {
    QSet<QString> silent;        // codes whose replies are never sent (the command is still carried out)
    QSet<QString> err;           // codes answered "ERR" (the command is not carried out)
    bool err_all = false;        // answer "ERR" to everything
    int split = 0;               // > 0: write each reply in pieces of this many bytes
    int split_gap_ms = 2;        // pause between two pieces
    bool merge = false;          // hold each reply back and write it together with the next one
    int delay_ms = 0;            // pause before each reply
    bool garbage = false;        // put a few non-ASCII bytes in front of every reply
    bool pace = false;           // write no faster than 115200 baud (86.8 us per byte)
    int restart_ms = 1500;       // how long a restart keeps the device away
    QMap<QString, int> late;     // codes whose replies come this many ms late (the others keep their time)
    int noise_rate = 0;          // > 0: line noise (as flood()) at this many bytes per second
    int line_rate = 0;           // > 0: the lines of `stream` sent on their own, over and over, at this many bytes per second
    QStringList stream{QStringLiteral("PWR001")};   // what line_rate sends, each line ended by a carriage return
};

class SimServer : public QObject {
    Q_OBJECT

public:
    struct Options {
        bool tcp = true;
        quint16 tcp_port = 0;    // 0: any free port
        bool pty = true;
        QString pty_link;        // symlink to the pty slave, made on start and removed on destruction
    };

    explicit SimServer(QObject* parent = nullptr);
    ~SimServer() override;

    // Opens the TCP port and the pty; false with a message on failure.
    bool start(const Options& options, QString* error = nullptr);

    SimDevice& device() { return device_; }
    const SimDevice& device() const { return device_; }

    quint16 tcp_port() const { return tcp_port_; }
    QString pty_path() const { return pty_path_; }
    QString pty_link() const { return pty_link_; }
    bool has_client() const;
    bool restarting() const { return restarting_; }

    const Faults& faults() const { return faults_; }
    void set_faults(const Faults& faults);

    // Every command line received, in order (non-printable bytes shown as \xNN).
    QStringList log() const;
    void clear_log();

    // A line the device sends on its own; "\r" is added. Goes to every open link.
    void send_unsolicited(const QString& line);
    // A line that rides in the same write as the next reply.
    void attach_to_next_reply(const QString& line);
    // A line sent on its own just before the next reply, which follows gap_ms later.
    void lead_next_reply(const QString& line, int gap_ms);
    // A change on the device's front panel: carries the command out and sends its reply on its own.
    void front_panel(const QString& command);
    // A few bytes that are no reply at all.
    void send_garbage(const QByteArray& bytes = QByteArray("\xff\xfe\x80\x01", 4));
    // A burst of line noise: `bytes` random bytes without a carriage return
    // (nor capital letters: no reply code forms by chance).
    void flood(qint64 bytes);
    // A burst of valid lines the device sends on its own: `lines` (each ended
    // by a carriage return) over and over, `bytes` in all, cut only between lines.
    void flood_lines(qint64 bytes, const QStringList& lines);
    // The serial adapter pulled out: the pty goes away (its link too).
    void unplug_pty();
    // Ends the TCP connection at once / after sending "EXT".
    void drop_connection();
    void send_ext();
    // Restarts as after "RST001": TCP refused and pty silent for restart_ms.
    void restart();

signals:
    void command_received(const QString& line);
    void client_connected();
    void client_disconnected();
    void restart_started();
    void restart_finished();

private:
    class Link;
    enum class Action { None, Close, Restart };

    void on_new_connection();
    void on_tcp_ready_read();
    void on_tcp_disconnected();
    void on_pty_readable();

    void handle_input(Link& link, const QByteArray& bytes);
    void deliver(Link& link, QByteArray bytes, bool is_reply);
    void deliver_everywhere(const QByteArray& bytes);
    void flush_held(Link& link);
    void send_noise();
    void send_stream();
    void perform(Link& link, Action action);
    void begin_restart();
    void end_restart();
    bool listen_tcp();
    bool open_pty(QString* error);
    void close_pty();
    qint64 write_pty(const QByteArray& bytes);
    bool pty_reader_present() const;
    void on_pty_writable();

    SimDevice device_;
    Faults faults_;
    Options options_;
    QByteArray attached_;
    QByteArray lead_;
    int lead_gap_ms_ = 0;
    QTimer noise_timer_;
    QTimer stream_timer_;
    quint32 noise_seed_ = 1;
    QElapsedTimer stream_clock_;    // since the line stream started
    qint64 stream_sent_ = 0;        // bytes of the line stream sent since then
    qsizetype stream_next_ = 0;     // the stream's next line

    QTcpServer* tcp_server_ = nullptr;
    QPointer<QTcpSocket> client_;
    quint16 tcp_port_ = 0;
    std::unique_ptr<Link> tcp_out_;

    int pty_master_ = -1;
    QString pty_path_;
    QString pty_link_;
    QSocketNotifier* pty_notifier_ = nullptr;
    QSocketNotifier* pty_write_notifier_ = nullptr;
    QByteArray pty_backlog_;        // written once the pty has room again
    static constexpr qsizetype kPtyBacklog = 64 << 20;
    std::unique_ptr<Link> pty_out_;

    bool restarting_ = false;
    bool restart_queued_ = false;   // a restart waits behind the reply that announced it
    QTimer restart_timer_;
};

} // namespace corvane
