// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The simulated sensor: replies, resynchronisation, memories, classification and faults.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sensor_link.h"
#include "sensor_model.h"

using namespace sensorsim;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t order, const ParamBlock &block = {}) {
    Bytes f = {0x00, 0x55, 0x00, order};
    for (std::uint16_t w : block) {
        f.push_back(std::uint8_t(w >> 8));
        f.push_back(std::uint8_t(w & 0xFF));
    }
    return f;
}

std::uint16_t Word(const Bytes &b, std::size_t i) {
    return std::uint16_t(b[2 * i] << 8 | b[2 * i + 1]);
}

// Sends one request through an unpaced link and returns every byte the sensor answers.
Bytes Ask(SensorLink &link, const Bytes &request, double t = 0.0) {
    link.receive(request.data(), request.size(), t);
    Bytes out(4096);
    out.resize(link.take(out.data(), out.size(), t + 100.0));
    return out;
}

// Teaches row `row` of `block` from the noise-free look of a patch, as the program's TEACH does.
void Teach(SensorModel &model, ParamBlock &block, std::size_t row, const Patch &patch) {
    const auto m = model.rawMeans(patch);
    const Record r = Evaluate(block, std::uint16_t(m[0]), std::uint16_t(m[1]), std::uint16_t(m[2]));
    const std::uint16_t cells[5] = {r.x, r.y, 150, r.intensity, 150};
    for (std::size_t c = 0; c < 5; ++c)
        block[kTableFirstWord + 5 * row + c] = cells[c];
}

} // namespace

TEST(SensorFrames, RepliesHaveExactLayout) {
    SensorModel model;
    SensorLink link(model);

    const Bytes ident = Ask(link, Frame(7));
    ASSERT_EQ(ident.size(), kIdentReplyBytes);
    std::string text;
    for (std::size_t i = 0; i < ident.size(); i += 2) {
        EXPECT_EQ(ident[i], 0) << "high byte of word " << i / 2;
        text += char(ident[i + 1]);
    }
    EXPECT_EQ(text.rfind(kIdentText, 0), 0u);

    const Bytes ram = Ask(link, Frame(3));
    ASSERT_EQ(ram.size(), kParaReplyBytes);
    EXPECT_EQ(ram[0], 0x01); // POWER 500 high byte first
    EXPECT_EQ(ram[1], 0xF4);
    for (std::size_t i = 0; i < kParaWords; ++i)
        EXPECT_EQ(Word(ram, i), FactoryDefaults()[i]);

    const Bytes data = Ask(link, Frame(5));
    ASSERT_EQ(data.size(), kDataReplyBytes);
    const std::uint32_t sum = Word(data, 0) + Word(data, 1) + Word(data, 2);
    ASSERT_GT(sum, 0u);
    EXPECT_EQ(Word(data, 3), Word(data, 0) * 4095u / sum);
    EXPECT_EQ(Word(data, 4), Word(data, 1) * 4095u / sum);
    EXPECT_EQ(Word(data, 5), sum / 3);

    // Writes and orders the sensor does not know get no reply.
    for (std::uint8_t order : {1, 2, 0, 6, 8, 255})
        EXPECT_TRUE(Ask(link, Frame(order, FactoryDefaults())).empty()) << int(order);
}

TEST(SensorFrames, WordsSurviveWriteAndReadBack) {
    SensorModel model;
    SensorLink link(model);
    ParamBlock block{};
    for (std::size_t i = 0; i < kParaWords; ++i)
        block[i] = std::uint16_t(i * 733 + 1);
    block[0] = 0xFFFF;
    block[9] = 0x8000;
    block[89] = 0x00FF;

    Ask(link, Frame(1, block));
    const Bytes ram = Ask(link, Frame(3));
    ASSERT_EQ(ram.size(), kParaReplyBytes);
    for (std::size_t i = 0; i < kParaWords; ++i)
        EXPECT_EQ(Word(ram, i), block[i]) << "word " << i;
    EXPECT_EQ(model.eeprom(), FactoryDefaults()) << "a RAM write must not reach EEPROM";

    ParamBlock other = block;
    other[0] = 42;
    Ask(link, Frame(2, other));
    EXPECT_EQ(model.eeprom(), other);
    EXPECT_EQ(model.ram(), other) << "an EEPROM write also loads RAM";
    const Bytes eeprom = Ask(link, Frame(4));
    ASSERT_EQ(eeprom.size(), kParaReplyBytes);
    EXPECT_EQ(Word(eeprom, 0), 42);
}

