// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The window's journal: recording, the journal list, comparing and the setup sheet.
#include "gui/journaling.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Tintarov10/Tintarov10.h"
#include "Tintarov10/state.h"
#include "com232/com232.h"
#include "com232/link.h"
#include "gui/gui.h"
#include "journal/sheet.h"
#include "line/line.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/sheet.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "protocol/protocol.h"
#include "status/status.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace {

std::string option_;
std::unique_ptr<journal::Journal> journal_; // open for adding once the first transfer came

std::string Path() {
    return journal::JournalPath(option_);
}

std::string PortText() {
    const std::string device = ComPortDevice(com);
    return "COM" + std::to_string(com) + (device.empty() ? "" : " " + device);
}

std::string Sensor() {
    char ident[64] = {};
    LastIdentification(ident, sizeof ident);
    return journal::SensorText(ident);
}

// What the panel would send now; the spare words are the block's.
journal::Words PanelBlock() {
    journal::Words words{};
    std::copy(pp.begin(), pp.end(), words.begin());
    PeekPanelValues(words.data());
    return words;
}

void Warn(const char *what, const std::string &detail) {
    static char message[160];
    std::snprintf(message, sizeof message, " ATTENTION! \n \n %s \n ", what);
    // The detail names the journal's path, in the file-name encoding.
    MessagePopupWithPath("INFO", message, detail.c_str());
}

bool OpenForReading(journal::Journal *j) {
    if (j->openForReading(Path()) == journal::kOk)
        return true;
    Warn("JOURNAL NOT OPENED", journal::Printable(j->error()));
    return false;
}

// One line per entry for the list.
std::string EntryRow(const journal::Entry &e) {
    using journal::Printable;
    return std::to_string(e.id) + "\t" + e.time + "\t" + Printable(e.sensor) + "\t" +
           Printable(e.action) + "\t" + Printable(e.file) + "\t" + Printable(e.result) + "\t" +
           Printable(e.user) + "@" + Printable(e.host);
}

// Lets the operator pick an entry: this sensor's first, newest first within each.
bool ChooseEntry(const char *title, const std::vector<std::string> &buttons, journal::Entry *out,
                 int *button) {
    journal::Journal j;
    if (!OpenForReading(&j))
        return false;
    std::vector<journal::Entry> all;
    if (j.list({}, &all) != journal::kOk) {
        Warn("JOURNAL NOT READ", journal::Printable(j.error()));
        return false;
    }
    const std::string sensor = Sensor();
    std::vector<journal::Entry> entries;
    for (int pass = 0; pass < 2; ++pass)
        for (const journal::Entry &e : all)
            if ((pass == 0) == (!sensor.empty() && e.sensor == sensor))
                entries.push_back(e);
    std::vector<std::string> rows;
    for (const journal::Entry &e : entries)
        rows.push_back(EntryRow(e));
    int row = -1;
    *button =
        ListPopup(title, "id\ttime (UTC)\tsensor\taction\tfile\tresult\tby", rows, buttons, &row);
    if (*button <= 0 || row < 0)
        return false;
    *out = entries[std::size_t(row)];
    if (!journal::HoldsBlock(*out)) {
        Warn("THIS ENTRY HOLDS NO BLOCK",
             "entry " + std::to_string(out->id) + ": " + out->action + " " + out->result);
        return false;
    }
    return true;
}

// "6  MAXCOL-No.  panel 4  RAM 5" per differing word, under a heading.
std::string Differences(const journal::Words &panelWords, const journal::Words &other,
                        const std::string &otherName) {
    std::string lines;
    int n = 0;
    for (int i = 0; i < protocol::kParaWords; ++i) {
        const auto a = panelWords[std::size_t(i)];
        const auto b = other[std::size_t(i)];
        if (a == b)
            continue;
        char name[32];
        char line[160];
        std::snprintf(line, sizeof line, "%4d  %-12s  panel %5u   %s %5u\n", i,
                      protocol::WordName(i, name, sizeof name), unsigned(a), otherName.c_str(),
                      unsigned(b));
        lines += line;
        ++n;
    }
    if (n == 0)
        return "The panel matches " + otherName + ".\n";
    return "The panel differs from " + otherName + " in " + std::to_string(n) +
           (n == 1 ? " word" : " words") + ":\n\n" + lines;
}

// Reads RAM or EEPROM for a comparison, as GET does, but into `out`: pp, the variables and
// the panel stay as they are.
bool ReadForCompare(bool eeprom, journal::Words *out) {
    PacingWait();
    poll = 0;
    line::Block block{};
    line::Reply why = line::Reply::kOk;
    const journal::Action action = eeprom ? journal::Action::ReadEeprom : journal::Action::ReadRam;
    // A block counts only when two reads agree, as at GET.
    if (ReadAgreedBlock(eeprom, &block, &why) != line::Transfer::kVerified) {
        NoteLinkFault(why);
        NoteTransfer(why == line::Reply::kDiffer ? "replies differ: line noise?"
                                                 : "TIMEOUT at COMPARE",
                     true);
        ReportTimeout();
        JournalTransfer(action, nullptr, journal::Result::Refused, nullptr);
        return false;
    }
    std::copy(block.begin(), block.end(), out->begin());
    NoteTransfer(eeprom ? "EEPROM read" : "RAM read");
    JournalTransfer(action, out->data(), journal::Result::Verified, nullptr);
    return true;
}

} // namespace

