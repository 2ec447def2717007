// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The program as shipped holds no test hook: with TINTARO_SCRIPT set it still shows its real
// pop-ups and reads no script, built and installed alike; the installation carries only the
// two programs and their files.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <set>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

// Asks a window to close as a window manager's close box would (x11_close.cpp).
bool SendCloseRequest(const char *display, unsigned long window);

namespace {

const QString kBin = QStringLiteral(TINTARO_BIN_DIR);

// Ends a child process that is still running: politely first, then for sure.
void Stop(QProcess &p) {
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(3000);
    }
}

// A private X server. Xvfb picks a free display itself (-displayfd); -noreset keeps it from
// resetting when its last client leaves, which would make the next connection fail.
class XServer {
public:
    XServer() {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        proc.setProgram(QStringLiteral("Xvfb"));
        proc.setArguments({"-displayfd", QString::number(fds[1]), "-screen", "0", "1280x800x24",
                           "-nolisten", "tcp", "-noreset"});
        proc.setChildProcessModifier([fd = fds[0]] { ::close(fd); });
        proc.start();
        ::close(fds[1]);
        QByteArray number;
        char c = 0;
        // Xvfb writes the display number once it accepts connections; EOF if it died.
        while (proc.waitForStarted(5000) && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        if (!number.isEmpty())
            display = QStringLiteral(":") + QString::fromLatin1(number);
    }
    ~XServer() { Stop(proc); }
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;

    // Runs xdotool; what it printed, trimmed. A search that finds nothing in `timeoutMs` is
    // ended and gives "".
    QString xdotool(const QStringList &args, int timeoutMs = 15000) const {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert("DISPLAY", display);
        p.setProcessEnvironment(e);
        p.start(QStringLiteral("xdotool"), args);
        if (!p.waitForFinished(timeoutMs)) {
            Stop(p);
            return {};
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

    // A visible window of process `pid` named `name`, or 0 when none shows within `timeoutMs`.
    // Each hit is confirmed by reading its name again: a search that meets a window being
    // destroyed can report it, and a close request to a vanished window is an X error.
    unsigned long findWindow(qint64 pid, const QString &name, int timeoutMs) const {
        for (int waited = 0;; waited += 100) {
            const QString hits = xdotool({"search", "--onlyvisible", "--pid", QString::number(pid),
                                          "--name", "^" + QRegularExpression::escape(name) + "$"});
            for (const QString &id : hits.split('\n', Qt::SkipEmptyParts))
                if (xdotool({"getwindowname", id}) == name)
                    return id.toULong();
            if (waited >= timeoutMs)
                return 0;
            QThread::msleep(100);
        }
    }

    QString display;
    QProcess proc;
};

// A pseudo-terminal whose other end never answers: the program opens it as its serial port,
// sends its identification request and runs into the reply time-out.
class SilentLine {
public:
    SilentLine() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0)
            return;
        ::fcntl(master, F_SETFD, FD_CLOEXEC); // not inherited by the programs started
        if (::grantpt(master) == 0 && ::unlockpt(master) == 0)
            if (const char *name = ::ptsname(master))
                device = QString::fromLocal8Bit(name);
    }
    ~SilentLine() {
        if (master >= 0)
            ::close(master);
    }
    SilentLine(const SilentLine &) = delete;
    SilentLine &operator=(const SilentLine &) = delete;

    int master = -1;
    QString device;
};

QByteArray ReadAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs `program` on the X server with COM1 on a silent line and TINTARO_SCRIPT naming a
// script that would type keys, answer a file pop-up and close the window at once. The shipped
// program must ignore it: the start-up TIMEOUT opens as a real window and waits for the
// operator, no pop-up or step is reported on stderr, and the panel stays until its close box.
void ExpectScriptIgnored(const QString &program) {
    XServer x;
    ASSERT_FALSE(x.display.isEmpty()) << "Xvfb is installed by scripts/install-deps";
    SilentLine line;
    ASSERT_FALSE(line.device.isEmpty()) << "no pseudo-terminal";
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString script = work.filePath("script");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0 key F11\n"
                "100 file " +
                QFile::encodeName(work.filePath("answer.dat")) +
                "\n"
                "200 grab " +
                QFile::encodeName(work.filePath("grab.png")) +
                "\n"
                "300 close\n"
                "400 quit\n");
    }

    QProcess app;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    e.insert("DISPLAY", x.display);
    e.insert("QT_QPA_PLATFORM", "xcb");
    e.insert("TINTARO_COM1", line.device);
    e.insert("TINTARO_SCRIPT", script);
    app.setProcessEnvironment(e);
    app.setWorkingDirectory(work.path());
    app.start(program, QStringList{});
    ASSERT_TRUE(app.waitForStarted(5000)) << program.toStdString();
    // Whatever happens below, nothing started here outlives the test.
    struct Guard {
        QProcess &p;
        ~Guard() { Stop(p); }
    } guard{app};

    // The line check gives up after 2 s; its pop-up is a real, waiting dialog.
    const unsigned long info = x.findWindow(app.processId(), "INFO", 20000);
    EXPECT_NE(info, 0ul) << "the TIMEOUT pop-up did not open as a window";
    EXPECT_EQ(app.state(), QProcess::Running) << "the program did not wait for the operator";
    if (info) {
        // The operator dismisses it with Enter; then the panel opens.
        x.xdotool({"windowfocus", "--sync", QString::number(info)});
        x.xdotool({"key", "Return"});
        const unsigned long panel = x.findWindow(app.processId(), "Tintaro V1.0", 15000);
        EXPECT_NE(panel, 0ul) << "the panel did not open after the pop-up";
        if (panel) {
            // Well past the script's close and quit: the panel is still there.
            QThread::msleep(2000);
            EXPECT_EQ(app.state(), QProcess::Running) << "the script closed the program";
            ASSERT_TRUE(SendCloseRequest(x.display.toLatin1().constData(), panel));
            EXPECT_TRUE(app.waitForFinished(15000)) << "the close box did not end the program";
            EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(app.exitCode(), 0);
        }
    }
    Stop(app);
    const QString errors = QString::fromLocal8Bit(app.readAllStandardError());
    EXPECT_FALSE(errors.contains("POPUP")) << errors.toStdString();
    EXPECT_FALSE(errors.contains("SCRIPT")) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(work.filePath("grab.png"))) << "a script step ran";
}

} // namespace

