// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Seeded random loops over the reply handling and the parameter-file reader.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "com232/com232.h"
#include "gui/journaling.h"
#include "panel_fixture.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "scripted_device.h"

namespace {

// Inputs per fuzz test: a quick run by default; TINTARO_FUZZ_INPUTS sets the long runs (a
// million inputs under the `long` test label).
long FuzzInputs() {
    const char *env = std::getenv("TINTARO_FUZZ_INPUTS");
    const long n = env ? std::atol(env) : 0;
    return n > 0 ? n : 10000;
}

std::uint64_t FuzzSeed() {
    const char *env = std::getenv("TINTARO_FUZZ_SEED");
    return env ? std::strtoull(env, nullptr, 10) : 20260501u;
}

// ---- reply handling -------------------------------------------------------------------------

ScriptedDevice *g_device = nullptr;
double g_now = 0.0;

// Time crawls while a reply is still trickling in and jumps when the line is idle, so every
// scripted piece arrives before the 2 s time-out and a short reply times out in a few polls.
double FakeClock() {
    g_now += (g_device && g_device->pending()) ? 1e-4 : 0.7;
    return g_now;
}

struct TimerSourceGuard {
    explicit TimerSourceGuard(double (*source)()) { SetTimerSource(source); }
    ~TimerSourceGuard() { SetTimerSource(nullptr); }
};

// One scripted reply and what the program must make of it.
struct Sent {
    int order = 0;
    std::vector<char> bytes;
    std::vector<std::size_t> pieces;

