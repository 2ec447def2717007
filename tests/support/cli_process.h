// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The one way tests run tintaro-cli: with TINTARO_COM<n> set as the test says and no other
// mapping inherited from the machine, its exit code and both outputs collected.
#pragma once

#include <string>

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testsupport {

struct CliOutcome {
    int code = -1; // -1: it crashed or did not end within its wait
    std::string out, err;
};

// The environment with TINTARO_COM<n> set as given, the other numbers unset.
inline QProcessEnvironment CliEnv(const QMap<int, QString> &com = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (int n = 1; n <= 16; ++n)
        env.remove(QStringLiteral("TINTARO_COM%1").arg(n));
    for (auto it = com.begin(); it != com.end(); ++it)
        env.insert(QStringLiteral("TINTARO_COM%1").arg(it.key()), it.value());
    return env;
}

inline void StartCli(QProcess &p, const QStringList &args, const QProcessEnvironment &env) {
    p.setProgram(QStringLiteral(TINTARO_BIN_DIR "/tintaro-cli"));
    p.setArguments(args);
    p.setProcessEnvironment(env);
    p.start();
}

// Waits up to `ms` for the end; a tool still running then is killed and reported as -1.
inline CliOutcome FinishCli(QProcess &p, int ms = 60000) {
    CliOutcome o;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished();
        return o;
    }
    o.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = p.readAllStandardOutput().toStdString();
    o.err = p.readAllStandardError().toStdString();
    return o;
}

inline CliOutcome RunCli(const QStringList &args, const QProcessEnvironment &env, int ms = 60000) {
    QProcess p;
    StartCli(p, args, env);
    return FinishCli(p, ms);
}

} // namespace testsupport
