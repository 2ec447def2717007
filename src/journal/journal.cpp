// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup journal on SQLite.
#include "journal/journal.h"

#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace journal {
namespace {

// Long enough for another program's entry to be written, short enough not to hang a transfer
// for good on a journal that some program keeps locked.
constexpr int kBusyMilliseconds = 10000;

const char *const kActionNames[] = {"read RAM",     "read EEPROM", "write RAM",
                                    "write EEPROM", "file loaded", "file saved"};
const char *const kResultNames[] = {"verified", "not confirmed", "differs", "refused"};

// The triggers keep every entry as it was written, whoever opens the file.
const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS entries ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT, time TEXT NOT NULL, user TEXT NOT NULL,"
    " host TEXT NOT NULL, program TEXT NOT NULL, port TEXT NOT NULL, sensor TEXT NOT NULL,"
    " action TEXT NOT NULL, file TEXT NOT NULL, result TEXT NOT NULL, words TEXT NOT NULL);"
    "CREATE TRIGGER IF NOT EXISTS entries_never_changed BEFORE UPDATE ON entries"
    " BEGIN SELECT RAISE(ABORT, 'journal entries are never changed'); END;"
    "CREATE TRIGGER IF NOT EXISTS entries_never_deleted BEFORE DELETE ON entries"
    " BEGIN SELECT RAISE(ABORT, 'journal entries are never deleted'); END;";

const char kColumns[] =
    "SELECT id, time, user, host, program, port, sensor, action, file, result, words"
    " FROM entries";

std::string WordsText(const Words &words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i)
            text += ' ';
        text += std::to_string(words[i]);
    }
    return text;
}

bool ParseWords(const char *text, Words *words) {
    if (!text)
        return false;
    const char *p = text;
    for (std::size_t i = 0; i < words->size(); ++i) {
        char *end = nullptr;
        errno = 0;
        const unsigned long v = std::strtoul(p, &end, 10);
        if (end == p || errno != 0 || v > 0xFFFF)
            return false;
        (*words)[i] = static_cast<std::uint16_t>(v);
        p = end;
    }
    while (*p == ' ')
        ++p;
    return *p == '\0';
}

std::string Column(sqlite3_stmt *st, int i) {
    const unsigned char *t = sqlite3_column_text(st, i);
    return t ? reinterpret_cast<const char *>(t) : "";
}

bool IsDamage(int code) {
    code &= 0xFF;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT;
}

// Makes the folders above `path` that are missing.
bool MakeParents(const std::string &path) {
    for (std::size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1)) {
        const std::string dir = path.substr(0, at);
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

bool ValidDay(const std::string &s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-')
        return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9')
            return false;
    const int month = std::atoi(s.c_str() + 5);
    const int day = std::atoi(s.c_str() + 8);
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

} // namespace

const char *ActionName(Action action) {
    return kActionNames[static_cast<int>(action)];
}

const char *ResultName(Result result) {
    return kResultNames[static_cast<int>(result)];
}

Entry NewEntry(const std::string &program, const std::string &port, const std::string &sensor,
               Action action, const std::string &file, Result result, const Words &words) {
    Entry e;
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &utc);
    e.time = when;
    if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name)
        e.user = pw->pw_name;
    else if (const char *u = std::getenv("USER"))
        e.user = u;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0)
        e.host = host;
    e.program = program;
    e.port = port;
    e.sensor = sensor;
    e.action = ActionName(action);
    e.file = file;
    e.result = ResultName(result);
    e.words = words;
    return e;
}