    // Bytes waiting when a wait for `expected` bytes ends: the first piece boundary at or
    // beyond it, or everything, capped by the 1024-byte input queue. When exactly `expected`
    // came, the wait for a quiet line takes the next piece too, if there is one; a reply
    // found too long is taken whole.
    std::size_t readAfterWaitFor(std::size_t expected) const {
        std::size_t sum = 0;
        std::size_t i = 0;
        while (i < pieces.size() && sum < expected)
            sum += pieces[i++];
        if (sum == expected && i < pieces.size())
            sum += pieces[i];
        // A reply too long is refused only once its tail is in.
        if (sum > expected)
            sum = bytes.size();
        return std::min<std::size_t>(sum, 1024);
    }
};

u16 Word(const std::vector<char> &b, std::size_t i) {
    return static_cast<u16>(static_cast<unsigned char>(b[2 * i]) * 256u +
                            static_cast<unsigned char>(b[2 * i + 1]));
}

class ReplyFuzz : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        // A journal entry costs a database commit: a million of them would be the fuzzer's
        // whole time. With no journal to be had each transfer only notes that.
        SetJournalPath("/dev/null/journal.sqlite"); // under a file: no folder can be made
        InitVars();
        loaded = panel;
        // Pop-ups are only counted: a recorder keeping a million of them would be the cost.
        SetPopupHandler([this](const PopupRequest &r) {
            // The MAXCOL-No. warning after a random block is not about the link.
            infos += r.title == "INFO" && r.message == InfoTimeout;
            return PopupAnswer{};
        });
        device.onRequest = [this](int order, std::vector<char> &reply,
                                  std::vector<std::size_t> &pieces) {
            makeReply(reply, pieces);
            // A block counts only when two reads agree: the second read of a pair often
            // repeats the first. A record counts only when it agrees with itself: often it does.
            if ((order == 3 || order == 4) && !log.empty() && log.back().order == order &&
                rng() % 4 != 0)
                repeat(log.back().bytes, reply, pieces);
            if (order == 5 && reply.size() >= 14 && rng() % 4 != 0)
                makePlausible(reply);
            log.push_back(Sent{order, reply, pieces});
            if (order == 5)
                poll = 0; // one polling cycle per input
        };
        AttachComDevice(1, &device);
        com = 1;
        ASSERT_EQ(OpenComConfig(1, "", 19200, 0, 8, 1, 1024, 1024), 0);
        g_device = &device;
    }
    void TearDown() override {
        g_device = nullptr;
        CloseCom(1);
        AttachComDevice(1, nullptr);
        SetPopupHandler(nullptr);
        SetJournalPath(nullptr);
        panel = loaded;
        PanelTest::TearDown();
    }

    // Random length 0..1100 with the reply lengths and their neighbours well represented,
    // random bytes (often a plausible word run), split at random into 1..40 pieces.
    void makeReply(std::vector<char> &reply, std::vector<std::size_t> &pieces) {
        static constexpr std::size_t kExact[] = {14, 96, 180};
        std::size_t len;
        const unsigned pick = rng() % 8;
        if (pick < 3)
            len = kExact[rng() % 3];
        else if (pick < 5)
            len = std::size_t(std::max<long>(0, long(kExact[rng() % 3]) + long(rng() % 7) - 3));
        else
            len = rng() % 1101;
        reply.resize(len);
        for (std::size_t i = 0; i < len; i += 8) {
            const std::uint64_t r = rng();
            for (std::size_t k = 0; k < 8 && i + k < len; ++k)
                reply[i + k] = static_cast<char>(r >> (8 * k));
        }
        std::size_t left = len;
        const std::size_t maxPieces = 1 + rng() % 40;
        while (left > 0) {
            const std::size_t n =
                pieces.size() + 1 >= maxPieces ? left : 1 + rng() % std::min<std::size_t>(left, 64);
            pieces.push_back(n);
            left -= n;
        }
    }

    // The same bytes as `before`, split anew.
    void repeat(const std::vector<char> &before, std::vector<char> &reply,
                std::vector<std::size_t> &pieces) {
        reply = before;
        pieces.clear();
        for (std::size_t left = reply.size(); left > 0;) {
            const std::size_t n = 1 + rng() % std::min<std::size_t>(left, 64);
            pieces.push_back(n);
            left -= n;
        }
    }

    // A record whose X, Y and INT follow from its RED, GREEN and BLUE.
    void makePlausible(std::vector<char> &reply) {
        const long r = long(rng() % 4096), g = long(rng() % 4096), b = long(rng() % 4096);
        const long sum = r + g + b;
        const long words[7] = {r, g, b, sum ? r * 4095 / sum : 0, sum ? g * 4095 / sum : 0,
                               sum / 3, rng() % 4 == 0 ? 255 : long(rng() % 15)};
        for (std::size_t i = 0; i < 7; ++i) {
            reply[2 * i] = char(words[i] >> 8);
            reply[2 * i + 1] = char(words[i] & 0xFF);
        }
    }

    // Whether a 14-byte record agrees with itself: X, Y and INT within 41 counts of what its
    // RED, GREEN and BLUE give, the colour number 0..14 or 255.
    static bool Plausible(const std::vector<char> &b) {
        const long r = Word(b, 0), g = Word(b, 1), bl = Word(b, 2), sum = r + g + bl;
        const auto near = [](long want, long got) { return std::labs(want - got) <= 41; };
        const long cno = Word(b, 6);
        return near(sum ? r * 4095 / sum : 0, Word(b, 3)) &&
               near(sum ? g * 4095 / sum : 0, Word(b, 4)) && near(sum / 3, Word(b, 5)) &&
               (cno <= 14 || cno == 255);
    }

    // The parameter read whose first request is log[i]: a first reply of exactly 180 bytes is
    // followed by a second read, and the block is taken only when both replies are equal.
    void expectParaRead(std::size_t i, std::array<u16, kParaWords> &expectedPP, long &rejects) {
        const Sent &first = log[i];
        if (first.readAfterWaitFor(180) != 180) {
            ASSERT_EQ(log.size(), i + 1) << "a refused first read is not repeated";
            ++rejects;
            return;
        }
        ASSERT_EQ(log.size(), i + 2) << "a block is read twice";
        const Sent &second = log[i + 1];
        ASSERT_EQ(second.order, first.order);
        if (second.readAfterWaitFor(180) == 180 && second.bytes == first.bytes) {
            for (std::size_t k = 0; k < expectedPP.size(); ++k)
                expectedPP[k] = Word(first.bytes, k);
        } else {
            ++rejects;
        }
    }

    std::mt19937_64 rng{FuzzSeed()};
    ScriptedDevice device;
    std::vector<Sent> log;
    long infos = 0;
    int loaded = 0;
};

} // namespace

