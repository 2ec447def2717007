// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup journal from the shell: every transfer of the tool recorded, `journal` to list the
// entries, `journal show ID` for an entry's block, `journal:ID` as a block source, and `sheet`
// for the setup sheet as a PDF.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/common.h"
#include "journal/journal.h"
#include "journal/sheet.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/sheet.h"
#include "platform/ui.h"

#ifndef TINTARO_VERSION
#define TINTARO_VERSION "unknown"
#endif

namespace cli {

std::string gJournalOption;

namespace {

// The journal this run writes to, opened at the first transfer; a failure is told once.
std::unique_ptr<journal::Journal> gJournal;
bool gJournalFailed = false;
// The sensor's identification, asked once per run, at the first transfer recorded.
bool gIdentAsked = false;
std::string gIdent;

journal::Journal *WritableJournal() {
    if (gJournal)
        return gJournal.get();
    if (gJournalFailed)
        return nullptr;
    auto j = std::make_unique<journal::Journal>();
    if (j->open(journal::JournalPath(gJournalOption)) != journal::kOk) {
        std::fprintf(stderr, "tintaro-cli: journal %s; the transfer is not recorded\n",
                     journal::Printable(j->error()).c_str());
        gJournalFailed = true;
        return nullptr;
    }
    gJournal = std::move(j);
    return gJournal.get();
}

const std::string &SensorIdent(Link &link) {
    if (!gIdentAsked) {
        gIdentAsked = true;
        const Block none{};
        if (link.transact(protocol::kIdentify, none, protocol::kIdentReplyBytes) == kOk) {
            char ident[protocol::kIdentReplyBytes / 2 + 1];
            protocol::DecodeIdent(link.reply(), ident);
            gIdent = journal::SensorText(ident);
        }
    }
    return gIdent;
}

std::string PortText(const Link &link) {
    const PortChoice &p = link.port();
    if (!p.path.empty())
        return p.path;
    const std::string device = ComPortDevice(p.number);
    return p.name() + (device.empty() ? "" : " " + device);
}

// One CSV field: quoted when it holds a separator, a quote or leading or trailing blanks.
std::string CsvField(const std::string &raw) {
    const std::string s = journal::Printable(raw);
    if (s.find_first_of(",\"") == std::string::npos &&
        (s.empty() || (s.front() != ' ' && s.back() != ' ')))
        return s;
    std::string q = "\"";
    for (char c : s) {
        if (c == '"')
            q += '"';
        q += c;
    }
    return q + "\"";
}

int OpenForReading(journal::Journal *j) {
    if (j->openForReading(journal::JournalPath(gJournalOption)) != journal::kOk) {
        std::fprintf(stderr, "tintaro-cli: journal %s\n", journal::Printable(j->error()).c_str());
        return kNoJournal;
    }
    return kOk;
}

// An entry that can serve as a block: a refused read brought no block.
int EntryBlock(long long id, journal::Entry *entry) {
    journal::Journal j;
    if (const int r = OpenForReading(&j); r != kOk)
        return r;
    if (j.get(id, entry) != journal::kOk) {
        std::fprintf(stderr, "tintaro-cli: journal %s\n", journal::Printable(j.error()).c_str());
        return kNoJournal;
    }
    if (!journal::HoldsBlock(*entry)) {
        std::fprintf(stderr, "tintaro-cli: journal entry %lld holds no block: the %s was refused\n",
                     id, entry->action.c_str());
        return kNoJournal;
    }
    return kOk;
}

int List(const Args &args) {
    journal::Filter filter;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (i + 1 >= args.size() && (a == "--sensor" || a == "--since" || a == "--limit"))
            return UsageError("journal: the option needs a value", a.c_str());
        if (a == "--sensor") {
            filter.sensor = args[++i];
        } else if (a == "--since") {
            filter.since = args[++i];
        } else if (a == "--limit") {
            if (!ParseCount(args[++i], &filter.limit))
                return UsageError("journal: --limit needs a whole number of at least 1",
                                  args[i].c_str());
        } else {
            return UsageError("journal: unexpected argument", a.c_str());
        }
    }
    journal::Journal j;
    if (const int r = OpenForReading(&j); r != kOk)
        return r;
    std::vector<journal::Entry> entries;
    const int r = j.list(filter, &entries);
    if (r == journal::kBadArgument)
        return UsageError("journal: --since needs a day as YYYY-MM-DD", filter.since.c_str());
    if (r != journal::kOk) {
        std::fprintf(stderr, "tintaro-cli: journal %s\n", journal::Printable(j.error()).c_str());
        return kNoJournal;
    }
    std::printf("id,time,user,host,program,port,sensor,action,file,result\n");
    for (const journal::Entry &e : entries)
        std::printf("%lld,%s,%s,%s,%s,%s,%s,%s,%s,%s\n", e.id, CsvField(e.time).c_str(),
                    CsvField(e.user).c_str(), CsvField(e.host).c_str(), CsvField(e.program).c_str(),
                    CsvField(e.port).c_str(), CsvField(e.sensor).c_str(),
                    CsvField(e.action).c_str(), CsvField(e.file).c_str(),
                    CsvField(e.result).c_str());
    return std::fflush(stdout) == 0 ? kOk : kBadFile;
}

// The block as a parameter file, into `output` or on stdout; kOk or kBadFile.
int Show(const Args &args) {
    std::string output;
    std::string idText;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size())
                return UsageError("journal show: -o needs a file name");
            output = args[++i];
        } else if (idText.empty()) {
            idText = args[i];
        } else {
            return UsageError("journal show: unexpected argument", args[i].c_str());
        }
    }
    long id = 0;
    if (!ParseCount(idText, &id))
        return UsageError("journal show: needs an entry's id (a number from 1)", idText.c_str());
    journal::Entry entry;
    if (const int r = EntryBlock(id, &entry); r != kOk)
        return r;
    return WriteBlock(entry.words, output);
}

} // namespace

