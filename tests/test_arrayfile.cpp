// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// ASCII array files: round trip, refusals that leave the destination alone, safe replacement.
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "platform/ui.h"

namespace {

constexpr int kU16 = VAL_UNSIGNED_SHORT_INTEGER;

class ArrayFileTest : public ::testing::Test {
protected:
    std::string Path(const char *name) {
        return QFile::encodeName(dir.filePath(name)).toStdString();
    }
    std::string Write(const char *name, const QByteArray &text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return Path(name);
    }
    static QByteArray Read(const std::string &path) {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    int Load(const std::string &path, std::array<std::uint16_t, 4> &a) {
        return FileToArray(path.c_str(), a.data(), kU16, 4, 1, 0, 0, 1);
    }
    QTemporaryDir dir;
};

TEST_F(ArrayFileTest, RoundTripKeepsExtremesAndFormat) {
    std::array<std::uint16_t, 90> pp{};
    for (std::size_t i = 0; i < pp.size(); ++i)
        pp[i] = std::uint16_t(i * 731);
    pp[0] = 0;
    pp[89] = 65535;
    const std::string path = Path("init.dat");
    ASSERT_EQ(ArrayToFile(path.c_str(), pp.data(), kU16, 90, 1, 0, 0, 0, 5, 1, 0), 0);
    const QByteArray text = Read(path);
    EXPECT_TRUE(text.startsWith("    0\n  731\n")) << text.left(20).constData();
    EXPECT_TRUE(text.endsWith("65535\n"));
    std::array<std::uint16_t, 90> back{};
    ASSERT_EQ(FileToArray(path.c_str(), back.data(), kU16, 90, 1, 0, 0, 1), 0);
    EXPECT_EQ(back, pp);

    // Overwriting replaces the whole content.
    std::array<std::uint16_t, 2> two{7, 8};
    ASSERT_EQ(ArrayToFile(path.c_str(), two.data(), kU16, 2, 1, 0, 0, 0, 5, 1, 0), 0);
    EXPECT_EQ(Read(path), QByteArray("    7\n    8\n"));

    std::array<double, 3> d{0.1, -2.5e-7, 65535.0}, dback{};
    const std::string dpath = Path("d.dat");
    ASSERT_EQ(ArrayToFile(dpath.c_str(), d.data(), VAL_DOUBLE, 3, 1, 0, 0, 0, 10, 1, 0), 0);
    ASSERT_EQ(FileToArray(dpath.c_str(), dback.data(), VAL_DOUBLE, 3, 1, 0, 0, 1), 0);
    EXPECT_EQ(dback, d);
}

TEST_F(ArrayFileTest, ReaderAcceptsAnySeparators) {
    std::array<std::uint16_t, 4> a{};
    EXPECT_EQ(Load(Write("sep.dat", "1,2\t3\r\n  4 \n\n"), a), 0);
    EXPECT_EQ(a, (std::array<std::uint16_t, 4>{1, 2, 3, 4}));
}

TEST_F(ArrayFileTest, RefusedFilesLeaveTheArrayUntouched) {
    const std::array<std::uint16_t, 4> before{11, 22, 33, 44};
    using namespace std::string_literals;
    const struct {
        std::string text;
        int expected;
    } cases[] = {
        {"", FILE_TOO_FEW_VALUES},
        {"1 2 3", FILE_TOO_FEW_VALUES},
        {"1 2 3 4 5", FILE_TOO_MANY_VALUES},
        {"1 2 3 4 junk", FILE_TOO_MANY_VALUES},
        {"1 2 x 4", FILE_BAD_NUMBER},
        {"1 2 3 65536", FILE_OUT_OF_RANGE},
        {"1 2 3 99999999999999999999", FILE_OUT_OF_RANGE},
        {"-1 2 3 4", FILE_OUT_OF_RANGE},
        {"1 2 3 1e3", FILE_BAD_NUMBER},
        {"1 2 3.5 4", FILE_BAD_NUMBER},
        {"1 2 - 4", FILE_BAD_NUMBER},
        {"\x01\xff\xfe\x00\x7f garbage"s, FILE_BAD_NUMBER},
    };
    for (const auto &c : cases) {
        std::array<std::uint16_t, 4> a = before;
        EXPECT_EQ(Load(Write("bad.dat", QByteArray::fromStdString(c.text)), a), c.expected)
            << c.text;
        EXPECT_EQ(a, before) << c.text;
    }
    std::array<std::uint16_t, 4> a = before;
    EXPECT_EQ(Load(Path("missing.dat"), a), FILE_CANNOT_OPEN);
    EXPECT_EQ(Load(Write("big.dat", QByteArray(2 << 20, ' ')), a), FILE_CANNOT_OPEN);
    EXPECT_EQ(a, before);
    std::array<double, 1> d{1.5};
    EXPECT_EQ(FileToArray(Write("nan.dat", "nan").c_str(), d.data(), VAL_DOUBLE, 1, 1, 0, 0, 1),
              FILE_OUT_OF_RANGE);
    EXPECT_EQ(d[0], 1.5);
}

TEST_F(ArrayFileTest, FailedWriteKeepsTheOldFile) {
    const std::string path = Write("keep.dat", "    1\n");
    std::array<std::uint16_t, 2> v{5, 6};
    if (geteuid() != 0) { // root may write into a read-only folder
        ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
        EXPECT_EQ(ArrayToFile(path.c_str(), v.data(), kU16, 2, 1, 0, 0, 0, 5, 1, 0),
                  FILE_CANNOT_WRITE);
        chmod(QFile::encodeName(dir.path()).constData(), 0755);
        EXPECT_EQ(Read(path), QByteArray("    1\n"));
    }
    // A write that breaks off half-way (here at the file size limit, as on a full disk).
    std::array<std::uint16_t, 2000> many{};
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    auto *oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int rc = ArrayToFile(path.c_str(), many.data(), kU16, 2000, 1, 0, 0, 0, 5, 1, 0);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(rc, FILE_CANNOT_WRITE);
    EXPECT_EQ(Read(path), QByteArray("    1\n"));
    EXPECT_EQ(ArrayToFile(Path("no/such/dir.dat").c_str(), v.data(), kU16, 2, 1, 0, 0, 0, 5, 1, 0),
              FILE_CANNOT_WRITE);
    const std::array<double, 1> nan{std::numeric_limits<double>::quiet_NaN()};
    EXPECT_LT(ArrayToFile(path.c_str(), nan.data(), VAL_DOUBLE, 1, 1, 0, 0, 0, 5, 1, 0), 0);
    EXPECT_EQ(Read(path), QByteArray("    1\n"));
}

TEST(ProjectDir, IsTheExecutablesFolder) {
    char dir[MAX_PATHNAME_LEN] = "";
    EXPECT_EQ(GetProjectDir(dir), 0);
    EXPECT_EQ(QString::fromLocal8Bit(dir), QCoreApplication::applicationDirPath());
}

} // namespace