// Every reply length and split reaches CheckComLine, GetPara and one GetData cycle: exactly the
// right length is taken and decoded, anything else is a time-out that changes nothing.
TEST_F(ReplyFuzz, RandomRepliesToLineCheckParameterReadAndPolling) {
    TimerSourceGuard clock(FakeClock);
    const long inputs = FuzzInputs();
    long done = 0, accepted = 0, withPanel = 0;
    while (done < inputs) {
        log.clear();
        // Mostly without a panel, so the control writes fail fast; now and then the real one.
        const bool usePanel = rng() % 64 == 0;
        panel = usePanel ? loaded : 0;
        withPanel += usePanel;
        target = static_cast<u16>(1 + rng() % 3);
        const auto ppBefore = pp;
        const auto dataBefore = databuf;
        const long infosBefore = infos;
        auto expectedPP = pp;
        auto expectedData = databuf;
        long rejects = 0;
        std::size_t lastExpected = 180; // reply length the last request waited for

        const unsigned op = unsigned(rng() % 3);
        switch (op) {
        case 0: {
            CheckComLine();
            ASSERT_GE(log.size(), 1u);
            ASSERT_EQ(log[0].order, 7);
            if (log[0].readAfterWaitFor(96) == 96) {
                ASSERT_GE(log.size(), 2u) << "an identified sensor has its parameters read";
                ASSERT_EQ(log[1].order, target == EEPROM ? 4 : 3);
                expectParaRead(1, expectedPP, rejects);
            } else {
                ASSERT_EQ(log.size(), 1u);
                ++rejects;
                lastExpected = 96;
            }
            break;
        }
        case 1:
            GetPara();
            ASSERT_GE(log.size(), 1u);
            expectParaRead(0, expectedPP, rejects);
            break;
        default: {
            GetData();
            lastExpected = 14;
            ASSERT_EQ(log.size(), 1u);
            ASSERT_EQ(log[0].order, 5);
            if (log[0].readAfterWaitFor(14) == 14) {
                // A record that does not agree with itself is refused without a pop-up.
                if (Plausible(log[0].bytes))
                    for (std::size_t i = 0; i < expectedData.size(); ++i)
                        expectedData[i] = Word(log[0].bytes, i);
            } else {
                ++rejects;
            }
            ASSERT_EQ(poll, 0);
            break;
        }
        }
        const Sent &last = log.back();
        ASSERT_LE(nBytesR, 1024);
        ASSERT_EQ(nBytesR, last.readAfterWaitFor(lastExpected)) << "input " << done;
        ASSERT_EQ(pp, expectedPP) << "input " << done << ", reply of " << last.bytes.size();
        ASSERT_EQ(databuf, expectedData) << "input " << done;
        ASSERT_EQ(infos - infosBefore, rejects)
            << "one INFO pop-up per refused reply; operation " << op << ", panel " << usePanel
            << ", reply of " << last.bytes.size();
        if (pp != ppBefore || databuf != dataBefore)
            ++accepted;
        if (databuf != dataBefore) {
            ASSERT_EQ(dataCOL, databuf[6]);
        }
        done += static_cast<long>(log.size());
    }
    EXPECT_GT(accepted, inputs / 20) << "the generator must reach the accepting paths";
    EXPECT_GT(withPanel, 0);
}

// ---- parameter-file reader ------------------------------------------------------------------

namespace {

// The reader's contract, written independently: the file is exactly 90 tokens separated by
// blanks, tabs, line breaks or commas; each an optional sign and decimal digits, 0..65535.
bool ParseExpected(std::string_view text, std::vector<std::uint16_t> &out) {
    out.clear();
    auto sep = [](char c) { return c == ' ' || c == ',' || (c >= '\t' && c <= '\r'); };
    std::size_t i = 0;
    while (true) {
        while (i < text.size() && sep(text[i]))
            ++i;
        if (i == text.size())
            break;
        std::size_t j = i;
        while (j < text.size() && !sep(text[j]))
            ++j;
        std::string_view tok = text.substr(i, j - i);
        i = j;
        bool minus = false;
        if (tok[0] == '+' || tok[0] == '-') {
            minus = tok[0] == '-';
            tok.remove_prefix(1);
        }
        if (tok.empty() || tok.size() > 64)
            return false;
        unsigned long v = 0;
        for (char c : tok) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + unsigned(c - '0');
            if (v > 65535)
                return false;
        }
        if (minus && v != 0)
            return false;
        out.push_back(static_cast<std::uint16_t>(v));
        if (out.size() > 90)
            return false;
    }
    return out.size() == 90;
}

std::string FuzzDir() {
    FILE *probe = std::fopen("/dev/shm/.tintaro_probe", "w");
    if (probe) {
        std::fclose(probe);
        std::remove("/dev/shm/.tintaro_probe");
        return "/dev/shm/";
    }
    return ::testing::TempDir();
}