TEST(SensorFrames, ResynchronisesAndReassembles) {
    SensorModel model;
    SensorLink link(model);
    std::vector<std::string> log;
    link.setLog([&](const std::string &line) { log.push_back(line); });

    // Garbage and false starts (00 00, 00 55 55) before a real frame.
    Bytes stream = {0x12, 0x00, 0x00, 0x55, 0x55};
    Bytes ident = Frame(7);
    ParamBlock tricky{}; // a block that itself holds 00 55 00 must not confuse the parser
    tricky[3] = 0x0055;
    Bytes read = Frame(3, tricky);
    stream.insert(stream.end(), ident.begin(), ident.end());
    stream.insert(stream.end(), read.begin(), read.end());

    // Delivered in ragged pieces, as a serial line may.
    std::size_t replyBytes = 0;
    for (std::size_t at = 0; at < stream.size(); at += 7) {
        const std::size_t n = std::min<std::size_t>(7, stream.size() - at);
        replyBytes +=
            Ask(link, Bytes(stream.begin() + long(at), stream.begin() + long(at + n))).size();
    }
    EXPECT_EQ(replyBytes, kIdentReplyBytes + kParaReplyBytes);
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log[0].find("SKIP 12 00"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find(" RX 7 00 55 00 07"), std::string::npos) << log[1];
}

TEST(SensorMemories, EepromPersistsAcrossInstances) {
    const std::string dir = testing::TempDir() + "/tintaro_sim_eeprom_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/eeprom.dat";
    ParamBlock block = FactoryDefaults();
    block[0] = 777;
    block[12] = 65535; // a spare word
    block[89] = 4095;
    {
        SensorModel first;
        std::string error;
        ASSERT_TRUE(first.useEepromFile(file, &error)) << error; // no file yet: defaults
        EXPECT_EQ(first.eeprom(), FactoryDefaults());
        ASSERT_TRUE(first.writeEeprom(block, &error)) << error;
    }
    SensorModel second;
    std::string error;
    ASSERT_TRUE(second.useEepromFile(file, &error)) << error;
    EXPECT_EQ(second.eeprom(), block);
    EXPECT_EQ(second.ram(), block) << "RAM starts from EEPROM";
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));

    // A damaged file is refused rather than taken as a parameter block.
    for (const char *content : {"1 2 3\n", "", "x\n", "70000\n"}) {
        std::ofstream(file) << content;
        SensorModel third;
        EXPECT_FALSE(third.useEepromFile(file, &error)) << content;
    }
    std::filesystem::remove_all(dir);
}

