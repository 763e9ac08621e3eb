#include "sim_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr double kByteMicroseconds = 1e6 * 10 / 115200;   // start bit, 8 data bits, stop bit
const QByteArray kGarbage("\x80\xff\xfe", 3);

QString printable(const std::string& line)
{
    QString text;
    for (char c : line) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f)
            text += QChar(u);
        else
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QChar('0'));
    }
    return text;
}

} // namespace

// One way out of the device (the TCP client or the pty): frames what comes in and
// writes what goes out piece by piece, each piece after its gap and, when pacing,
// no faster than the serial line would carry it.
class SimServer::Link {
public:
    struct Piece {
        QByteArray bytes;
        int gap_ms = 0;
        Action action = Action::None;   // carried out once the bytes are written
    };

    Link(SimServer& owner, std::function<void(const QByteArray&)> write)
        : owner_(owner), write_(std::move(write))
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { pump(); });
        clock_.start();
    }

    void enqueue(Piece piece)
    {
        queue_.push_back(std::move(piece));
        pump();
    }

    void clear()
    {
        queue_.clear();
        held.clear();
        framer.clear();
        started_ = false;
        timer_.stop();
    }

    LineFramer framer;
    QByteArray held;   // a reply kept back to be merged with the next

private:
    qint64 now_us() const { return clock_.nsecsElapsed() / 1000; }

    void arm(qint64 us) { timer_.start(int(std::max<qint64>(1, (us + 999) / 1000))); }

    void pump()
    {
        timer_.stop();
        while (!queue_.empty()) {
            Piece& piece = queue_.front();
            const bool pace = owner_.faults_.pace;
            const qint64 now = now_us();
            if (!started_) {
                started_ = true;
                written_ = 0;
                due_us_ = now + qint64(piece.gap_ms) * 1000;
                if (pace)
                    due_us_ = std::max(due_us_, wire_free_us_);
            }
            if (now < due_us_) {
                arm(due_us_ - now);
                return;
            }
            if (pace && !piece.bytes.isEmpty()) {
                // A byte is handed over once the wire would have finished carrying it.
                const qsizetype size = piece.bytes.size();
                const qsizetype done = std::min<qsizetype>(size, qsizetype((now - due_us_) / kByteMicroseconds));
                if (done > written_) {
                    write_(piece.bytes.mid(written_, done - written_));
                    written_ = done;
                }
                if (written_ < size) {
                    arm(due_us_ + qint64((written_ + 1) * kByteMicroseconds) - now);
                    return;
                }
                wire_free_us_ = due_us_ + qint64(size * kByteMicroseconds);
            } else if (!piece.bytes.isEmpty()) {
                write_(piece.bytes);
            }
            const Action action = piece.action;
            queue_.pop_front();
            started_ = false;
            if (action != Action::None)
                owner_.perform(*this, action);
        }
    }

    SimServer& owner_;
    std::function<void(const QByteArray&)> write_;
    std::deque<Piece> queue_;
    QTimer timer_;
    QElapsedTimer clock_;
    bool started_ = false;      // the front piece has its due time
    qint64 due_us_ = 0;
    qsizetype written_ = 0;     // bytes of the front piece already written (pacing)
    qint64 wire_free_us_ = 0;   // when the paced line has carried its last byte
};

SimServer::SimServer(QObject* parent) : QObject(parent)
{
    tcp_out_ = std::make_unique<Link>(*this, [this](const QByteArray& bytes) {
        if (client_) {
            client_->write(bytes);
            client_->flush();
        }
    });
    pty_out_ = std::make_unique<Link>(*this, [this](const QByteArray& bytes) { write_pty(bytes); });
    noise_timer_.setInterval(10);
    connect(&noise_timer_, &QTimer::timeout, this, &SimServer::send_noise);
    stream_timer_.setInterval(10);
    connect(&stream_timer_, &QTimer::timeout, this, &SimServer::send_stream);
    restart_timer_.setSingleShot(true);
    connect(&restart_timer_, &QTimer::timeout, this, &SimServer::end_restart);
}

SimServer::~SimServer()
{
    if (client_) {
        client_->disconnect(this);
        client_->abort();
    }
    close_pty();
}

bool SimServer::start(const Options& options, QString* error)
{
    options_ = options;
    if (options.tcp) {
        tcp_server_ = new QTcpServer(this);
        connect(tcp_server_, &QTcpServer::newConnection, this, &SimServer::on_new_connection);
        tcp_port_ = options.tcp_port;
        if (!listen_tcp()) {
            if (error)
                *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
                             .arg(options.tcp_port)
                             .arg(tcp_server_->errorString());
            return false;
        }
    }
    if (options.pty && !open_pty(error))
        return false;
    return true;
}

bool SimServer::has_client() const
{
    return client_ && client_->state() == QAbstractSocket::ConnectedState;
}