// SplitMix64: cheap enough that the generator does not dominate a sanitizer build's run.
struct FastRng {
    std::uint64_t state;
    std::uint64_t operator()() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Mostly near-valid files (90-ish numbers, then a few mutations), some token soup, some binary.
void MakeFile(FastRng &rng, std::string &text) {
    static const char *const kSeps[] = {" ", "\n", ",", "\t", "\r\n", ", ", "  \n", "\v", "\f"};
    static const char *const kOdd[] = {"-1",        "65536", "99999999999999999999999",
                                       "-0",        "+7",    "+",
                                       "-",         "1e3",   "0x10",
                                       "12a",       "\xff",  "3.5",
                                       "000065535", "65535", "",
                                       "1-2",       "--1"};
    text.clear();
    const unsigned mode = rng() % 8;
    if (mode < 5) {
        // Half of these files are clean apart from the mutations below.
        const bool clean = rng() % 2;
        const int count = rng() % 2 ? 90 : 88 + int(rng() % 5);
        const char *sep = kSeps[rng() % 9];
        for (int k = 0; k < count; ++k) {
            if (rng() % 4 == 0)
                sep = kSeps[rng() % 9];
            if (k > 0 || rng() % 8 == 0)
                text += sep;
            const unsigned kind = clean ? 15 : rng() % 16;
            if (kind == 0)
                text += kOdd[rng() % (sizeof kOdd / sizeof *kOdd)];
            else if (kind < 4)
                text += std::to_string(rng() % 70000);
            else
                text += std::to_string(rng() % 65536);
        }
        if (rng() % 2)
            text += "\n";
        for (unsigned m = rng() % 2 ? 0 : rng() % 4; m > 0 && !text.empty(); --m) {
            const std::size_t at = rng() % text.size();
            switch (rng() % 4) {
            case 0: // truncation
                text.resize(at);
                break;
            case 1:
                text.insert(text.begin() + std::ptrdiff_t(at), static_cast<char>(rng()));
                break;
            case 2:
                text.erase(at, 1 + rng() % 8);
                break;
            default:
                text[at] = "0123456789 ,\n-+"[rng() % 15];
                break;
            }
        }
    } else if (mode < 7) {
        text.resize(rng() % 800);
        for (std::size_t k = 0; k < text.size(); k += 8) {
            std::uint64_t r = rng();
            for (std::size_t b = k; b < k + 8 && b < text.size(); ++b, r >>= 8)
                text[b] = "0123456789012345678901234567  ,\n\t-+"[(r & 0xFF) % 36];
        }
    } else {
        text.resize(rng() % 700);
        for (std::size_t k = 0; k < text.size(); k += 8) {
            std::uint64_t r = rng();
            for (std::size_t b = k; b < k + 8 && b < text.size(); ++b, r >>= 8)
                text[b] = static_cast<char>(r);
        }
    }
}

} // namespace

// FileToArray either fills all 90 words with exactly what the file says or refuses and leaves
// the destination as it was.
TEST(ParameterFileFuzz, RandomContentsAreReadExactlyOrRefusedUntouched) {
    FastRng rng{FuzzSeed()};
    const std::string path = FuzzDir() + "tintaro_fuzz_" + std::to_string(::getpid()) + ".dat";
    struct Remove {
        const std::string &path;
        ~Remove() { std::remove(path.c_str()); }
    } removeAtEnd{path}; // also when an assertion ends the test early
    const long inputs = FuzzInputs();
    std::string text;
    std::vector<std::uint16_t> expected;
    // Heap block of exactly 90 words, so the sanitizer sees any write beyond it.
    std::vector<std::uint16_t> dest(90);
    long accepted = 0;
    for (long n = 0; n < inputs; ++n) {
        MakeFile(rng, text);
        FILE *f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr) << path;
        ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
        std::fclose(f);
        const std::uint16_t fillWord = static_cast<std::uint16_t>(rng());
        std::fill(dest.begin(), dest.end(), fillWord);
        const int result =
            FileToArray(path.c_str(), dest.data(), VAL_UNSIGNED_SHORT_INTEGER, 90, 1, 0, 0, 1);
        const bool valid = ParseExpected(text, expected);
        if (valid) {
            ASSERT_EQ(result, 0) << "input " << n << ":\n" << text;
            ASSERT_EQ(dest, expected) << "input " << n;
            ++accepted;
        } else {
            ASSERT_LT(result, 0) << "input " << n << ", " << expected.size() << " values:\n"
                                 << text;
            ASSERT_TRUE(std::all_of(dest.begin(), dest.end(),
                                    [&](std::uint16_t w) { return w == fillWord; }))
                << "a refused file left the destination changed, input " << n;
        }
    }
    EXPECT_GT(accepted, inputs / 20) << "the generator must reach the accepting path";
    EXPECT_GT(inputs - accepted, inputs / 20);
}
