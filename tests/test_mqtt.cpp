// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli poll --mqtt against a real mosquitto broker on 127.0.0.1 at a free port, with
// tintaro-sensor-sim on a pty; mosquitto_sub listens. Every broker, simulator and subscriber
// is the test's own and is stopped by it.
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "support/sim_process.h"

namespace {

using testsupport::SimProcess;
using testsupport::WaitUntil;

int FreePort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

bool Accepts(int port) {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// mosquitto with a configuration of its own in a temporary folder; `users` (user:password
// lines) turns anonymous access off.
class Broker {
public:
    explicit Broker(const QStringList &users = {}) : port(FreePort()) {
        QByteArray conf = "listener " + QByteArray::number(port) +
                          " 127.0.0.1\npersistence false\nlog_dest stdout\n";
        // Run as root (CI), mosquitto would change to its own user, who cannot read this
        // folder; it stays the user who runs the test.
        if (const passwd *pw = ::getpwuid(::geteuid()))
            conf += QByteArray("user ") + pw->pw_name + "\n";
        if (users.isEmpty()) {
            conf += "allow_anonymous true\n";
        } else {
            const QString file = dir.path() + "/passwd";
            for (const QString &u : users) {
                const QStringList up = u.split(':');
                const QStringList create = QFile::exists(file) ? QStringList() : QStringList{"-c"};
                QProcess::execute("mosquitto_passwd",
                                  create + QStringList{"-b", file, up[0], up[1]});
            }
            conf += "allow_anonymous false\npassword_file " + file.toLocal8Bit() + "\n";
        }
        QFile f(dir.path() + "/mosquitto.conf");
        if (f.open(QIODevice::WriteOnly))
            f.write(conf);
    }
    ~Broker() { stop(); }

    bool start() {
        proc.setProcessChannelMode(QProcess::MergedChannels);
        proc.start("mosquitto", {"-c", dir.path() + "/mosquitto.conf"});
        return proc.waitForStarted(5000) && WaitUntil([&] { return Accepts(port); }, 10000);
    }
    void stop() {
        if (proc.state() == QProcess::NotRunning)
            return;
        proc.terminate();
        if (!proc.waitForFinished(5000)) {
            proc.kill();
            proc.waitForFinished(3000);
        }
    }
    QString url(const QString &prefix, const QString &user = {}) const {
        return "mqtt://" + (user.isEmpty() ? QString() : user + "@") +
               "127.0.0.1:" + QString::number(port) + "/" + prefix;
    }
    // The retained message on `topic`, or empty.
    QByteArray retained(const QString &topic) const {
        QProcess sub;
        sub.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(port), "-t", topic,
                                    "--retained-only", "-C", "1", "-W", "2"});
        sub.waitForFinished(10000);
        return sub.readAllStandardOutput().trimmed();
    }

    QTemporaryDir dir;
    int port;
    QProcess proc;
};

// mosquitto_sub on PREFIX/# printing "topic payload" lines, subscribed once the constructor
// returns (a marker published after its start has come back).
class Subscriber {
public:
    Subscriber(const Broker &broker, const QString &prefix) {
        const QString port = QString::number(broker.port);
        proc.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", port, "-t", prefix + "/#", "-v"});
        proc.waitForStarted(5000);
        subscribed = WaitUntil(
            [&] {
                QProcess::execute("mosquitto_pub", {"-h", "127.0.0.1", "-p", port, "-t",
                                                    prefix + "/marker", "-m", "x"});
                return lines().contains(prefix.toLocal8Bit() + "/marker x");
            },
            10000);
    }
    ~Subscriber() {
        proc.kill();
        proc.waitForFinished(3000);
    }
    const QList<QByteArray> &lines() {
        proc.waitForReadyRead(20);
        buffer += proc.readAllStandardOutput();
        all = buffer.split('\n');
        all.removeLast(); // the line not yet ended
        return all;
    }
    // The payloads received on `topic`.
    QList<QByteArray> on(const QString &topic) {
        QList<QByteArray> out;
        const QByteArray head = topic.toLocal8Bit() + " ";
        for (const QByteArray &l : lines())
            if (l.startsWith(head))
                out << l.mid(head.size());
        return out;
    }