void SimServer::set_faults(const Faults& faults)
{
    const bool merge_ended = faults_.merge && !faults.merge;
    const bool stream_changed = faults_.line_rate != faults.line_rate || faults_.stream != faults.stream;
    faults_ = faults;
    if (faults_.noise_rate > 0 && !noise_timer_.isActive())
        noise_timer_.start();
    else if (faults_.noise_rate <= 0)
        noise_timer_.stop();
    if (faults_.line_rate > 0 && !faults_.stream.isEmpty() && (stream_changed || !stream_timer_.isActive())) {
        stream_clock_.start();
        stream_sent_ = 0;
        stream_timer_.start();
    }
    else if (faults_.line_rate <= 0 || faults_.stream.isEmpty())
        stream_timer_.stop();
    if (merge_ended) {
        flush_held(*tcp_out_);
        flush_held(*pty_out_);
    }
}

QStringList SimServer::log() const
{
    QStringList lines;
    for (const std::string& line : device_.received())
        lines << printable(line);
    return lines;
}

void SimServer::clear_log()
{
    device_.clear_received();
}

void SimServer::send_unsolicited(const QString& line)
{
    deliver_everywhere(line.toLatin1() + '\r');
}

void SimServer::attach_to_next_reply(const QString& line)
{
    attached_ += line.toLatin1() + '\r';
}

void SimServer::lead_next_reply(const QString& line, int gap_ms)
{
    lead_ = line.isEmpty() ? QByteArray() : line.toLatin1() + '\r';
    lead_gap_ms_ = std::max(0, gap_ms);
}

void SimServer::flood(qint64 bytes)
{
    // Random bytes without carriage returns or capital letters, so that no
    // reply code forms by chance; written in pieces as a fast line carries them.
    constexpr qint64 kPiece = 64 * 1024;
    for (qint64 done = 0; done < bytes; done += kPiece) {
        QByteArray piece(int(std::min(kPiece, bytes - done)), Qt::Uninitialized);
        for (char& c : piece) {
            noise_seed_ = noise_seed_ * 1664525u + 1013904223u;
            c = char(noise_seed_ >> 24);
            if (c == '\r')
                c = '\n';
            else if (c >= 'A' && c <= 'Z')
                c = char(c + ('a' - 'A'));
        }
        send_garbage(piece);
    }
}

void SimServer::send_noise()
{
    flood(std::max(1, faults_.noise_rate / 100));
}

void SimServer::flood_lines(qint64 bytes, const QStringList& lines)
{
    QList<QByteArray> encoded;
    for (const QString& line : lines)
        encoded << line.toLatin1() + '\r';
    if (encoded.isEmpty())
        return;
    // Whole lines only, in pieces of about 64 KiB as a fast line carries them.
    constexpr qsizetype kPiece = 64 * 1024;
    QByteArray piece;
    qint64 sent = 0;
    for (qsizetype next = 0;; ++next) {
        const QByteArray& line = encoded.at(next % encoded.size());
        if (sent + piece.size() + line.size() > bytes)
            break;
        piece += line;
        if (piece.size() >= kPiece) {
            send_garbage(piece);
            sent += piece.size();
            piece.clear();
        }
    }
    if (!piece.isEmpty())
        send_garbage(piece);
}

void SimServer::send_stream()
{
    // As many whole lines as the rate allows since the stream started, even
    // when a tick comes late.
    const qint64 due = qint64(double(faults_.line_rate) * stream_clock_.nsecsElapsed() / 1e9);
    QByteArray out;
    for (;;) {
        const QByteArray line = faults_.stream.at(stream_next_ % faults_.stream.size()).toLatin1() + '\r';
        if (stream_sent_ + out.size() + line.size() > due)
            break;
        out += line;
        ++stream_next_;
    }
    stream_sent_ += out.size();
    if (!out.isEmpty())
        send_garbage(out);
}

void SimServer::unplug_pty()
{
    pty_out_->clear();
    close_pty();
}

void SimServer::front_panel(const QString& command)
{
    const std::string reply = device_.apply(command.toStdString());
    if (!reply.empty())
        deliver_everywhere(QByteArray::fromStdString(reply));
    if (device_.take_restart())
        QTimer::singleShot(50, this, [this] { begin_restart(); });
}

void SimServer::send_garbage(const QByteArray& bytes)
{
    if (restarting_)
        return;
    if (has_client())
        tcp_out_->enqueue({bytes});
    if (pty_master_ >= 0)
        pty_out_->enqueue({bytes});
}

void SimServer::drop_connection()
{
    if (client_)
        client_->abort();
}

void SimServer::send_ext()
{
    if (has_client())
        tcp_out_->enqueue({QByteArray("EXT\r"), 0, Action::Close});
}

void SimServer::restart()
{
    begin_restart();
}

