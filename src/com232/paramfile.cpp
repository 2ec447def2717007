// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Parameter files: the 90 words of the parameter block as an ASCII array file.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "Tintarov10/state.h"
#include "com232/com232.h"
#include "gui/gui.h"
#include "gui/journaling.h"
#include "line/line.h"
#include "platform/files.h"
#include "platform/ui.h"
#include "status/status.h"

namespace {

int ChooseFile() {
    return FileSelectPopup(proj_dir, "init.dat", "*.dat", "init", 0, 0, 1, 1, 1, file_name);
}

// The operator's warning in the program's usual style, naming the file.
void ReportFileProblem(const char *what, const char *reason) {
    static char message[256];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n %s \n ", what, reason);
    // The name goes separately: it is in the file-name encoding, not in the message's.
    MessagePopupWithPath("INFO", message, file_name);
}

// The chosen file's own name, without its folder, for the status bar.
const char *FileBaseName() {
    const char *slash = std::strrchr(file_name, '/');
    return slash ? slash + 1 : file_name;
}

// "init.dat saved" and the like.
void NoteFileTransfer(const char *what, bool failed = false) {
    char text[300];
    std::snprintf(text, sizeof text, "%s %s", FileBaseName(), what);
    NoteTransfer(text, failed);
}

bool RegularFileExists(const char *path) {
    struct stat st {};
    return ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void SendParaToFile() {
    if (ChooseFile() <= 0)
        return;
    // Asked and checked before the panel is read: a No leaves everything as it was.
    if (CheckSaveTarget(file_name) == FILE_UNSAFE_LINK) {
        ReportFileProblem("PARAMETER FILE NOT SAVED", "SYMBOLIC LINK NOT FOLLOWED");
        NoteFileTransfer("not saved", true);
        return;
    }
    if (RegularFileExists(file_name) &&
        ConfirmPopup("Replace file", FileBaseName(), " exists. Replace it?", CONFIRM_YES_NO) != 1)
        return;
    GetPanelValues();
    CopyVarsToPP();
    const int result = ArrayToFile(file_name, pp.data(), VAL_UNSIGNED_SHORT_INTEGER, anzpara, 1,
                                   0, 0, 0, 5, 1, 0);
    if (result < 0) {
        ReportFileProblem("PARAMETER FILE NOT SAVED",
                          result == FILE_NOT_REGULAR   ? "NOT A REGULAR FILE"
                          : result == FILE_UNSAFE_LINK ? "SYMBOLIC LINK NOT FOLLOWED"
                                                       : "FOLDER OR FILE NOT WRITABLE");
        NoteFileTransfer("not saved", true);
        JournalTransfer(journal::Action::FileSaved, pp.data(), journal::Result::Refused, file_name);
        return;
    }
    NoteFileTransfer("saved");
    JournalTransfer(journal::Action::FileSaved, pp.data(), SavedFileResult(file_name, pp.data()),
                    file_name);
    KeepBlock(FileBaseName(), pp.data());
}

void ReadParaFromFile() {
    if (ChooseFile() <= 0)
        return;
    // A refused file leaves pp, the variables and the panel (with any edits) as they were.
    const int result =
        FileToArray(file_name, pp.data(), VAL_UNSIGNED_SHORT_INTEGER, anzpara, 1, 0, 0, 1);
    if (result < 0) {
        ReportFileProblem("PARAMETER FILE NOT LOADED", line::ParamFileRefusal(result));
        NoteFileTransfer("not loaded", true);
        JournalTransfer(journal::Action::FileLoaded, nullptr, journal::Result::Refused, file_name);
        return;
    }
    CopyPPtoVars();
    SetPanelValues();
    InitEval();
    NoteFileTransfer("loaded");
    JournalTransfer(journal::Action::FileLoaded, pp.data(), journal::Result::Verified, file_name);
    KeepBlock(FileBaseName(), pp.data());
}
