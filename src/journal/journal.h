// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup journal: every parameter transfer of the window and of tintaro-cli, kept in an
// SQLite database that several programs may write at once. Entries are only ever added. Qt-free.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "line/transfer.h"
#include "protocol/protocol.h"

struct sqlite3;

namespace journal {

using Words = std::array<std::uint16_t, protocol::kParaWords>;

enum class Action { ReadRam, ReadEeprom, WriteRam, WriteEeprom, FileLoaded, FileSaved };
enum class Result { Verified, NotConfirmed, Differs, Refused };

// The journal's word for the outcome the line library gives a transfer.
inline Result ResultOf(line::Transfer outcome) {
    switch (outcome) {
    case line::Transfer::kVerified:
        return Result::Verified;
    case line::Transfer::kNotConfirmed:
        return Result::NotConfirmed;
    case line::Transfer::kDiffers:
        return Result::Differs;
    case line::Transfer::kRefused:
        break;
    }
    return Result::Refused;
}

// "read RAM", "write EEPROM", "file loaded" ...; "verified", "not confirmed" ...
const char *ActionName(Action action);
const char *ResultName(Result result);

// Result codes.
enum {
    kOk = 0,
    kCannotOpen = -1,  // the file or its folder cannot be opened or made
    kDamaged = -2,     // the file is no journal (not a database, or a damaged one); kept as is
    kNotWritten = -3,  // the entry could not be added (read-only, disk full, locked too long)
    kNoEntry = -4,     // no entry with that id
    kBadArgument = -5, // a filter that cannot be read
};

struct Entry {
    long long id = 0;    // given by the journal when the entry is added
    std::string time;    // UTC, "2026-12-08 18:55:05"
    std::string user;    // login name
    std::string host;    // host name
    std::string program; // "tintaro 1.0", "tintaro-cli 1.0"
    std::string port;    // "COM1 /dev/ttyUSB0"
    std::string sensor;  // the sensor's identification ("" when none answered)
    std::string action;  // ActionName
    std::string file;    // the parameter file's path, where there is one
    std::string result;  // ResultName
    Words words{};
};

// An entry with the time, user and host of now and here filled in.
Entry NewEntry(const std::string &program, const std::string &port, const std::string &sensor,
               Action action, const std::string &file, Result result, const Words &words);

// Where the journal lives: `option` (--journal) when not empty, else TINTARO_JOURNAL, else
// $XDG_DATA_HOME/tintaro/journal.sqlite, else ~/.local/share/tintaro/journal.sqlite.
std::string JournalPath(const std::string &option);

struct Filter {
    std::string sensor; // entries whose identification contains this text
    std::string since;  // YYYY-MM-DD: entries from this UTC day on
    long limit = 0;     // at most this many; 0: all
};

// One journal file. Every call returns kOk or a negative code with the reason in error().
class Journal {
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Opens (making the file and its folder when missing) for adding and reading. A file that
    // is no journal gives kDamaged and is left untouched.
    int open(const std::string &path);
    // Opens an existing journal for reading only; a missing one gives kCannotOpen.
    int openForReading(const std::string &path);
    bool isOpen() const { return db_ != nullptr; }
    void close();

    // Adds the entry; its id is set. Waits for another program's write to end (some seconds).
    int add(Entry *entry);
    // Entries that pass the filter, newest first.
    int list(const Filter &filter, std::vector<Entry> *out);
    int get(long long id, Entry *out);
    // The newest entry holding exactly `words`; kNoEntry when none does.
    int findBlock(const Words &words, Entry *out);

    const std::string &error() const { return error_; }
    const std::string &path() const { return path_; }

private:
    int prepare(bool create);
    int fail(int code, const char *what);

    sqlite3 *db_ = nullptr;
    std::string path_;
    std::string error_;
};

// False for an entry that brought no block: a refused read or load.
bool HoldsBlock(const Entry &entry);

// "journal:12" -> 12; false for anything else.
bool ParseReference(const std::string &text, long long *id);
// Text from outside made safe for a terminal or a one-line field: control bytes become '?'.
std::string Printable(const std::string &text);
// The sensor's identification as the journal keeps it: UTF-8 (the sensor sends Latin-1),
// without the blanks that pad it to its fixed length.
std::string SensorText(const std::string &text);

} // namespace journal
