// corvane-sim: a simulated Corvane on a TCP port and a pseudo-terminal, steered from stdin.

#include "sim_server.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signal_pipe[2] = {-1, -1};

void on_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(signal_pipe[1], &byte, 1);
}

QSet<QString> code_set(const QString& list)
{
    QSet<QString> codes;
    for (const QString& code : list.split(',', Qt::SkipEmptyParts))
        codes.insert(code.trimmed().toUpper());
    codes.remove(QString());
    return codes;
}

const char* kCommandHelp =
    "stdin commands, one per line:\n"
    "  send TEXT        send TEXT and a carriage return on its own\n"
    "  attach TEXT      send TEXT in the same write as the next reply\n"
    "  lead MS TEXT     send TEXT on its own just before the next reply, which follows MS later\n"
    "  panel CMD        carry out CMD as a front-panel change and send its reply on its own\n"
    "  drop             end the TCP connection at once\n"
    "  ext              send \"EXT\" and end the TCP connection\n"
    "  restart          restart as after a factory reset\n"
    "  silent CODES     never answer these codes (comma list; empty or 'none' clears)\n"
    "  err CODES|all|none  answer \"ERR\" to these codes or to everything\n"
    "  split N          write replies in pieces of N bytes (0: whole)\n"
    "  merge on|off     write each reply together with the next one\n"
    "  delay MS         wait before each reply\n"
    "  garbage          send a few non-ASCII bytes\n"
    "  garbage on|off   put non-ASCII bytes in front of every reply\n"
    "  flood N          send N bytes of line noise (no carriage return) at once\n"
    "  noise RATE       send line noise continuously, RATE bytes per second (0: off)\n"
    "  lines RATE [L,..]  send valid lines on their own continuously, RATE bytes per second\n"
    "                   (0: off); the lines L (comma list), PWR001 when none are given\n"
    "  line-burst N [L,..]  send N bytes of valid lines at once (PWR001 when none are given)\n"
    "  late CODES MS    answer these codes MS milliseconds late (comma list; 'none' clears)\n"
    "  unplug           pull the serial adapter: the pty goes away\n"
    "  pace on|off      write at 115200 baud\n"
    "  restart-ms MS    how long a restart lasts\n"
    "  state            print the device state as key=value lines, then 'end'\n"
    "  quit             exit\n";

bool on_off(const QString& word)
{
    return word == "on" || word == "1" || word == "true";
}

