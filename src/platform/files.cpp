// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Project directory and ASCII array files (one value per line, right-aligned).
#include "platform/files.h"

#ifdef __unix__
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QFileInfo>
#include <QFile>
#include <QSaveFile>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <filesystem>
#include <vector>

#include "platform/private/log.h"
#include "platform/ui.h"

namespace {

// An array file is a few hundred bytes; anything far larger is not one of ours.
constexpr qint64 kMinReadLimit = 1 << 20;

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == ',';
}

bool ValidArgs(const char *file, const void *array, int dataType, int count, int groups,
               int fileType) {
    return file && *file && array && count >= 0 && groups >= 1 && fileType == 1 &&
           (dataType == VAL_UNSIGNED_SHORT_INTEGER || dataType == VAL_DOUBLE);
}

// Parses one token as an unsigned 16-bit value: plain decimal digits only.
int ParseU16(const QByteArray &tok, std::uint16_t *out) {
    int i = 0;
    bool negative = false;
    if (tok[0] == '+' || tok[0] == '-') {
        negative = tok[0] == '-';
        i = 1;
    }
    if (i >= tok.size())
        return FILE_BAD_NUMBER;
    long value = 0;
    for (; i < tok.size(); ++i) {
        if (tok[i] < '0' || tok[i] > '9')
            return FILE_BAD_NUMBER;
        value = std::min(value * 10 + (tok[i] - '0'), 1000000L); // capped: no overflow
    }
    if (negative && value != 0)
        return FILE_OUT_OF_RANGE;
    if (value > 65535)
        return FILE_OUT_OF_RANGE;
    *out = std::uint16_t(value);
    return FILE_OK;
}

int ParseDouble(const QByteArray &tok, double *out) {
    bool ok = false;
    const double v = tok.toDouble(&ok); // C locale, whatever the process locale is
    if (!ok)
        return FILE_BAD_NUMBER;
    if (!std::isfinite(v))
        return FILE_OUT_OF_RANGE;
    *out = v;
    return FILE_OK;
}

} // namespace

int GetProjectDir(char *dir) {
    if (!dir)
        return FILE_BAD_ARGUMENT;
    QByteArray path;
    if (QCoreApplication::instance()) {
        path = QFile::encodeName(QCoreApplication::applicationDirPath());
    } else {
        std::error_code ec;
        path = QByteArray::fromStdString(
            std::filesystem::canonical("/proc/self/exe", ec).parent_path().string());
    }
    if (std::size_t(path.size()) >= MAX_PATHNAME_LEN) {
        dir[0] = '\0';
        return FILE_BAD_ARGUMENT;
    }
    std::memcpy(dir, path.constData(), std::size_t(path.size()) + 1);
    return FILE_OK;
}

int ArrayToText(const void *array, int dataType, int count, int fieldWidth, std::string *out) {
    if (!array || !out || count < 0 ||
        (dataType != VAL_UNSIGNED_SHORT_INTEGER && dataType != VAL_DOUBLE) || fieldWidth < 0 ||
        fieldWidth > 64)
        return FILE_BAD_ARGUMENT;
    std::string text;
    text.reserve(std::size_t(count) * std::size_t(std::max(fieldWidth, 8) + 1));
    for (int i = 0; i < count; ++i) {
        QByteArray v;
        if (dataType == VAL_UNSIGNED_SHORT_INTEGER) {
            v = QByteArray::number(static_cast<const std::uint16_t *>(array)[i]);
        } else {
            const double d = static_cast<const double *>(array)[i];
            if (!std::isfinite(d))
                return FILE_OUT_OF_RANGE; // could not be read back
            v = QByteArray::number(d, 'g', 17);
        }
        if (v.size() < fieldWidth)
            text.append(std::size_t(fieldWidth - v.size()), ' ');
        text.append(v.constData(), std::size_t(v.size()));
        text.push_back('\n');
    }
    *out = std::move(text);
    return FILE_OK;
}

int CheckSaveTarget(const char *file) {
    if (!file || !*file)
        return FILE_BAD_ARGUMENT;
#ifdef __unix__
    struct stat link {};
    if (::lstat(file, &link) != 0 || !S_ISLNK(link.st_mode))
        return FILE_OK;
    struct stat target {};
    if (link.st_uid != ::geteuid() || ::stat(file, &target) != 0)
        return FILE_UNSAFE_LINK;
#endif
    return FILE_OK;
}

