// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Benchmarks: the polling loop against the in-process simulator (unpaced and at 19200-baud
// timing) and the simulator on a pty, a command-line poll loop on a pty, the per-record graph
// update, and the tolerance auto-adjust.
#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"
#include "gui/gui.h"
#include "gui/recording.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "sim_device.h"
#include "status/status.h"
#include "support/ser2net_process.h"
#include "support/sim_process.h"

namespace {

// The process's CPU time, the part of it spent in the kernel, and its context switches.
struct Usage {
    double cpu = 0, system = 0;
    long switches = 0;
};

Usage UsageNow() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double user = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6;
    const double system = ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    return {user + system, system, ru.ru_nvcsw + ru.ru_nivcsw};
}

// The panel after start-up with the simulated sensor behind COM1.
struct Rig {
    explicit Rig(bool paced) : device(model, {}, paced) {
        AttachComDevice(1, &device);
        InitVars();
        com = 1;
        InitRS232(com);
    }
    ~Rig() {
        CloseCom(1);
        AttachComDevice(1, nullptr);
    }
    sensorsim::SensorModel model;
    sensorsim::SimComDevice device;
};

// Polls until `records` more data records have been shown; returns the wall time taken.
double PollRecords(long records) {
    long shown = 0;
    QTimer counter; // fires once in each cycle's event processing
    counter.setInterval(0);
    QObject::connect(&counter, &QTimer::timeout, [&] {
        if (++shown >= records)
            poll = 0;
    });
    counter.start();
    const double t0 = Timer();
    GetData();
    return Timer() - t0;
}

// Polls 100 records after a warm-up and reports the rate against the wire limit of
// 19200 / (10 * 198) records per second, and the CPU time the process used meanwhile.
void MeasurePolling(benchmark::State &state) {
    PollRecords(10); // first paints and font caches are not what polling costs
    const long records = 100;
    for (auto _ : state) {
        const Usage before = UsageNow();
        const double seconds = PollRecords(records);
        const Usage after = UsageNow();
        const double cpu = after.cpu - before.cpu;
        // The kernel's part varies most from run to run on a virtual machine: it is reported
        // apart, with the context switches (wake-ups) a record costs.
        state.counters["kernel %"] = 100.0 * (after.system - before.system) / seconds;
        state.counters["switches/record"] = double(after.switches - before.switches) / records;
        state.SetIterationTime(seconds);
        state.counters["records/s"] = records / seconds;
        state.counters["wire limit %"] = 100.0 * (records / seconds) / (19200.0 / (10 * 198));
        state.counters["CPU % of a core"] = 100.0 * cpu / seconds;
    }
}