// Carries out one stdin command; returns false for "quit".
bool run_command(corvane::SimServer& server, const QString& line, QTextStream& out)
{
    const QString trimmed = line.trimmed();
    const qsizetype space = trimmed.indexOf(' ');
    const QString verb = space < 0 ? trimmed : trimmed.left(space);
    const QString arg = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    corvane::Faults faults = server.faults();

    if (verb.isEmpty()) {
        return true;
    } else if (verb == "quit") {
        return false;
    } else if (verb == "send") {
        server.send_unsolicited(arg);
    } else if (verb == "attach") {
        server.attach_to_next_reply(arg);
    } else if (verb == "lead") {
        const qsizetype gap_end = arg.indexOf(' ');
        server.lead_next_reply(gap_end < 0 ? QString() : arg.mid(gap_end + 1), arg.left(gap_end).toInt());
    } else if (verb == "panel") {
        server.front_panel(arg);
    } else if (verb == "drop") {
        server.drop_connection();
    } else if (verb == "ext") {
        server.send_ext();
    } else if (verb == "restart") {
        server.restart();
    } else if (verb == "silent") {
        faults.silent = arg == "none" ? QSet<QString>() : code_set(arg);
    } else if (verb == "err") {
        faults.err_all = arg == "all";
        faults.err = (arg == "all" || arg == "none") ? QSet<QString>() : code_set(arg);
    } else if (verb == "split") {
        faults.split = std::max(0, arg.toInt());
    } else if (verb == "merge") {
        faults.merge = on_off(arg);
    } else if (verb == "delay") {
        faults.delay_ms = std::max(0, arg.toInt());
    } else if (verb == "garbage") {
        if (arg.isEmpty())
            server.send_garbage();
        else
            faults.garbage = on_off(arg);
    } else if (verb == "flood") {
        server.flood(std::max<qint64>(0, arg.toLongLong()));
    } else if (verb == "noise") {
        faults.noise_rate = std::max(0, arg.toInt());
    } else if (verb == "lines" || verb == "line-burst") {
        const QStringList words = arg.split(' ', Qt::SkipEmptyParts);
        QStringList lines = words.size() > 1 ? words[1].split(',', Qt::SkipEmptyParts) : QStringList();
        if (lines.isEmpty())
            lines << QStringLiteral("PWR001");
        if (verb == "line-burst") {
            server.flood_lines(std::max<qint64>(0, words.value(0).toLongLong()), lines);
        } else {
            faults.line_rate = std::max(0, words.value(0).toInt());
            faults.stream = lines;
        }
    } else if (verb == "late") {
        const QStringList words = arg.split(' ', Qt::SkipEmptyParts);
        faults.late.clear();
        if (words.size() == 2)
            for (const QString& code : code_set(words[0]))
                faults.late.insert(code, std::max(0, words[1].toInt()));
    } else if (verb == "unplug") {
        server.unplug_pty();
    } else if (verb == "pace") {
        faults.pace = on_off(arg);
    } else if (verb == "restart-ms") {
        faults.restart_ms = std::max(0, arg.toInt());
    } else if (verb == "state") {
        out << QString::fromStdString(server.device().dump()) << "end\n";
        out.flush();
        return true;
    } else {
        std::cerr << "corvane-sim: unknown command: " << verb.toStdString() << "\n" << kCommandHelp;
        return true;
    }
    server.set_faults(faults);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("corvane-sim");
    QCoreApplication::setApplicationVersion(QStringLiteral(QUADREL_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated Corvane video processor.\n\n") + kCommandHelp);
    parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"), "Show the version.");
    parser.addOption(version);
    const QCommandLineOption tcp_port(QStringLiteral("tcp-port"), "TCP port on 127.0.0.1 (default 2323, 0: any free).", "N", "2323");
    const QCommandLineOption no_tcp(QStringLiteral("no-tcp"), "Do not listen on TCP.");
    const QCommandLineOption no_pty(QStringLiteral("no-pty"), "Do not open a pseudo-terminal.");
    const QCommandLineOption pty_link(QStringLiteral("pty-link"), "Make PATH a symlink to the pty slave.", "PATH");
    const QCommandLineOption log_file(QStringLiteral("log"), "Write the received commands to FILE (default stdout).", "FILE");
    const QCommandLineOption pace(QStringLiteral("pace"), "Write replies at 115200 baud.");
    const QCommandLineOption silent(QStringLiteral("silent"), "Never answer these codes (comma list).", "CODES");
    const QCommandLineOption err(QStringLiteral("err"), "Answer \"ERR\" to these codes, or to all.", "CODES|all");
    const QCommandLineOption split(QStringLiteral("split"), "Write replies in pieces of N bytes.", "N");
    const QCommandLineOption merge(QStringLiteral("merge"), "Write each reply together with the next one.");
    const QCommandLineOption garbage(QStringLiteral("garbage"), "Put non-ASCII bytes in front of every reply.");
    const QCommandLineOption delay(QStringLiteral("delay"), "Wait MS milliseconds before each reply.", "MS");
    const QCommandLineOption restart_ms(QStringLiteral("restart-ms"), "How long a restart lasts (default 1500).", "MS");
    const QCommandLineOption resolutions(QStringLiteral("resolutions"), "Number of output resolutions (default 30).", "N");
    parser.addOptions({tcp_port, no_tcp, no_pty, pty_link, log_file, pace, silent, err, split, merge, garbage,
                       delay, restart_ms, resolutions});
    parser.process(app);
    if (parser.isSet(version)) {
        std::cout << "corvane-sim " QUADREL_VERSION "\n"
                     "Copyright (C) 2026 The Quadrel developers\n"
                     "License GPL-3.0-or-later: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.\n"
                     "This is free software: you are free to change and redistribute it.\n"
                     "There is NO WARRANTY, to the extent permitted by law.\n";
        return 0;
    }

    corvane::SimServer server;
    corvane::Faults faults;
    faults.pace = parser.isSet(pace);
    faults.merge = parser.isSet(merge);
    faults.garbage = parser.isSet(garbage);
    faults.silent = code_set(parser.value(silent));
    faults.err_all = parser.value(err) == "all";
    if (!faults.err_all)
        faults.err = code_set(parser.value(err));
    if (parser.isSet(split))
        faults.split = std::max(0, parser.value(split).toInt());
    if (parser.isSet(delay))
        faults.delay_ms = std::max(0, parser.value(delay).toInt());
    if (parser.isSet(restart_ms))
        faults.restart_ms = std::max(0, parser.value(restart_ms).toInt());
    server.set_faults(faults);
    if (parser.isSet(resolutions))
        server.device().state().resolution_count = std::clamp(parser.value(resolutions).toInt(), 1, 99);

    corvane::SimServer::Options options;
    options.tcp = !parser.isSet(no_tcp);
    bool port_ok = false;
    const int port = parser.value(tcp_port).toInt(&port_ok);
    if (!port_ok || port < 0 || port > 65535) {
        std::cerr << "corvane-sim: bad --tcp-port\n";
        return 2;
    }
    options.tcp_port = quint16(port);
    options.pty = !parser.isSet(no_pty);
    options.pty_link = parser.value(pty_link);

    QFile log;
    if (parser.isSet(log_file)) {
        // Appended to by the system (O_APPEND), so that a device or a pipe
        // (/dev/null, /dev/stderr) is written as it is, not sought to its end.
        const QByteArray path = QFile::encodeName(parser.value(log_file));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        if (fd < 0 || !log.open(fd, QIODevice::WriteOnly | QIODevice::Text, QFileDevice::AutoCloseHandle)) {
            std::cerr << "corvane-sim: cannot open " << path.toStdString() << ": " << std::strerror(errno) << "\n";
            return 2;
        }
    } else {
        log.open(stdout, QIODevice::WriteOnly | QIODevice::Text);
    }
    QTextStream out(stdout);
    QTextStream log_out(&log);

    QString error;
    if (!server.start(options, &error)) {
        std::cerr << "corvane-sim: " << error.toStdString() << "\n";
        return 1;
    }

    QObject::connect(&server, &corvane::SimServer::command_received, [&log_out](const QString& line) {
        log_out << "RX " << line << "\n";
        log_out.flush();
    });

    // SIGTERM and SIGINT end the event loop, so the server cleans up (symlink included).
    if (::pipe(signal_pipe) == 0) {
        std::signal(SIGTERM, on_signal);
        std::signal(SIGINT, on_signal);
        auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    std::signal(SIGPIPE, SIG_IGN);

    // Run-time commands on stdin; end of input only stops the reading.
    QByteArray stdin_buffer;
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(input, &QSocketNotifier::activated, [&] {
        char chunk[1024];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            input->setEnabled(false);
            return;
        }
        stdin_buffer.append(chunk, int(n));
        qsizetype end;
        while ((end = stdin_buffer.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(stdin_buffer.left(end));
            stdin_buffer.remove(0, end + 1);
            if (!run_command(server, line, out)) {
                QCoreApplication::quit();
                return;
            }
        }
    });

    out << "corvane-sim:";
    if (options.tcp)
        out << " tcp 127.0.0.1:" << server.tcp_port();
    if (options.pty)
        out << " pty " << server.pty_path();
    if (!server.pty_link().isEmpty())
        out << " link " << server.pty_link();
    out << "\n";
    out.flush();

    return app.exec();
}
