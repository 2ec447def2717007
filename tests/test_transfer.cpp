// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// What a reply is worth: its classification, a data record's own check, two agreeing reads
// and a write's read-back, shared by the window program and tintaro-cli.
#include <deque>
#include <utility>

#include <gtest/gtest.h>

#include "line/transfer.h"
#include "protocol/protocol.h"
#include "sensor_model.h"

namespace {

using line::Block;
using line::Reply;
using line::Transfer;

// Hands out scripted reads in turn and counts them.
class Reads : public line::BlockReader {
public:
    std::deque<std::pair<Reply, Block>> script;
    int reads = 0;
    Reply readBlock(Block *block) override {
        ++reads;
        const auto next = script.front();
        script.pop_front();
        if (next.first == Reply::kOk)
            *block = next.second;
        return next.first;
    }
};

Block Numbered(std::uint16_t average) {
    Block b{};
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = std::uint16_t(i * 7);
    b[2] = average;
    return b;
}

TEST(ReplyClass, LengthDecidesFirstAndOnlyTheWholeRequestIsAnEcho) {
    const Block none{};
    char request[protocol::kRequestBytes];
    protocol::EncodeRequest(protocol::kSync, protocol::kReadData, none.data(), none.size(),
                            request);
    // A record whose first words are RED 85, GREEN 5 begins like the data request itself.
    char record[protocol::kDataReplyBytes] = {0, 0x55, 0, 5, 0, 10};
    EXPECT_EQ(line::ClassifyReply(14, 14, record, request, false), Reply::kOk);
    // A block with POWER 85 and PMOD 3 begins like a read request.
    char block[protocol::kParaReplyBytes] = {0, 0x55, 0, 3};
    protocol::EncodeRequest(protocol::kSync, protocol::kReadRam, none.data(), none.size(), request);
    EXPECT_EQ(line::ClassifyReply(180, 180, block, request, false), Reply::kOk);
    EXPECT_FALSE(protocol::EchoesRequest(block, sizeof block, request));

    char back[2 * protocol::kRequestBytes] = {};
    std::copy(request, request + protocol::kRequestBytes, back);
    EXPECT_EQ(line::ClassifyReply(protocol::kRequestBytes, 180, back, request, false),
              Reply::kEcho);
    EXPECT_EQ(line::ClassifyReply(2 * protocol::kRequestBytes, 14, back, request, false),
              Reply::kEcho)
        << "an echo followed by more";
    back[100] ^= 1;
    EXPECT_EQ(line::ClassifyReply(protocol::kRequestBytes, 180, back, request, false),
              Reply::kTooLong);
    EXPECT_EQ(line::ClassifyReply(181, 180, back, request, false), Reply::kTooLong);
    EXPECT_EQ(line::ClassifyReply(179, 180, back, request, false), Reply::kIncomplete);
    EXPECT_EQ(line::ClassifyReply(0, 180, back, request, false), Reply::kNone);
    EXPECT_EQ(line::ClassifyReply(0, 180, back, request, true), Reply::kPortGone);
    EXPECT_EQ(line::ClassifyReply(180, 180, back, request, true), Reply::kOk)
        << "a port back in time for the whole reply";
    EXPECT_STREQ(line::ReplyText(Reply::kTooLong), "reply too long (stray bytes)");
}

TEST(RecordCheck, TheSensorsOwnRecordsPassAndNoiseBeyondOnePercentFails) {
    // Whatever the scene, the sensor's formulas give a record that passes.
    const sensorsim::ParamBlock params = sensorsim::FactoryDefaults();
    for (unsigned r : {0u, 1u, 85u, 2000u, 4095u})
        for (unsigned g : {0u, 5u, 3000u, 4095u})
            for (unsigned b : {0u, 2u, 4095u}) {
                const sensorsim::Record rec = sensorsim::Evaluate(
                    params, std::uint16_t(r), std::uint16_t(g), std::uint16_t(b));
                const std::uint16_t w[7] = {rec.r, rec.g,         rec.b,     rec.x,
                                            rec.y, rec.intensity, rec.colour};
                EXPECT_TRUE(line::RecordPlausible(w)) << r << "," << g << "," << b;
            }
    // R 1000, G 2000, B 1000: X 1023, Y 2047, INT 1333.
    std::uint16_t w[7] = {1000, 2000, 1000, 1023, 2047, 1333, 3};
    ASSERT_TRUE(line::RecordPlausible(w));
    for (int word : {3, 4, 5}) {
        std::uint16_t off[7];
        std::copy(w, w + 7, off);
        off[word] = std::uint16_t(w[word] + 41);
        EXPECT_TRUE(line::RecordPlausible(off)) << "41 counts off is within 1 %: " << word;
        off[word] = std::uint16_t(w[word] + 42);
        EXPECT_FALSE(line::RecordPlausible(off)) << word;
        off[word] = std::uint16_t(w[word] - 42);
        EXPECT_FALSE(line::RecordPlausible(off)) << word;
    }
    for (std::uint16_t colour : {0, 14, 255})
        EXPECT_TRUE(line::RecordPlausible((w[6] = colour, w))) << colour;
    for (std::uint16_t colour : {15, 254, 15565})
        EXPECT_FALSE(line::RecordPlausible((w[6] = colour, w))) << colour;
    // In the dark there is no chromaticity: X and Y must be (near) 0 as well.
    const std::uint16_t dark[7] = {0, 0, 0, 0, 0, 0, 255};
    EXPECT_TRUE(line::RecordPlausible(dark));
    const std::uint16_t darkNoise[7] = {0, 0, 0, 37402, 0, 0, 255};
    EXPECT_FALSE(line::RecordPlausible(darkNoise));
    // Bytes 00 FF FF ...: large words, no overflow in the check.
    const std::uint16_t big[7] = {65535, 65535, 65535, 1365, 1365, 65535, 255};
    EXPECT_TRUE(line::RecordPlausible(big));
}

TEST(AgreeingRead, TakesTheBlockOnlyWhenTwoRepliesAreEqual) {
    const Block a = Numbered(1), b = Numbered(2);
    Block out = Numbered(99);
    Reply why = Reply::kOk;

    Reads same;
    same.script = {{Reply::kOk, a}, {Reply::kOk, a}};
    EXPECT_EQ(line::ReadAgreed(same, &out, &why), Transfer::kVerified);
    EXPECT_EQ(out, a);
    EXPECT_EQ(why, Reply::kOk);

    Reads noisy;
    noisy.script = {{Reply::kOk, a}, {Reply::kOk, b}};
    out = Numbered(99);
    EXPECT_EQ(line::ReadAgreed(noisy, &out, &why), Transfer::kRefused);
    EXPECT_EQ(why, Reply::kDiffer);
    EXPECT_EQ(out, Numbered(99)) << "nothing taken";

    Reads silent;
    silent.script = {{Reply::kNone, {}}};
    EXPECT_EQ(line::ReadAgreed(silent, &out, &why), Transfer::kRefused);
    EXPECT_EQ(why, Reply::kNone);
    EXPECT_EQ(silent.reads, 1) << "a failed read is not repeated";

    Reads secondShort;
    secondShort.script = {{Reply::kOk, a}, {Reply::kIncomplete, {}}};
    EXPECT_EQ(line::ReadAgreed(secondShort, &out, &why), Transfer::kRefused);
    EXPECT_EQ(why, Reply::kIncomplete);
}

TEST(WriteReadBack, OneReadWhenEqualASecondToTellAnotherBlockFromNoise) {
    const Block sent = Numbered(1), other = Numbered(2), noise = Numbered(7);
    Block held{};
    Reply why = Reply::kNone;
    struct Case {
        const char *name;
        std::deque<std::pair<Reply, Block>> script;
        Transfer outcome;
        Reply why;
        int reads;
    };
    const Case cases[] = {
        {"equal", {{Reply::kOk, sent}}, Transfer::kVerified, Reply::kOk, 1},
        {"noise, then equal",
         {{Reply::kOk, noise}, {Reply::kOk, sent}},
         Transfer::kVerified,
         Reply::kOk,
         2},
        {"another block twice",
         {{Reply::kOk, other}, {Reply::kOk, other}},
         Transfer::kDiffers,
         Reply::kOk,
         2},
        {"two others",
         {{Reply::kOk, other}, {Reply::kOk, noise}},
         Transfer::kNotConfirmed,
         Reply::kDiffer,
         2},
        {"no reply", {{Reply::kNone, {}}}, Transfer::kNotConfirmed, Reply::kNone, 1},
        {"other, then port gone",
         {{Reply::kOk, other}, {Reply::kPortGone, {}}},
         Transfer::kNotConfirmed,
         Reply::kPortGone,
         2},
    };
    for (const Case &c : cases) {
        Reads reads;
        reads.script = c.script;
        held = {};
        EXPECT_EQ(line::VerifyWrite(reads, sent, &held, &why), c.outcome) << c.name;
        EXPECT_EQ(why, c.why) << c.name;
        EXPECT_EQ(reads.reads, c.reads) << c.name;
        EXPECT_EQ(held, c.outcome == Transfer::kDiffers ? other : Block{}) << c.name;
    }
    EXPECT_EQ(line::DescribeDifference(sent, other), "2 AVERAGE sent 1, sensor holds 2");
    Block more = other;
    more[0] = 9;
    more[20] = 9;
    EXPECT_EQ(line::DescribeDifference(sent, more),
              "0 POWER sent 0, sensor holds 9; 2 AVERAGE sent 1, sensor holds 2; ...");
    EXPECT_EQ(line::DescribeDifference(sent, sent), "");
    EXPECT_STREQ(line::TransferText(Transfer::kNotConfirmed), "not confirmed");
}

} // namespace