std::string JournalPath(const std::string &option) {
    if (!option.empty())
        return option;
    if (const char *env = std::getenv("TINTARO_JOURNAL"); env && *env)
        return env;
    if (const char *data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return std::string(data) + "/tintaro/journal.sqlite";
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd *pw = ::getpwuid(::geteuid());
        home = pw && pw->pw_dir ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.local/share/tintaro/journal.sqlite";
}

Journal::~Journal() {
    close();
}

void Journal::close() {
    if (db_)
        sqlite3_close(db_);
    db_ = nullptr;
}

int Journal::fail(int code, const char *what) {
    error_ = path_ + ": " + what;
    if (db_) {
        error_ += ": ";
        error_ += sqlite3_errmsg(db_);
    }
    return code;
}

int Journal::open(const std::string &path) {
    close();
    path_ = path;
    if (!MakeParents(path)) {
        error_ = path + ": the folder cannot be made: " + std::strerror(errno);
        return kCannotOpen;
    }
    return prepare(true);
}

int Journal::openForReading(const std::string &path) {
    close();
    path_ = path;
    return prepare(false);
}

int Journal::prepare(bool create) {
    const int flags = create ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    if (sqlite3_open_v2(path_.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
        const int r = fail(kCannotOpen, "cannot be opened");
        close();
        return r;
    }
    sqlite3_busy_timeout(db_, kBusyMilliseconds);
    if (create) {
        // A read-only file stays in its mode (adding then fails); another program that holds
        // the file may have set the mode already.
        const int rc = sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        if (IsDamage(rc)) {
            const int r = fail(kDamaged, "damaged or not a journal; left as it is");
            close();
            return r;
        }
        const int sc = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
        if (IsDamage(sc)) {
            const int r = fail(kDamaged, "damaged or not a journal; left as it is");
            close();
            return r;
        }
    }
    // Reading the table proves the file is a journal.
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(db_, "SELECT count(*) FROM entries", -1, &st, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) {
        const int code = IsDamage(rc) || (rc & 0xFF) == SQLITE_ERROR ? kDamaged : kCannotOpen;
        const int r = fail(code, code == kDamaged ? "damaged or not a journal; left as it is"
                                                  : "cannot be read");
        close();
        return r;
    }
    error_.clear();
    return kOk;
}

int Journal::add(Entry *e) {
    if (!db_)
        return kNotWritten;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO entries (time, user, host, program, port, sensor, action,"
                           " file, result, words) VALUES (?,?,?,?,?,?,?,?,?,?)",
                           -1, &st, nullptr) != SQLITE_OK)
        return fail(kNotWritten, "entry not added");
    const std::string words = WordsText(e->words);
    const std::string *fields[] = {&e->time,   &e->user,   &e->host, &e->program, &e->port,
                                   &e->sensor, &e->action, &e->file, &e->result,  &words};
    for (int i = 0; i < 10; ++i)
        sqlite3_bind_text(st, i + 1, fields[i]->c_str(), int(fields[i]->size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(IsDamage(rc) ? kDamaged : kNotWritten, "entry not added");
    e->id = sqlite3_last_insert_rowid(db_);
    return kOk;
}

namespace {

// Runs a prepared query of kColumns and collects its rows.
int Collect(sqlite3_stmt *st, std::vector<Entry> *out, bool *damaged) {
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Entry e;
        e.id = sqlite3_column_int64(st, 0);
        std::string *fields[] = {&e.time,   &e.user,   &e.host, &e.program, &e.port,
                                 &e.sensor, &e.action, &e.file, &e.result};
        for (int i = 0; i < 9; ++i)
            *fields[i] = Column(st, i + 1);
        if (!ParseWords(reinterpret_cast<const char *>(sqlite3_column_text(st, 10)), &e.words))
            *damaged = true;
        out->push_back(e);
    }
    return rc;
}

} // namespace

int Journal::list(const Filter &filter, std::vector<Entry> *out) {
    if (!db_)
        return kCannotOpen;
    if (!filter.since.empty() && !ValidDay(filter.since)) {
        error_ = "not a day (YYYY-MM-DD): " + filter.since;
        return kBadArgument;
    }
    std::string sql =
        std::string(kColumns) + " WHERE instr(sensor, ?1) > 0 AND time >= ?2" + " ORDER BY id DESC";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return fail(kCannotOpen, "cannot be read");
    sqlite3_bind_text(st, 1, filter.sensor.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, filter.since.c_str(), -1, SQLITE_TRANSIENT);
    bool damaged = false;
    std::vector<Entry> rows;
    const int rc = Collect(st, &rows, &damaged);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(IsDamage(rc) ? kDamaged : kCannotOpen, "cannot be read");
    *out = std::move(rows);
    return kOk;
}

int Journal::get(long long id, Entry *out) {
    if (!db_)
        return kCannotOpen;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db_, (std::string(kColumns) + " WHERE id = ?1").c_str(), -1, &st,
                           nullptr) != SQLITE_OK)
        return fail(kCannotOpen, "cannot be read");
    sqlite3_bind_int64(st, 1, id);
    bool damaged = false;
    std::vector<Entry> rows;
    const int rc = Collect(st, &rows, &damaged);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(IsDamage(rc) ? kDamaged : kCannotOpen, "cannot be read");
    if (rows.empty()) {
        error_ = path_ + ": no entry " + std::to_string(id);
        return kNoEntry;
    }
    if (damaged) {
        error_ = path_ + ": entry " + std::to_string(id) + " is damaged (its words do not read)";
        return kDamaged;
    }
    *out = rows.front();
    return kOk;
}