void BM_GetDataUnpaced(benchmark::State &state) {
    Rig rig(false);
    SetCtrlVal(panel, PANEL_SOURCE, u16{1}); // the strip chart replots every record
    DispVis();
    const long records = 2000;
    for (auto _ : state) {
        const double seconds = PollRecords(records);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * records);
    state.counters["records/s"] = benchmark::Counter(static_cast<double>(records),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_GetDataUnpaced)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_GetDataAt19200Baud(benchmark::State &state) {
    Rig rig(true);
    SetCtrlVal(panel, PANEL_SOURCE, u16{0});
    DispVis();
    MeasurePolling(state);
}
BENCHMARK(BM_GetDataAt19200Baud)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// tintaro-sensor-sim on a pty (the tests' helper), mapped to TINTARO_COM<port>.
class PtySim {
public:
    PtySim(int port, const QStringList &args)
        : port_(port), sim_(args), var_("TINTARO_COM" + std::to_string(port)) {
        setenv(var_.c_str(), sim_.link.toLocal8Bit().constData(), 1);
    }
    ~PtySim() {
        CloseCom(port_);
        unsetenv(var_.c_str());
    }
    bool started() const { return sim_.started; }

private:
    int port_;
    testsupport::SimProcess sim_;
    std::string var_;
};

// The same through a real serial port: the simulator executable on a pty at 19200-baud timing.
void BM_GetDataPtyAt19200Baud(benchmark::State &state) {
    PtySim sim(7, {"--scene", "green"});
    if (!sim.started()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    InitVars();
    com = 7;
    InitRS232(com);
    MeasurePolling(state);
}
BENCHMARK(BM_GetDataPtyAt19200Baud)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// The window program's polling at line speed in each SOURCE view (0 to 6), with recording to CSV
// off (0) and on (1): tintaro-sensor-sim on a pty at 19200-baud timing, the panel shown and
// painted, the view picked as the operator does (the ring's value, then its layout).
std::string g_csvPath; // the answer to the file pop-up of "Record data to CSV..."

void BM_PollingPtyAt19200Baud(benchmark::State &state) {
    PtySim sim(9, {"--scene", "green"});
    if (!sim.started()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    InitVars();
    com = 9;
    InitRS232(com);
    SetCtrlVal(panel, PANEL_SOURCE, static_cast<u16>(state.range(0)));
    DispVis();
    QTemporaryDir dir;
    const bool recording = state.range(1) != 0;
    if (recording) {
        g_csvPath = dir.filePath("data.csv").toStdString();
        StartRecording();
        if (!RecordingOn()) {
            state.SkipWithError("recording did not start");
            return;
        }
    }
    MeasurePolling(state);
    StopRecording();
}
BENCHMARK(BM_PollingPtyAt19200Baud)
    ->ArgNames({"source", "csv"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
// The same through a device server: ser2net on 127.0.0.1 in front of the simulator's pty, raw
// TCP and RFC 2217, with the network port's quiet gap (state.range(0) ms) after each reply.
void NetworkPolling(benchmark::State &state, bool telnet) {
    testsupport::SimProcess sim({"--scene", "green"});
    testsupport::Ser2NetProcess server(sim.link, telnet);
    if (!sim.started || !server.started) {
        state.SkipWithError("the simulator or ser2net did not start");
        return;
    }
    SetComNetworkQuietGap(double(state.range(0)) / 1000.0);
    setenv("TINTARO_COM7", server.url().toUtf8().constData(), 1);
    InitVars();
    com = 7;
    InitRS232(com);
    MeasurePolling(state);
    CloseCom(7);
    unsetenv("TINTARO_COM7");
    SetComNetworkQuietGap(0.010);
}
void BM_GetDataSer2NetRawAt19200Baud(benchmark::State &state) {
    NetworkPolling(state, false);
}
void BM_GetDataSer2NetRfc2217At19200Baud(benchmark::State &state) {
    NetworkPolling(state, true);
}
BENCHMARK(BM_GetDataSer2NetRawAt19200Baud)->Arg(10)->Arg(2)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_GetDataSer2NetRfc2217At19200Baud)->Arg(10)->Arg(2)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

// A command-line poll loop on the unpaced simulator on a pty, without the panel: flush, request a
// data record, wait for its 14 bytes as the program does, wait for the quiet gap that tells a
// whole reply from one with stray bytes after it, read.
void BM_PollLoopPtyFast(benchmark::State &state) {
    constexpr int kPort = 8;
    PtySim sim(kPort, {"--fast", "--scene", "green"});
    if (!sim.started() || OpenComConfig(kPort, "", 19200, 0, 8, 1, 1024, 1024) != 0) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    SetComTime(kPort, 2.0);
    std::array<char, 184> request{};
    request[1] = 0x55;
    request[3] = 5;
    char reply[1024];
    const auto transaction = [&] {
        FlushInQ(kPort);
        FlushOutQ(kPort);
        ComWrt(kPort, request.data(), int(request.size()));
        const double begin = Timer();
        int n = 0;
        do {
            n = GetInQLen(kPort);
        } while (Timer() - begin <= 2.0 && n < 14);
        if (n == 14)
            n = WaitComQuiet(kPort, 14);
        return ComRd(kPort, reply, std::clamp(n, 0, int(sizeof reply))) == 14 && n == 14;
    };
    for (int i = 0; i < 200; ++i)
        transaction();
    const long records = 5000;
    for (auto _ : state) {
        long refused = 0;
        const double cpu0 = UsageNow().cpu;
        const double begin = Timer();
        for (long i = 0; i < records; ++i)
            refused += !transaction();
        const double seconds = Timer() - begin;
        state.SetIterationTime(seconds);
        state.counters["records/s"] = records / seconds;
        state.counters["refused"] = double(refused);
        state.counters["CPU % of a core"] = 100.0 * (UsageNow().cpu - cpu0) / seconds;
    }
}
BENCHMARK(BM_PollLoopPtyFast)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

// SEND to EEPROM and then GET at once: the sensor needs 0.3 s after an EEPROM write, and the
// program waits them out before the GET's request. Reports the CPU time that wait costs.
void BM_PacingAfterSendToEeprom(benchmark::State &state) {
    Rig rig(false);
    SetCtrlVal(panel, PANEL_SELECT_RAM, std::int32_t{0});
    SetCtrlVal(panel, PANEL_SELECT_EEPROM, std::int32_t{1});
    target = EEPROM;
    double pacingCpu = 0.0, pacingWall = 0.0;
    for (auto _ : state) {
        SendPara();
        const double cpu0 = UsageNow().cpu;
        const double t0 = Timer();
        PacingWait();
        pacingWall += Timer() - t0;
        pacingCpu += UsageNow().cpu - cpu0;
        GetPara();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["pacing wait ms"] = 1000.0 * pacingWall / n;
    state.counters["pacing CPU ms"] = 1000.0 * pacingCpu / n;
}
BENCHMARK(BM_PacingAfterSendToEeprom)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ShowGraphFullHistory(benchmark::State &state) {
    InitVars();
    for (int i = 0; i < kHistoryValues; ++i)
        alldata[i] = (i * 37) % 4096;
    SetCtrlVal(panel, PANEL_SOURCE, u16{1});
    DispVis();
    for (auto _ : state) {
        ShowGraph();
        ProcessSystemEvents();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ShowGraphFullHistory)->Unit(benchmark::kMicrosecond);

void BM_AutoAdjust15Rows(benchmark::State &state) {
    InitVars();
    SetCtrlVal(panel, PANEL_MAXCOLNO, u16{15});
    for (int r = 1; r <= 15; ++r) {
        // A grid of colours, some close enough to limit each other.
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(1, r), 800 + (r % 4) * 260);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(2, r), 700 + (r / 4) * 300);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(4, r), 1000 + (r % 3) * 50);
        SetTableCellVal(panel, PANEL_TABLE, MakePoint(5, r), 100);
    }
    for (auto _ : state)
        AutoAdjust();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AutoAdjust15Rows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    SetProcessArgs(argc, argv);
    if (!InitRTEEx(nullptr, nullptr, nullptr))
        return 2;
    // Any pop-up (a time-out) is noted on stderr instead of waiting for a click.
    SetPopupHandler([](const PopupRequest &r) {
        if (r.kind == PopupRequest::FileSelect && !g_csvPath.empty())
            return PopupAnswer{1, g_csvPath};
        std::fprintf(stderr, "pop-up: %s\n", r.title.c_str());
        return PopupAnswer{};
    });
    RegisterPanelCallbacks();
    panel = LoadPanel(0, "Tintarov10.uir", PANEL);
    if (panel < 0)
        return 3;
    // The window as the program opens it: status bar and menus around the panel.
    StartLinkStatus();
    InstallMenus();
    DisplayPanel(panel); // shown, so that what the records change is really painted
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    DiscardPanel(panel);
    return 0;
}
