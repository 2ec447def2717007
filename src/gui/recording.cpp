// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Recording data records to CSV, and the menu bar.
#include "gui/recording.h"
#include "gui/teachcheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Tintarov10/state.h"
#include "gui/journaling.h"
#include "gui/find_sensor.h"
#include "line/line.h"
#include "platform/files.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace {

// Seconds between looks at whether the path still names the file being written.
constexpr double kFileCheckInterval = 1.0;

int fd_ = -1;
std::string path_;           // the file being written, in the file-name encoding
off_t whole_ = 0;            // bytes of the header and the whole rows written
long records_ = 0;
double firstRequest_ = -1.0; // request time of the first record written
double lastCheck_ = 0.0;     // when the file was last checked to be the one opened
dev_t device_ = 0;           // the opened file, to tell it from one put in its place
ino_t inode_ = 0;
const char *stoppedBecause_ = nullptr; // why recording stopped while polling; reported after it
int stopItem_ = 0;

const char *BaseName(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

void ShowState() {
    NoteRecording(fd_ >= 0 ? BaseName(path_) : nullptr, records_);
    if (stopItem_ > 0)
        SetMenuBarItemEnabled(stopItem_, fd_ >= 0 ? 1 : 0);
}

void Report(const char *what, const char *reason, const std::string &path) {
    static char message[200];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n %s \n ", what, reason);
    MessagePopupWithPath("INFO", message, path.c_str());
}

void CloseFile() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

// Writes all of `text` in one write(2), so that a row reaches the file whole or not at all.
bool WriteWhole(const std::string &text) {
    ssize_t n;
    do
        n = ::write(fd_, text.data(), text.size());
    while (n < 0 && errno == EINTR);
    if (n == ssize_t(text.size())) {
        whole_ += off_t(n);
        return true;
    }
    // A full disk takes part of a row: cut the file back to the last whole one.
    if (n > 0 && ::ftruncate(fd_, whole_) != 0)
        std::perror("recording: ftruncate");
    return false;
}

// Whether the path still names the file being written: deleted or replaced, records would go
// into a file nobody sees.
bool StillOurFile() {
    struct stat now {};
    struct stat opened {};
    return ::fstat(fd_, &opened) == 0 && opened.st_nlink > 0 && ::stat(path_.c_str(), &now) == 0 &&
           now.st_dev == device_ && now.st_ino == inode_;
}

// Stops recording while polling; the pop-up waits until polling has ended so that the loop is
// not held up by it.
void StopWhilePolling(const char *reason) {
    CloseFile();
    stoppedBecause_ = reason;
    ShowState();
}

// Opens `chosen` for recording; -1 with *reason set when it may not or cannot be written.
int OpenTarget(const char *chosen, const char **reason) {
    // A link here has passed CheckSaveTarget: it is ours. Any other path is opened without
    // following a link, so that one planted after the check is not followed either.
    struct stat link {};
    const bool ourLink = ::lstat(chosen, &link) == 0 && S_ISLNK(link.st_mode);
    // A FIFO would wait for a reader for ever (O_NONBLOCK makes that fail at once); a device
    // is no record.
    const int flags =
        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK | (ourLink ? 0 : O_NOFOLLOW);
    const int fd = ::open(chosen, flags, 0666);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
        return fd;
    }
    if (fd >= 0)
        ::close(fd);
    *reason = errno == ELOOP ? "SYMBOLIC LINK NOT FOLLOWED" : "FOLDER OR FILE NOT WRITABLE";
    return -1;
}

void OnStartItem(int, int) { StartRecording(); }
void OnStopItem(int, int) { StopRecording(); }
void OnAboutItem(int, int) { ShowAbout(); }
void OnJournalItem(int, int) { ShowJournal(); }
void OnCompareItem(int, int) { ComparePanel(); }
void OnSheetItem(int, int) { ExportSetupSheet(); }
void OnFindSensorItem(int, int) { FindSensor(); }

} // namespace