TEST(ShippedProgram, BuiltProgramIgnoresTheScriptVariable) {
    ExpectScriptIgnored(kBin + "/tintaro");
}

// The probe below finds the hook's variable in a program that reads it, so its absence in the
// shipped one means something.
TEST(ShippedProgram, OnlyTheScriptedBuildNamesTheScriptVariable) {
    const QByteArray shipped = ReadAll(kBin + "/tintaro");
    const QByteArray scripted = ReadAll(kBin + "/tintaro-scripted");
    ASSERT_FALSE(shipped.isEmpty());
    ASSERT_FALSE(scripted.isEmpty());
    EXPECT_TRUE(scripted.contains("TINTARO_SCRIPT"));
    EXPECT_TRUE(scripted.contains("FILEPOPUP"));
    EXPECT_FALSE(shipped.contains("TINTARO_SCRIPT"));
    EXPECT_FALSE(shipped.contains("FILEPOPUP"));
}

// `cmake --install` into a fresh prefix: the two programs (linked from bin/ to their folder
// with the panel and bitmaps), the desktop entry and icons; no scripted build, nothing named
// after a script; and the installed program ignores TINTARO_SCRIPT as the built one does.
TEST(ShippedProgram, InstallationHoldsNoTestHook) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DESTDIR"); // it would redirect the installation away from the prefix
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(TINTARO_CMAKE),
                  {"--install", QStringLiteral(TINTARO_BUILD_DIR), "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForStarted(5000));
    const bool ended = install.waitForFinished(60000);
    Stop(install);
    const std::string log = install.readAll().toStdString();
    ASSERT_TRUE(ended) << log;
    ASSERT_EQ(install.exitCode(), 0) << log;

    const QDir root(prefix.path());
    std::set<QString> programs, links;
    int files = 0;
    QDirIterator it(prefix.path(), QDir::Files | QDir::System | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo f(it.next());
        const QString rel = root.relativeFilePath(f.filePath());
        ++files;
        EXPECT_FALSE(rel.contains("script", Qt::CaseInsensitive)) << rel.toStdString();
        if (f.isSymLink())
            links.insert(rel);
        else if (f.isExecutable())
            programs.insert(rel);
    }
    EXPECT_GT(files, 4) << log;
    EXPECT_EQ(links, (std::set<QString>{"bin/tintaro", "bin/tintaro-cli",
                                        "bin/tintaro-sensor-sim"}))
        << log;
    ASSERT_EQ(programs.size(), 3u) << log;
    for (const QString &p : programs)
        EXPECT_TRUE(p.endsWith("/tintaro/tintaro") || p.endsWith("/tintaro/tintaro-cli") ||
                    p.endsWith("/tintaro/tintaro-sensor-sim"))
            << p.toStdString();
    for (const QString &p : programs)
        EXPECT_FALSE(ReadAll(root.filePath(p)).contains("TINTARO_SCRIPT")) << p.toStdString();
    EXPECT_TRUE(QFile::exists(root.filePath("share/applications/tintaro.desktop")));

    ExpectScriptIgnored(root.filePath("bin/tintaro"));
    // The installed command-line tool runs through its link, without a display.
    QProcess cli;
    cli.start(root.filePath("bin/tintaro-cli"), {"--version"});
    ASSERT_TRUE(cli.waitForFinished(10000));
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_TRUE(cli.readAllStandardOutput().startsWith("tintaro-cli "));
}