void SimServer::on_new_connection()
{
    while (QTcpSocket* socket = tcp_server_->nextPendingConnection()) {
        if (restarting_) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (client_) {
            // One client at a time: a newcomer takes the place of the old one.
            QTcpSocket* old = client_;
            old->disconnect(this);
            old->abort();
            old->deleteLater();
            tcp_out_->clear();
            emit client_disconnected();
        }
        client_ = socket;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &SimServer::on_tcp_ready_read);
        connect(socket, &QTcpSocket::disconnected, this, &SimServer::on_tcp_disconnected);
        emit client_connected();
    }
}

void SimServer::on_tcp_ready_read()
{
    if (!client_)
        return;
    const QByteArray bytes = client_->readAll();
    if (!restarting_ && !restart_queued_)
        handle_input(*tcp_out_, bytes);
}

void SimServer::on_tcp_disconnected()
{
    auto* socket = qobject_cast<QTcpSocket*>(sender());
    if (socket != client_)
        return;
    client_->disconnect(this);
    client_->deleteLater();
    client_ = nullptr;
    tcp_out_->clear();
    emit client_disconnected();
    if (restart_queued_)
        begin_restart();
}

void SimServer::on_pty_readable()
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pty_master_, buffer, sizeof buffer);
        if (n > 0) {
            if (!restarting_ && !restart_queued_)
                handle_input(*pty_out_, QByteArray(buffer, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EIO) {
            // No slave open: stop listening for a moment instead of spinning.
            pty_notifier_->setEnabled(false);
            QTimer::singleShot(50, this, [this] {
                if (pty_notifier_)
                    pty_notifier_->setEnabled(true);
            });
        }
        return;
    }
}

void SimServer::handle_input(Link& link, const QByteArray& bytes)
{
    for (const std::string& line : link.framer.push(std::string_view(bytes.constData(), bytes.size()))) {
        const QString code = QString::fromLatin1(line.substr(0, 3));
        emit command_received(printable(line));

        std::string reply;
        bool restart = false;
        const int late_ms = faults_.late.value(code, -1);
        if (faults_.err_all || faults_.err.contains(code)) {
            reply = device_.refuse(line);
        } else {
            reply = device_.execute(line);
            restart = device_.take_restart();
            if (faults_.silent.contains(code))
                reply.clear();
        }
        if (!reply.empty() && late_ms >= 0) {
            // Sent on its own later; the replies behind it do not wait for it.
            const QByteArray late_reply = QByteArray::fromStdString(reply);
            QTimer::singleShot(late_ms, this, [this, &link, late_reply] {
                if (!restarting_)
                    link.enqueue({late_reply});
            });
        } else if (!reply.empty()) {
            deliver(link, QByteArray::fromStdString(reply), true);
        }
        if (restart) {
            // The reply goes out first; the rest of this input is lost in the restart.
            restart_queued_ = true;
            flush_held(link);
            link.enqueue({QByteArray(), 0, Action::Restart});
            return;
        }
    }
}

void SimServer::deliver(Link& link, QByteArray bytes, bool is_reply)
{
    if (is_reply && !attached_.isEmpty()) {
        bytes += attached_;
        attached_.clear();
    }
    int gap = is_reply ? faults_.delay_ms : 0;
    if (is_reply && !lead_.isEmpty()) {
        link.enqueue({lead_, gap});
        lead_.clear();
        gap = lead_gap_ms_;
    }
    if (is_reply && faults_.merge && link.held.isEmpty()) {
        link.held = bytes;
        return;
    }
    bytes.prepend(link.held);
    link.held.clear();
    if (faults_.garbage)
        bytes.prepend(kGarbage);

    if (faults_.split > 0) {
        for (qsizetype at = 0; at < bytes.size(); at += faults_.split)
            link.enqueue({bytes.mid(at, faults_.split), at == 0 ? gap : faults_.split_gap_ms});
    } else {
        link.enqueue({bytes, gap});
    }
}

void SimServer::deliver_everywhere(const QByteArray& bytes)
{
    if (restarting_)
        return;
    if (has_client())
        deliver(*tcp_out_, bytes, false);
    if (pty_master_ >= 0)
        deliver(*pty_out_, bytes, false);
}

void SimServer::flush_held(Link& link)
{
    if (link.held.isEmpty())
        return;
    QByteArray bytes = link.held;
    link.held.clear();
    link.enqueue({bytes});
}

void SimServer::perform(Link& link, Action action)
{
    if (action == Action::Restart) {
        begin_restart();
    } else if (action == Action::Close && &link == tcp_out_.get() && client_) {
        client_->disconnectFromHost();
    }
}