    QProcess proc;
    QByteArray buffer;
    QList<QByteArray> all;
    bool subscribed = false;
};

void StartCli(QProcess &p, const QStringList &args, const QString &com1) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TINTARO_COM1", com1);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TINTARO_BIN_DIR "/tintaro-cli"), args);
    p.waitForStarted(5000);
}

int Finish(QProcess &p) {
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(3000);
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

QJsonObject Json(const QByteArray &text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text.constData();
    return doc.object();
}

// The state's name in a state message, or empty.
QString StateOf(const QByteArray &text) {
    return QJsonDocument::fromJson(text).object()["state"].toString();
}

int CsvRows(QByteArray *out, QProcess &p) {
    p.waitForReadyRead(20);
    *out += p.readAllStandardOutput();
    return int(out->count('\n')) - 1;
}

const QByteArray kOffline = R"({"state": "offline"})";

// Records on stdout and as JSON carry the same values; the state is online with the sensor's
// identification while polling and offline, retained, after a clean end.
TEST(Mqtt, RecordsAndRetainedState) {
    SimProcess sim({"--fast"});
    Broker broker;
    ASSERT_TRUE(sim.started && broker.start());
    Subscriber sub(broker, "plant/line3/s1");
    ASSERT_TRUE(sub.subscribed);

    QProcess cli;
    StartCli(cli, {"poll", "--count", "20", "--mqtt", broker.url("plant/line3/s1")}, sim.link);
    ASSERT_EQ(Finish(cli), 0) << cli.readAllStandardError().constData();
    const QList<QByteArray> csv = cli.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(csv.size(), 21);

    ASSERT_TRUE(WaitUntil([&] { return sub.on("plant/line3/s1/record").size() == 20; }, 10000));
    const QList<QByteArray> records = sub.on("plant/line3/s1/record");
    const QStringList names = QString(csv[0]).split(',');
    for (int n = 0; n < 20; ++n) {
        const QJsonObject j = Json(records[n]);
        const QList<QByteArray> row = csv[n + 1].split(',');
        ASSERT_EQ(j.size(), names.size());
        EXPECT_NEAR(j["time"].toDouble(), row[0].toDouble(), 1e-9);
        for (int k = 1; k < names.size(); ++k)
            EXPECT_EQ(j[names[k]].toInt(-1), row[k].toInt()) << names[k].toStdString();
    }
    const QList<QByteArray> states = sub.on("plant/line3/s1/state");
    ASSERT_GE(states.size(), 2);
    const QJsonObject online = Json(states.first());
    EXPECT_EQ(online["state"].toString(), "online");
    EXPECT_TRUE(online["sensor"].toString().contains("SIMULATOR"));
    EXPECT_EQ(states.last(), kOffline);
    EXPECT_EQ(broker.retained("plant/line3/s1/state"), kOffline);
}

// Killed without a chance to say goodbye, the tool leaves its last will; a sensor that stops
// answering leaves "no reply".
TEST(Mqtt, LastWillAndNoReply) {
    SimProcess sim({"--fast", "--fault", "silence-after:50"});
    Broker broker;
    ASSERT_TRUE(sim.started && broker.start());
    const QString topic = "s2/state";
    {
        QProcess cli;
        StartCli(cli, {"poll", "--quiet", "--interval", "0.05", "--mqtt", broker.url("s2")},
                 sim.link);
        ASSERT_TRUE(WaitUntil([&] { return StateOf(broker.retained(topic)) == "online"; }, 20000));
        EXPECT_TRUE(cli.readAllStandardOutput().isEmpty()); // --quiet
        ::kill(pid_t(cli.processId()), SIGKILL);
        cli.waitForFinished(5000);
        EXPECT_TRUE(WaitUntil([&] { return broker.retained(topic) == kOffline; }, 20000));
    }
    QProcess cli;
    StartCli(cli, {"poll", "--quiet", "--mqtt", broker.url("s2")}, sim.link);
    EXPECT_EQ(Finish(cli), 4);
    EXPECT_EQ(broker.retained(topic), R"({"state": "no reply"})");
}

// The broker goes away in the middle: records keep coming on stdout, and once it is back the
// tool is connected again and publishes its state and records anew.
TEST(Mqtt, BrokerRestartedInTheMiddle) {
    SimProcess sim({"--fast"});
    Broker broker;
    ASSERT_TRUE(sim.started && broker.start());
    QProcess cli;
    StartCli(cli, {"poll", "--interval", "0.02", "--mqtt", broker.url("s3")}, sim.link);
    ASSERT_TRUE(WaitUntil([&] { return StateOf(broker.retained("s3/state")) == "online"; }, 20000));
    broker.stop();
    QByteArray out;
    const int before = CsvRows(&out, cli);
    EXPECT_TRUE(WaitUntil([&] { return CsvRows(&out, cli) >= before + 10; }, 20000));
    ASSERT_TRUE(broker.start()); // same port, nothing retained
    Subscriber sub(broker, "s3");
    ASSERT_TRUE(sub.subscribed);
    EXPECT_TRUE(WaitUntil([&] { return !sub.on("s3/record").isEmpty(); }, 60000));
    EXPECT_EQ(Json(broker.retained("s3/state"))["state"], "online");
    EXPECT_EQ(cli.state(), QProcess::Running);
    cli.terminate();
    EXPECT_EQ(Finish(cli), 0);
    EXPECT_TRUE(cli.readAllStandardError().contains("connection lost"));
    EXPECT_EQ(broker.retained("s3/state"), kOffline);
}

// A broker not there at the start is no reason to stop polling.
TEST(Mqtt, NoBrokerPollsOn) {
    SimProcess sim({"--fast"});
    ASSERT_TRUE(sim.started);
    QProcess cli;
    StartCli(cli,
             {"poll", "--count", "5", "--mqtt",
              "mqtt://127.0.0.1:" + QString::number(FreePort()) + "/s4"},
             sim.link);
    EXPECT_EQ(Finish(cli), 0);
    EXPECT_EQ(cli.readAllStandardOutput().count('\n'), 6);
}

// A refused user or password is exit 6, said on stderr, before anything is sent to the sensor.
TEST(Mqtt, RefusedPassword) {
    SimProcess sim({"--fast"});
    Broker broker({"line:secret"});
    ASSERT_TRUE(sim.started && broker.start());
    const QString good = broker.dir.path() + "/good", bad = broker.dir.path() + "/bad";
    for (const auto &[file, text] : {std::pair{good, "secret\n"}, std::pair{bad, "guess\n"}}) {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    const struct {
        QString user, file;
        int code;
    } cases[] = {{"line", bad, 6}, {"", "", 6}, {"line", good, 0}};
    for (const auto &c : cases) {
        QStringList args{"poll", "--count", "3", "--mqtt", broker.url("s5", c.user)};
        if (!c.file.isEmpty())
            args << "--mqtt-password-file" << c.file;
        QProcess cli;
        StartCli(cli, args, sim.link);
        EXPECT_EQ(Finish(cli), c.code) << args.join(' ').toStdString();
        if (c.code == 6) {
            EXPECT_TRUE(cli.readAllStandardError().contains("refused"));
            EXPECT_TRUE(cli.readAllStandardOutput().isEmpty());
        }
    }
}

TEST(Mqtt, UsageErrors) {
    const QStringList bad[] = {
        {"--mqtt", "tcp://host/p"},
        {"--mqtt", "mqtt://host"},
        {"--mqtt", "mqtt://host/"},
        {"--mqtt", "mqtt://host:99999/p"},
        {"--mqtt", "mqtt://host/p/#"},
        {"--mqtt", "mqtt://@host/p"},
        {"--mqtt"},
        {"--mqtt-cafile", "/etc/hostname"},
        {"--mqtt", "mqtt://host/p", "--mqtt-cafile", "/etc/hostname"},
        {"--mqtt", "mqtt://host/p", "--mqtt-password-file", "/etc/hostname"},
        {"--mqtt", "mqtt://u@host/p", "--mqtt-password-file", "/nonexistent/file"},
    };
    for (const QStringList &args : bad) {
        QProcess cli;
        StartCli(cli, QStringList{"poll"} + args, "/nonexistent/port");
        EXPECT_EQ(Finish(cli), 2) << args.join(' ').toStdString();
    }
}

} // namespace