TEST(SensorClassification, ColourModes) {
    ParamBlock p = FactoryDefaults();
    p[kIntlim] = 100;
    p[kMaxcolno] = 3;
    auto row = [&](std::size_t r, std::uint16_t x, std::uint16_t y, std::uint16_t cto,
                   std::uint16_t in, std::uint16_t ito) {
        std::uint16_t cells[5] = {x, y, cto, in, ito};
        std::copy(cells, cells + 5, &p[kTableFirstWord + 5 * r]);
    };
    row(0, 2000, 1000, 100, 1000, 100);
    row(1, 2000, 1000, 300, 2000, 100); // same colour, brighter
    row(2, 1000, 1000, 100, 1000, 5000);
    row(3, 500, 500, 4000, 1000, 5000); // catches everything but is not active

    Record rec;
    rec.x = 2050, rec.y = 1050, rec.intensity = 1000;
    EXPECT_EQ(Classify(p, rec), 0);
    rec.intensity = 2000;
    EXPECT_EQ(Classify(p, rec), 1) << "row 0's band misses, row 1 takes it";
    rec.intensity = 1500;
    EXPECT_EQ(Classify(p, rec), 255);
    p[kEvalmode] = 1;
    EXPECT_EQ(Classify(p, rec), 0) << "mode 1 ignores the intensity";
    p[kEvalmode] = 5;
    EXPECT_EQ(Classify(p, rec), 255) << "mode 5 is a colour mode with intensity";

    rec.x = 2000 + 71, rec.y = 1000 + 71; // just outside radius 100, inside 300
    rec.intensity = 1000;
    EXPECT_EQ(Classify(p, rec), 255);
    rec.intensity = 2000;
    EXPECT_EQ(Classify(p, rec), 1);
    rec.x = 2070, rec.y = 1070; // inside radius 100 (98.99)
    rec.intensity = 1000;
    EXPECT_EQ(Classify(p, rec), 0);

    rec.x = 500, rec.y = 500;
    EXPECT_EQ(Classify(p, rec), 255) << "row 3 lies beyond MAXCOL-No.";
    p[kMaxcolno] = 4;
    EXPECT_EQ(Classify(p, rec), 3);
    p[kMaxcolno] = 0;
    EXPECT_EQ(Classify(p, rec), 255);

    p[kMaxcolno] = 4;
    rec.intensity = 99;
    EXPECT_EQ(Classify(p, rec), 255) << "below INTLIM";

    const Record black = Evaluate(p, 0, 0, 0);
    EXPECT_EQ(black.x, 0);
    EXPECT_EQ(black.y, 0);
    EXPECT_EQ(black.intensity, 0);
    const Record grey = Evaluate(p, 4095, 4095, 4095);
    EXPECT_EQ(grey.x, 1365);
    EXPECT_EQ(grey.intensity, 4095);
}

TEST(SensorClassification, ContrastModes) {
    ParamBlock p = FactoryDefaults();
    p[kIntlim] = 0;
    p[kTableFirstWord] = 2150;     // UL
    p[kTableFirstWord + 1] = 1850; // LL
    const struct {
        std::uint16_t mode, r, g, b, colour;
    } cases[] = {
        {2, 2000, 100, 100, 0},     {2, 2151, 100, 100, 255},  {2, 1850, 100, 100, 0},
        {2, 1849, 2000, 2000, 255}, {3, 100, 2150, 100, 0},    {3, 2000, 100, 2000, 255},
        {4, 100, 100, 1900, 0},     {4, 1900, 1900, 100, 255},
    };
    for (const auto &c : cases) {
        p[kEvalmode] = c.mode;
        EXPECT_EQ(Evaluate(p, c.r, c.g, c.b).colour, c.colour)
            << "mode " << c.mode << " rgb " << c.r << "," << c.g << "," << c.b;
    }
}

TEST(SensorClassification, DefaultSceneCanBeTaught) {
    SensorModel model;
    const Scene &scene = model.scene();
    ASSERT_EQ(scene.patches.size(), 5u);
    ParamBlock p = FactoryDefaults();
    for (std::size_t i = 0; i < 4; ++i)
        Teach(model, p, i, scene.patches[i]);
    model.writeRam(p);

    for (std::size_t i = 0; i < scene.patches.size(); ++i) {
        model.holdPatch(int(i));
        for (int n = 0; n < 200; ++n) {
            const Record r = model.measure(0);
            ASSERT_EQ(r.colour, i < 4 ? i : 255u)
                << scene.patches[i].name << " measured " << r.r << "," << r.g << "," << r.b;
        }
    }

    // The conveyor shows each patch in turn.
    model.holdPatch(-1);
    EXPECT_EQ(model.patchAt(0.1), 0u);
    EXPECT_EQ(model.patchAt(scene.dwellSeconds * 2.5), 2u);
    EXPECT_EQ(model.patchAt(scene.dwellSeconds * 5.5), 0u);

    // More exposure, brighter raw values, clipped at 4095.
    p[kPower] = 1000;
    model.writeRam(p);
    model.holdPatch(0);
    EXPECT_EQ(model.measure(0).r, 4095);

    Scene custom;
    std::string error;
    ASSERT_TRUE(MakeScene("100,200,300;4000,0,0", &custom, &error)) << error;
    ASSERT_EQ(custom.patches.size(), 2u);
    EXPECT_EQ(custom.patches[1].r, 4000);
    for (const char *bad : {"", "purple", "1,2", "1,2,3,4", "1,2,x", "1,2,5000", "-1,2,3"})
        EXPECT_FALSE(MakeScene(bad, &custom, &error)) << bad;
}

