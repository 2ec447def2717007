// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Benchmarks: `tintaro-cli poll` against tintaro-sensor-sim on a pty, unpaced (--fast) and at
// 19200-baud timing. The rate comes from the CSV's own time column: records after the first
// over the time from the first request to the last, so the program's start is not counted.
#include <string>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include "support/sim_process.h"

namespace {

// Runs the poll for `records` records on a fresh simulator started with `simArgs`; returns the
// records per second, or a negative value when something failed.
double CliPollRate(const QStringList &simArgs, long records) {
    const QString bin = QCoreApplication::applicationDirPath();
    testsupport::SimProcess sim(simArgs);
    const QString link = sim.link;
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TINTARO_COM1", link);
    cli.setProcessEnvironment(env);
    cli.start(bin + "/tintaro-cli", {"poll", "--count", QString::number(records)});
    const bool done = cli.waitForFinished(600000) && cli.exitCode() == 0;
    sim.stop();
    if (!done)
        return -1.0;
    const QList<QByteArray> lines = cli.readAllStandardOutput().trimmed().split('\n');
    if (lines.size() != records + 1)
        return -1.0;
    const double last = lines.last().split(',').first().toDouble();
    return last > 0 ? double(records - 1) / last : -1.0;
}

void Report(benchmark::State &state, const QStringList &simArgs, long records) {
    for (auto _ : state) {
        const double rate = CliPollRate(simArgs, records);
        if (rate < 0) {
            state.SkipWithError("tintaro-cli poll failed");
            return;
        }
        state.SetIterationTime(double(records - 1) / rate);
        state.counters["records_per_s"] = rate;
        state.counters["pct_of_wire_limit"] = 100.0 * rate / (19200.0 / (10.0 * 198.0));
    }
}

void BM_CliPollPtyFast(benchmark::State &state) {
    Report(state, {"--fast", "--scene", "green"}, 10000);
}
BENCHMARK(BM_CliPollPtyFast)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void BM_CliPollPtyAt19200Baud(benchmark::State &state) {
    Report(state, {"--scene", "green"}, 200);
}
BENCHMARK(BM_CliPollPtyAt19200Baud)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