namespace {

int WriteArrayFile(const char *file, const void *array, int dataType, int count, int groups,
                   int fieldWidth, int fileType, int fileAction) {
    if (!ValidArgs(file, array, dataType, count, groups, fileType) || fileAction != 0 ||
        fieldWidth < 0 || fieldWidth > 64)
        return FILE_BAD_ARGUMENT;
    std::string formatted;
    if (const int result = ArrayToText(array, dataType, count, fieldWidth, &formatted);
        result != FILE_OK)
        return result;
    const QByteArray text = QByteArray::fromStdString(formatted);
    if (const int checked = CheckSaveTarget(file); checked != FILE_OK)
        return checked;
    // The rename below would put a regular file in the place of a FIFO or a device node.
    const QFileInfo target(QFile::decodeName(file));
    if (target.exists() && !target.isFile())
        return FILE_NOT_REGULAR;
    // QSaveFile writes a temporary file beside the target and renames it over the target only
    // when everything was written.
    QSaveFile out(target.filePath());
    // Unbuffered, so that a short write (disk full) shows in write()'s count: buffered, Qt
    // drops the rest at commit() and still reports success.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return FILE_CANNOT_WRITE;
    if (out.write(text) != text.size()) {
        out.cancelWriting();
        return FILE_CANNOT_WRITE;
    }
    return out.commit() ? FILE_OK : FILE_CANNOT_WRITE;
}

int ReadArrayFile(const char *file, void *array, int dataType, int count, int groups,
                  int fileType) {
    if (!ValidArgs(file, array, dataType, count, groups, fileType))
        return FILE_BAD_ARGUMENT;
    QFile in(QFile::decodeName(file));
#ifdef __unix__
    // Opened without blocking and checked on the open descriptor: a FIFO put in the file's
    // place between a check and the opening would still hang an ordinary open.
    const int fd = ::open(file, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return FILE_CANNOT_OPEN;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return FILE_NOT_REGULAR;
    }
    if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return FILE_CANNOT_OPEN;
    }
#else
    if (QFileInfo::exists(in.fileName()) && !QFileInfo(in.fileName()).isFile())
        return FILE_NOT_REGULAR;
    if (!in.open(QIODevice::ReadOnly))
        return FILE_CANNOT_OPEN;
#endif
    const qint64 limit = std::max<qint64>(kMinReadLimit, qint64(count) * 64);
    // Sized to the file when it knows its size: a buffer of the whole limit on every load
    // costs far more than the parsing.
    const qint64 size = in.size();
    if (size > limit)
        return FILE_CANNOT_OPEN;
    QByteArray data = in.read(size > 0 ? size + 1 : limit + 1);
    if (size > 0 && data.size() > size) // it grew meanwhile: take the rest as well
        data += in.read(limit + 1 - data.size());
    if (data.size() > limit)
        return FILE_CANNOT_OPEN;

    // Parse into a temporary so that a refused file leaves the caller's array as it was.
    std::vector<std::uint16_t> u16;
    std::vector<double> dbl;
    int found = 0;
    int pos = 0;
    while (found < count) {
        while (pos < data.size() && IsSeparator(data[pos]))
            ++pos;
        if (pos >= data.size())
            break;
        int end = pos;
        while (end < data.size() && !IsSeparator(data[end]))
            ++end;
        const QByteArray tok = data.mid(pos, end - pos);
        pos = end;
        int rc;
        if (dataType == VAL_UNSIGNED_SHORT_INTEGER) {
            std::uint16_t v = 0;
            rc = ParseU16(tok, &v);
            u16.push_back(v);
        } else {
            double v = 0;
            rc = ParseDouble(tok, &v);
            dbl.push_back(v);
        }
        if (rc != FILE_OK)
            return rc;
        ++found;
    }
    if (found < count)
        return FILE_TOO_FEW_VALUES;
    // Anything after the last value means the file is not the block the caller asked for.
    while (pos < data.size() && IsSeparator(data[pos]))
        ++pos;
    if (pos < data.size())
        return FILE_TOO_MANY_VALUES;
    if (count > 0) {
        if (dataType == VAL_UNSIGNED_SHORT_INTEGER)
            std::memcpy(array, u16.data(), u16.size() * sizeof(std::uint16_t));
        else
            std::memcpy(array, dbl.data(), dbl.size() * sizeof(double));
    }
    return FILE_OK;
}

} // namespace

int ArrayToFile(const char *file, const void *array, int dataType, int count, int groups, int, int,
                int, int fieldWidth, int fileType, int fileAction) {
    return platform::Logged(
        WriteArrayFile(file, array, dataType, count, groups, fieldWidth, fileType, fileAction),
        "ArrayToFile(\"%s\", %d values)", file ? file : "(null)", count);
}

int FileToArray(const char *file, void *array, int dataType, int count, int groups, int, int,
                int fileType) {
    return platform::Logged(ReadArrayFile(file, array, dataType, count, groups, fileType),
                            "FileToArray(\"%s\", %d values)", file ? file : "(null)", count);
}