void RecordTransfer(Link &link, journal::Action action, const Block &block, journal::Result result,
                    const std::string &file, long long *id) {
    journal::Journal *j = WritableJournal();
    if (!j)
        return;
    journal::Entry e = journal::NewEntry("tintaro-cli " TINTARO_VERSION, PortText(link),
                                         SensorIdent(link), action, file, result, block);
    if (j->add(&e) != journal::kOk) {
        std::fprintf(stderr, "tintaro-cli: journal %s; the transfer is not recorded\n",
                     journal::Printable(j->error()).c_str());
        return;
    }
    if (id)
        *id = e.id;
}

int LoadJournalBlock(long long id, Block *block) {
    journal::Entry entry;
    if (const int r = EntryBlock(id, &entry); r != kOk)
        return kBadFile;
    *block = entry.words;
    return kOk;
}

int Journal(Link &, const Args &args) {
    if (!args.empty() && args[0] == "show")
        return Show(Args(args.begin() + 1, args.end()));
    return List(args);
}

int Sheet(Link &link, const Args &args) {
    std::string source;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" || args[i] == "--output") {
            if (i + 1 >= args.size())
                return UsageError("sheet: -o needs a file name");
            output = args[++i];
        } else if (source.empty()) {
            source = args[i];
        } else {
            return UsageError("sheet: unexpected argument", args[i].c_str());
        }
    }
    if (source.empty() || output.empty())
        return UsageError("sheet: expected SOURCE -o FILE.pdf");
    journal::SheetSource from;
    from.date = journal::UtcNow();
    from.user =
        journal::NewEntry("", "", "", journal::Action::ReadRam, "", journal::Result::Verified, {})
            .user;
    Block block{};
    bool eeprom = false;
    long long id = 0;
    if (ParseMemory(source, &eeprom)) {
        if (const int r = link.open(); r != kOk)
            return r;
        if (const int r = ReadBlock(link, eeprom, &block); r != kOk) {
            RecordTransfer(link, eeprom ? journal::Action::ReadEeprom : journal::Action::ReadRam,
                           Block{}, journal::Result::Refused, "", nullptr);
            return r;
        }
        RecordTransfer(link, eeprom ? journal::Action::ReadEeprom : journal::Action::ReadRam, block,
                       journal::Result::Verified, "", &id);
        from.sensor = SensorIdent(link);
        from.source = std::string(eeprom ? "EEPROM" : "RAM") + " of " + PortText(link);
        from.entry = id > 0 ? std::to_string(id) : "not recorded";
    } else if (journal::ParseReference(source, &id)) {
        journal::Entry entry;
        if (const int r = EntryBlock(id, &entry); r != kOk)
            return r;
        block = entry.words;
        from.sensor = entry.sensor;
        from.source = "journal entry " + std::to_string(id);
        from.entry = std::to_string(id) + " (" + entry.action + ", " + entry.time + " UTC, " +
                     entry.user + ")";
    } else {
        if (const int r = LoadFile(source, &block); r != kOk)
            return r;
        from.source = "file " + source;
        // The newest entry that holds this block says where it came from.
        journal::Journal j;
        journal::Entry entry;
        if (j.openForReading(journal::JournalPath(gJournalOption)) == journal::kOk &&
            j.findBlock(block, &entry) == journal::kOk) {
            from.sensor = entry.sensor;
            from.entry = std::to_string(entry.id) + " (same block: " + entry.action + ", " +
                         entry.time + " UTC)";
        }
    }
    std::string error;
    if (WriteSetupSheetPdf(output.c_str(), journal::MakeSheet(block, from), &error) != 0) {
        std::fprintf(stderr, "tintaro-cli: %s: not written: %s\n", output.c_str(), error.c_str());
        return kBadFile;
    }
    return kOk;
}

} // namespace cli