void SetJournalPath(const char *path) {
    option_ = path ? path : "";
    journal_.reset();
}

void JournalTransfer(journal::Action action, const std::uint16_t *block, journal::Result result,
                     const char *file) {
    if (!journal_) {
        auto j = std::make_unique<journal::Journal>();
        if (j->open(Path()) != journal::kOk) {
            NoteJournalProblem(journal::Printable(j->error()).c_str());
            return; // tried again at the next transfer: the folder may be back
        }
        journal_ = std::move(j);
    }
    journal::Words words{};
    if (block)
        std::copy(block, block + protocol::kParaWords, words.begin());
    journal::Entry e = journal::NewEntry("tintaro " TINTARO_VERSION, PortText(), Sensor(), action,
                                         file ? file : "", result, words);
    if (journal_->add(&e) != journal::kOk)
        NoteJournalProblem(journal::Printable(journal_->error()).c_str());
}

journal::Result SavedFileResult(const char *path, const std::uint16_t *block) {
    journal::Words back{};
    if (FileToArray(path, back.data(), VAL_UNSIGNED_SHORT_INTEGER, anzpara, 1, 0, 0, 1) < 0)
        return journal::Result::NotConfirmed;
    return std::equal(back.begin(), back.end(), block) ? journal::Result::Verified
                                                       : journal::Result::Differs;
}

void ShowJournal() {
    journal::Entry e;
    int button = 0;
    if (!ChooseEntry("Journal", {"Load into panel", "Differences to panel", "Close"}, &e, &button))
        return;
    const std::string name = "journal entry " + std::to_string(e.id);
    if (button == 2) {
        TextPopup("Differences", Differences(PanelBlock(), e.words, name));
        return;
    }
    if (button != 1)
        return;
    // As loading a parameter file: nothing is sent.
    std::copy(e.words.begin(), e.words.end(), pp.begin());
    CopyPPtoVars();
    SetPanelValues();
    InitEval();
    NoteTransfer((name + " loaded").c_str());
    const std::string reference = "journal:" + std::to_string(e.id);
    JournalTransfer(journal::Action::FileLoaded, pp.data(), journal::Result::Verified,
                    reference.c_str());
    KeepBlock(name.c_str(), pp.data());
}

void ComparePanel() {
    int row = -1;
    const int button = ListPopup(
        "Compare", "compare the panel with",
        {"the sensor's RAM", "the sensor's EEPROM", "a parameter file", "a journal entry"},
        {"Compare", "Cancel"}, &row);
    if (button != 1 || row < 0)
        return;
    journal::Words other{};
    std::string name;
    if (row == 0 || row == 1) {
        if (!ReadForCompare(row == 1, &other))
            return;
        name = row == 1 ? "EEPROM" : "RAM";
    } else if (row == 2) {
        char chosen[MAX_PATHNAME_LEN] = {};
        if (FileSelectPopup(proj_dir, "init.dat", "*.dat", "Compare with", 0, 0, 1, 1, 0, chosen) <=
            0)
            return;
        const int r =
            FileToArray(chosen, other.data(), VAL_UNSIGNED_SHORT_INTEGER, anzpara, 1, 0, 0, 1);
        if (r < 0) {
            Warn("PARAMETER FILE NOT READ", std::string(line::ParamFileRefusal(r)) + ": " + chosen);
            return;
        }
        name = "the file";
    } else {
        journal::Entry e;
        int pressed = 0;
        if (!ChooseEntry("Compare with a journal entry", {"Compare", "Cancel"}, &e, &pressed) ||
            pressed != 1)
            return;
        other = e.words;
        name = "entry " + std::to_string(e.id);
    }
    TextPopup("Compare", Differences(PanelBlock(), other, name));
}

void ExportSetupSheet() {
    char chosen[MAX_PATHNAME_LEN] = {};
    if (FileSelectPopup(proj_dir, "setup.pdf", "*.pdf", "Export setup sheet", 0, 0, 1, 1, 1,
                        chosen) <= 0)
        return;
    const journal::Words words = PanelBlock();
    journal::SheetSource from;
    from.sensor = Sensor();
    from.source = "the panel, " + PortText();
    from.date = journal::UtcNow();
    from.user =
        journal::NewEntry("", "", "", journal::Action::ReadRam, "", journal::Result::Verified, {})
            .user;
    journal::Journal j;
    journal::Entry e;
    if (j.openForReading(Path()) == journal::kOk && j.findBlock(words, &e) == journal::kOk)
        from.entry = std::to_string(e.id) + " (same block: " + e.action + ", " + e.time + " UTC)";
    std::string error;
    if (WriteSetupSheetPdf(chosen, journal::MakeSheet(words, from), &error) != 0)
        Warn("SETUP SHEET NOT WRITTEN", std::string(chosen) + ": " + error);
}