void InstallMenus() {
    AddMenuBarItem(panel, "File", "Record data to CSV...", OnStartItem);
    stopItem_ = AddMenuBarItem(panel, "File", "Stop recording", OnStopItem);
    AddMenuBarItem(panel, "File", "Find sensor...", OnFindSensorItem);
    AddMenuBarItem(panel, "File", "Journal...", OnJournalItem);
    AddMenuBarItem(panel, "File", "Compare...", OnCompareItem);
    AddMenuBarItem(panel, "File", "Export setup sheet...", OnSheetItem);
    InstallTeachMenu();
    AddMenuBarItem(panel, "Help", "About Tintaro", OnAboutItem);
    ShowState();
}

bool RecordingOn() {
    return fd_ >= 0;
}

void StartRecording() {
    char chosen[MAX_PATHNAME_LEN] = {};
    if (FileSelectPopup(proj_dir, "data.csv", "*.csv", "Record data to CSV", 0, 0, 1, 1, 1,
                        chosen) <= 0)
        return;
    // Everything is asked and checked before a recording in progress is stopped: a refusal or
    // a No leaves it running.
    if (CheckSaveTarget(chosen) == FILE_UNSAFE_LINK) {
        Report("RECORDING NOT STARTED", "SYMBOLIC LINK NOT FOLLOWED", chosen);
        return;
    }
    struct stat st {};
    if (::stat(chosen, &st) == 0 && S_ISREG(st.st_mode) &&
        ConfirmPopup("Replace file", BaseName(chosen), " exists. Replace it?", CONFIRM_YES_NO) != 1)
        return;
    StopRecording();
    const char *reason = nullptr;
    fd_ = OpenTarget(chosen, &reason);
    path_ = chosen;
    whole_ = 0;
    if (fd_ >= 0 && !WriteWhole(line::CsvHeader())) {
        CloseFile();
        reason = "FOLDER OR FILE NOT WRITABLE";
    }
    if (fd_ < 0) {
        Report("RECORDING NOT STARTED", reason, chosen);
        ShowState();
        return;
    }
    records_ = 0;
    firstRequest_ = -1.0;
    lastCheck_ = Timer();
    stoppedBecause_ = nullptr;
    ShowState();
}

void StopRecording() {
    if (fd_ < 0)
        return;
    CloseFile();
    ShowState();
}

void RecordShownData() {
    if (fd_ < 0)
        return;
    // tstart is when this record's request went out.
    if (firstRequest_ < 0)
        firstRequest_ = tstart;
    const std::uint16_t record[protocol::kDataWords] = {dataR, dataG, dataB, dataX,
                                                        dataY, dataINT, dataCOL};
    // One write(2) a row, not fsynced: what was shown is with the system even if the program is
    // ended, and a record costs one system call.
    if (!WriteWhole(line::CsvRow(tstart - firstRequest_, record))) {
        StopWhilePolling("FILE NOT WRITABLE (DISK FULL?)");
        return;
    }
    ++records_;
    // Only the count changes here; the menu's state stays as it is.
    NoteRecording(BaseName(path_), records_);
    const double now = Timer();
    if (now - lastCheck_ >= kFileCheckInterval) {
        lastCheck_ = now;
        if (!StillOurFile())
            StopWhilePolling("FILE DELETED OR REPLACED");
    }
}

void RecordingAfterPolling() {
    if (!stoppedBecause_)
        return;
    const char *reason = stoppedBecause_;
    stoppedBecause_ = nullptr;
    Report("RECORDING STOPPED", reason, path_);
}

void ShowAbout() {
    static char text[512];
    char ident[64] = {};
    LastIdentification(ident, sizeof ident);
    std::snprintf(text, sizeof text,
                  " Tintaro %s \n \n Front end for the RGB colour sensor \n"
                  " Licence: GPL-3.0-or-later \n %s \n \n Sensor: %s \n ",
                  TINTARO_VERSION, LayerLibraryVersions(),
                  ident[0] ? line::WithoutControls(ident).c_str() : "no sensor identified");
    MessagePopup("About Tintaro", text);
}