TEST(SensorFaults, RepliesGoWrongAsAsked) {
    Faults faults;
    std::string error;
    for (const char *fault : {"silence:3", "short:5", "long:7", "garble:4", "exit-after:2"})
        ASSERT_TRUE(faults.add(fault, &error)) << fault << ": " << error;
    for (const char *bad : {"silence", "short:256", "long:x", "boom:1", "exit-after:-1", ""})
        EXPECT_FALSE(faults.add(bad, &error)) << bad;

    SensorModel model;
    SensorLink link(model, faults);
    EXPECT_TRUE(Ask(link, Frame(3)).empty());
    EXPECT_EQ(Ask(link, Frame(7)).size(), kIdentReplyBytes + 2);
    const Bytes eeprom = Ask(link, Frame(4));
    ASSERT_EQ(eeprom.size(), kParaReplyBytes);
    EXPECT_NE(Word(eeprom, 0), 500) << "garbled";
    EXPECT_EQ(Ask(link, Frame(5)).size(), kDataReplyBytes - 2);
    EXPECT_EQ(Ask(link, Frame(5)).size(), kDataReplyBytes - 2);
    EXPECT_TRUE(link.ended()) << "gone after two records";
    EXPECT_TRUE(Ask(link, Frame(7)).empty());

    Faults hang;
    ASSERT_TRUE(hang.add("silence-after:1", &error));
    SensorLink hung(model, hang);
    EXPECT_EQ(Ask(hung, Frame(5)).size(), kDataReplyBytes);
    EXPECT_TRUE(Ask(hung, Frame(5)).empty());
    EXPECT_TRUE(Ask(hung, Frame(7)).empty()) << "a hung sensor answers nothing";
    EXPECT_FALSE(hung.ended());
}

TEST(SensorFaults, ReplyTiming) {
    SensorModel model;
    // At 19200 baud the reply starts after the request's own wire time and runs byte by byte.
    SensorLink paced(model, {}, true);
    const Bytes ident = Frame(7);
    paced.receive(ident.data(), ident.size(), 10.0);
    const double answered = 10.0 + kFrameBytes * kByteSeconds;
    EXPECT_EQ(paced.ready(answered - 1e-6), 0u);
    EXPECT_EQ(paced.ready(answered + kByteSeconds * 1.5), 1u);
    EXPECT_EQ(paced.ready(answered + kByteSeconds * (kIdentReplyBytes + 0.5)), kIdentReplyBytes);

    Faults faults;
    std::string error;
    ASSERT_TRUE(faults.add("late:5", &error));
    ASSERT_TRUE(faults.add("split:3", &error));
    SensorLink link(model, faults);
    const Bytes data = Frame(5);
    link.receive(data.data(), data.size(), 0.0);
    EXPECT_EQ(link.ready(2.0), 0u) << "beyond the program's 2 s wait";
    EXPECT_EQ(link.ready(3.0), kDataReplyBytes);
    Bytes sink(512);
    link.take(sink.data(), sink.size(), 3.0);
    const Bytes read = Frame(3);
    link.receive(read.data(), read.size(), 5.0);
    const std::size_t first = link.ready(5.0);
    EXPECT_GT(first, 0u);
    EXPECT_LT(first, kParaReplyBytes) << "a split reply comes in pieces";
    EXPECT_EQ(link.ready(10.0), kParaReplyBytes);
}
