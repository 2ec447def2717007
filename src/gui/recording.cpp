// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Recording data records to CSV, and the menu bar.
#include "gui/recording.h"
#include "gui/teachcheck.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Tintarov10/state.h"
#include "line/line.h"
#include "platform/ui.h"
#include "status/status.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace {

std::FILE *file_ = nullptr;
std::string path_;           // the file being written, in the file-name encoding
long records_ = 0;
double firstRequest_ = -1.0; // request time of the first record written
bool failedWhilePolling_ = false;
int stopItem_ = 0;

const char *BaseName(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

void ShowState() {
    NoteRecording(file_ ? BaseName(path_) : nullptr, records_);
    if (stopItem_ > 0)
        SetMenuBarItemEnabled(stopItem_, file_ ? 1 : 0);
}

void ReportNotWritable(const char *what, const std::string &path) {
    static char message[160];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n FOLDER OR FILE NOT WRITABLE \n ",
                  what);
    MessagePopupWithPath("INFO", message, path.c_str());
}

void CloseFile() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

void OnStartItem(int, int) { StartRecording(); }
void OnStopItem(int, int) { StopRecording(); }
void OnAboutItem(int, int) { ShowAbout(); }

} // namespace

void InstallMenus() {
    AddMenuBarItem(panel, "File", "Record data to CSV...", OnStartItem);
    stopItem_ = AddMenuBarItem(panel, "File", "Stop recording", OnStopItem);
    InstallTeachMenu();
    AddMenuBarItem(panel, "Help", "About Tintaro", OnAboutItem);
    ShowState();
}

bool RecordingOn() { return file_ != nullptr; }

void StartRecording() {
    char chosen[MAX_PATHNAME_LEN] = {};
    if (FileSelectPopup(proj_dir, "data.csv", "*.csv", "Record data to CSV", 0, 0, 1, 1, 1,
                        chosen) <= 0)
        return;
    StopRecording();
    // Opening a FIFO for writing would wait for a reader for ever; a device is no record.
    struct stat st {};
    std::FILE *f = nullptr;
    if (::stat(chosen, &st) != 0 || S_ISREG(st.st_mode))
        f = std::fopen(chosen, "w");
    if (!f || std::fputs(line::CsvHeader(), f) < 0 || std::fflush(f) != 0) {
        if (f)
            std::fclose(f);
        ReportNotWritable("RECORDING NOT STARTED", chosen);
        ShowState();
        return;
    }
    file_ = f;
    path_ = chosen;
    records_ = 0;
    firstRequest_ = -1.0;
    failedWhilePolling_ = false;
    ShowState();
}

void StopRecording() {
    if (!file_)
        return;
    CloseFile();
    ShowState();
}

void RecordShownData() {
    if (!file_)
        return;
    // tstart is when this record's request went out.
    if (firstRequest_ < 0)
        firstRequest_ = tstart;
    const std::uint16_t record[protocol::kDataWords] = {dataR, dataG, dataB, dataX,
                                                        dataY, dataINT, dataCOL};
    const std::string row = line::CsvRow(tstart - firstRequest_, record);
    // Flushed per record: what was shown is on disk even if the program is ended.
    if (std::fputs(row.c_str(), file_) < 0 || std::fflush(file_) != 0) {
        // The pop-up waits until polling has ended: the loop is not held up by it.
        CloseFile();
        failedWhilePolling_ = true;
        ShowState();
        return;
    }
    ++records_;
    // Only the count changes here; the menu's state stays as it is.
    NoteRecording(BaseName(path_), records_);
}

void RecordingAfterPolling() {
    if (!failedWhilePolling_)
        return;
    failedWhilePolling_ = false;
    ReportNotWritable("RECORDING STOPPED", path_);
}

void ShowAbout() {
    static char text[512];
    char ident[64] = {};
    LastIdentification(ident, sizeof ident);
    std::snprintf(text, sizeof text,
                  " Tintaro %s \n \n Front end for the RGB colour sensor \n"
                  " Licence: GPL-3.0-or-later \n %s \n \n Sensor: %s \n ",
                  TINTARO_VERSION, LayerLibraryVersions(),
                  ident[0] ? ident : "no sensor identified");
    MessagePopup("About Tintaro", text);
}