int Journal::findBlock(const Words &words, Entry *out) {
    if (!db_)
        return kCannotOpen;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(
            db_, (std::string(kColumns) + " WHERE words = ?1 ORDER BY id DESC LIMIT 1").c_str(), -1,
            &st, nullptr) != SQLITE_OK)
        return fail(kCannotOpen, "cannot be read");
    const std::string text = WordsText(words);
    sqlite3_bind_text(st, 1, text.c_str(), -1, SQLITE_TRANSIENT);
    bool damaged = false;
    std::vector<Entry> rows;
    const int rc = Collect(st, &rows, &damaged);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return fail(IsDamage(rc) ? kDamaged : kCannotOpen, "cannot be read");
    if (rows.empty())
        return kNoEntry;
    *out = rows.front();
    return kOk;
}

bool HoldsBlock(const Entry &e) {
    return e.result != ResultName(Result::Refused) ||
           (e.action != ActionName(Action::ReadRam) && e.action != ActionName(Action::ReadEeprom) &&
            e.action != ActionName(Action::FileLoaded));
}

bool ParseReference(const std::string &text, long long *id) {
    constexpr char kPrefix[] = "journal:";
    if (text.compare(0, sizeof kPrefix - 1, kPrefix) != 0)
        return false;
    const std::string digits = text.substr(sizeof kPrefix - 1);
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *id = std::atoll(digits.c_str());
    return *id > 0;
}

std::string Printable(const std::string &text) {
    // Whole UTF-8 characters from U+00A0 on pass; control bytes, C1 controls (a raw 0x9B is a
    // terminal's CSI) and bytes that are no UTF-8 become '?'.
    std::string out;
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c >= 0x20 && c < 0x7F) {
            out += char(c);
            ++i;
            continue;
        }
        int len = c >= 0xF0 && c < 0xF5 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (c >= 0xF5)
            len = 0;
        unsigned cp = len == 2 ? c & 0x1Fu : len == 3 ? c & 0x0Fu : c & 0x07u;
        bool ok = len > 0 && i + std::size_t(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            if ((s[i + std::size_t(k)] & 0xC0) != 0x80)
                ok = false;
            cp = (cp << 6) | (s[i + std::size_t(k)] & 0x3Fu);
        }
        ok = ok && cp >= 0xA0 && !(len == 3 && cp < 0x800) && !(len == 4 && cp < 0x10000) &&
             !(cp >= 0xD800 && cp < 0xE000) && cp <= 0x10FFFF;
        if (ok) {
            out.append(text, i, std::size_t(len));
            i += std::size_t(len);
        } else {
            out += '?';
            ++i;
        }
    }
    return out;
}

std::string SensorText(const std::string &text) {
    std::string out;
    const std::size_t end = text.find_last_not_of(' ');
    for (const char ch : text.substr(0, end == std::string::npos ? 0 : end + 1)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

} // namespace journal