void SimServer::begin_restart()
{
    restart_queued_ = false;
    if (restarting_)
        return;
    restarting_ = true;
    emit restart_started();
    tcp_out_->clear();
    pty_out_->clear();
    pty_backlog_.clear();
    if (client_)
        client_->disconnectFromHost();
    if (tcp_server_)
        tcp_server_->close();
    restart_timer_.start(std::max(0, faults_.restart_ms));
}

void SimServer::end_restart()
{
    if (tcp_server_ && !listen_tcp()) {
        restart_timer_.start(100);   // the port is not free yet; try again shortly
        return;
    }
    restarting_ = false;
    emit restart_finished();
}

bool SimServer::listen_tcp()
{
    if (!tcp_server_->listen(QHostAddress::LocalHost, tcp_port_))
        return false;
    tcp_port_ = tcp_server_->serverPort();
    return true;
}

bool SimServer::open_pty(QString* error)
{
    auto fail = [&](const QString& what) {
        if (error)
            *error = what + QStringLiteral(": ") + QString::fromLocal8Bit(strerror(errno));
        close_pty();
        return false;
    };

    pty_master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (pty_master_ < 0)
        return fail(QStringLiteral("posix_openpt"));
    if (::grantpt(pty_master_) != 0 || ::unlockpt(pty_master_) != 0)
        return fail(QStringLiteral("grantpt/unlockpt"));
    char name[256];
    if (::ptsname_r(pty_master_, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    ::fcntl(pty_master_, F_SETFL, ::fcntl(pty_master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(pty_master_, F_SETFD, FD_CLOEXEC);
    pty_path_ = QString::fromLocal8Bit(name);

    // The slave is set up raw once and then left to the panel: a simulator that
    // held it open would look like a second program on the port. While no one
    // has it open, reading the master fails with EIO (on_pty_readable pauses then).
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail(QStringLiteral("open ") + pty_path_);
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::close(slave);

    pty_notifier_ = new QSocketNotifier(pty_master_, QSocketNotifier::Read, this);
    connect(pty_notifier_, &QSocketNotifier::activated, this, &SimServer::on_pty_readable);
    pty_write_notifier_ = new QSocketNotifier(pty_master_, QSocketNotifier::Write, this);
    pty_write_notifier_->setEnabled(false);
    connect(pty_write_notifier_, &QSocketNotifier::activated, this, &SimServer::on_pty_writable);

    if (!options_.pty_link.isEmpty()) {
        const QByteArray link = QFile::encodeName(options_.pty_link);
        QFileInfo existing(options_.pty_link);
        if (existing.isSymLink())
            ::unlink(link.constData());
        else if (existing.exists()) {
            errno = EEXIST;
            return fail(QStringLiteral("symlink ") + options_.pty_link);
        }
        if (::symlink(name, link.constData()) != 0)
            return fail(QStringLiteral("symlink ") + options_.pty_link);
        pty_link_ = options_.pty_link;
    }
    return true;
}

void SimServer::close_pty()
{
    if (!pty_link_.isEmpty()) {
        ::unlink(QFile::encodeName(pty_link_).constData());
        pty_link_.clear();
    }
    delete pty_notifier_;
    pty_notifier_ = nullptr;
    delete pty_write_notifier_;
    pty_write_notifier_ = nullptr;
    pty_backlog_.clear();
    if (pty_master_ >= 0)
        ::close(pty_master_);
    pty_master_ = -1;
}

qint64 SimServer::write_pty(const QByteArray& bytes)
{
    if (pty_master_ < 0)
        return 0;
    // A UART loses nothing: while the panel reads, what the pty cannot take
    // now waits for it, in order. Only with nobody on the other side (or past
    // kPtyBacklog) is the rest lost.
    if (!pty_backlog_.isEmpty()) {
        if (pty_backlog_.size() + bytes.size() <= kPtyBacklog)
            pty_backlog_ += bytes;
        return bytes.size();
    }
    qint64 total = 0;
    while (total < bytes.size()) {
        const ssize_t n = ::write(pty_master_, bytes.constData() + total, size_t(bytes.size() - total));
        if (n > 0) {
            total += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    if (total < bytes.size() && errno == EAGAIN && pty_reader_present()) {
        pty_backlog_ = bytes.mid(total, kPtyBacklog);
        pty_write_notifier_->setEnabled(true);
        return bytes.size();
    }
    return total;
}

bool SimServer::pty_reader_present() const
{
    pollfd p{pty_master_, POLLOUT, 0};
    return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
}

void SimServer::on_pty_writable()
{
    while (!pty_backlog_.isEmpty()) {
        const ssize_t n = ::write(pty_master_, pty_backlog_.constData(), size_t(pty_backlog_.size()));
        if (n > 0) {
            pty_backlog_.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno == EAGAIN && pty_reader_present())
                return;   // the notifier calls again once there is room
            pty_backlog_.clear();
        }
    }
    pty_write_notifier_->setEnabled(false);
}

} // namespace corvane
