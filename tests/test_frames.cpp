// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Frames on the wire, the parameter block mapping, port error texts and the help texts.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"

namespace {

unsigned byteAt(const char *buf, int i) {
    return static_cast<unsigned char>(buf[i]);
}

void putBytes(const std::initializer_list<unsigned> bytes) {
    int i = 0;
    for (unsigned b : bytes)
        szReadBuf[i++] = static_cast<char>(b);
}

class Frames : public ::testing::Test {
protected:
    void SetUp() override {
        pp.fill(0);
        databuf.fill(0);
        anzpara = 90;
        anzdata = 7;
        tintaro::sync = 85;
    }
};

} // namespace

TEST_F(Frames, RequestCarriesSyncOrderAndTheWholeBlockHighByteFirst) {
    FillTxBuf(5);
    EXPECT_EQ(byteAt(szWriteBuf, 0), 0x00u);
    EXPECT_EQ(byteAt(szWriteBuf, 1), 0x55u);
    EXPECT_EQ(byteAt(szWriteBuf, 2), 0x00u);
    EXPECT_EQ(byteAt(szWriteBuf, 3), 0x05u);
    for (int i = 4; i < 184; ++i)
        ASSERT_EQ(byteAt(szWriteBuf, i), 0u) << "offset " << i;

    power = 500;
    pmod = 1;
    CopyVarsToPP();
    FillTxBuf(1);
    const unsigned expected[] = {0x00, 0x55, 0x00, 0x01, 0x01, 0xF4, 0x00, 0x01};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(byteAt(szWriteBuf, i), expected[i]) << "offset " << i;

    pp[89] = 0xFFFF;
    pp[9] = 0x1234;
    FillTxBuf(7);
    EXPECT_EQ(byteAt(szWriteBuf, 182), 0xFFu);
    EXPECT_EQ(byteAt(szWriteBuf, 183), 0xFFu);
    EXPECT_EQ(byteAt(szWriteBuf, 22), 0x12u);
    EXPECT_EQ(byteAt(szWriteBuf, 23), 0x34u);
}

TEST_F(Frames, RepliesDecodeUnsignedWords) {
    putBytes({0x03, 0xE8, 0x00, 0x01, 0x00, 0x0A});
    for (int i = 6; i < 180; ++i)
        szReadBuf[i] = static_cast<char>(0xFF);
    GetRxBufPara();
    CopyPPtoVars();
    EXPECT_EQ(power, 1000);
    EXPECT_EQ(pmod, 1);
    EXPECT_EQ(average, 10);
    EXPECT_EQ(pp[89], 65535);
    EXPECT_EQ(ctt[74], 65535);

    putBytes({0x00, 0x10, 0x00, 0x20, 0x00, 0x30, 0x02, 0xAA, 0x05, 0x55, 0x00, 0x20, 0x00, 0x03});
    GetRxBufData();
    CopyDatatoVars();
    EXPECT_EQ(dataR, 16);
    EXPECT_EQ(dataG, 32);
    EXPECT_EQ(dataB, 48);
    EXPECT_EQ(dataX, 682);
    EXPECT_EQ(dataY, 1365);
    EXPECT_EQ(dataINT, 32);
    EXPECT_EQ(dataCOL, 3);
}

TEST_F(Frames, BlockMappingKeepsSpareWordsAndIsItsOwnInverse) {
    for (int i = 0; i < 90; ++i)
        pp[i] = static_cast<u16>(1000 + i * 7);
    const auto original = pp;
    CopyPPtoVars();
    EXPECT_EQ(trigger, original[8]);
    EXPECT_EQ(ctt[0], original[15]);
    EXPECT_EQ(ctt[5 * 2 + 3], original[15 + 13]);
    EXPECT_EQ(pp, original) << "reading the block must not alter it";

    pp.fill(0);
    pp[9] = 11;
    pp[14] = 65535;
    CopyVarsToPP();
    for (int i = 0; i < 90; ++i) {
        if (i >= 9 && i <= 14)
            continue;
        EXPECT_EQ(pp[i], original[i]) << "word " << i;
    }
    EXPECT_EQ(pp[9], 11) << "spare words are carried, never overwritten";
    EXPECT_EQ(pp[14], 65535);
}

TEST(PortErrors, EveryResultHasItsText) {
    EXPECT_STREQ(ComErrorText(-1), "Unknown system error");
    EXPECT_STREQ(ComErrorText(-2), "Invalid port number");
    EXPECT_STREQ(ComErrorText(-3), "Port is not open");
    EXPECT_STREQ(ComErrorText(-4), "Unknown I/0 error");
    EXPECT_STREQ(ComErrorText(-5), "RS-232 error!");
    EXPECT_STREQ(ComErrorText(-6), "No serial port found");
    EXPECT_STREQ(ComErrorText(-7), "Cannot open port");
    EXPECT_STREQ(ComErrorText(-99), "Timeout");
    EXPECT_STREQ(ComErrorText(-8), "RS-232 error!");
    EXPECT_STREQ(ComErrorText(-100), "RS-232 error!");
}

TEST(HelpTexts, LengthsAndSingleByteMicroSign) {
    struct {
        const char *text;
        std::size_t length;
    } const texts[] = {
        {InfoEditConnect, 26},
        {InfoButtonSend, 267},
        {InfoButtonGet, 235},
        {InfoButtonGo, 213},
        {InfoButtonStop, 84},
        {InfoSelectMEM, 70},
        {InfoSwitchPara, 32},
        {InfoSelectSource, 46},
        {InfoEditEvalmode, 11},
        {InfoButtonResetTable, 87},
        {InfoButtonTeachDataTo, 150},
        {InfoButtonApplyFromAll, 163},
        {InfoButtonZoom, 170},
        {InfoButtonAutoAdjust, 258},
        {InfoEditMaxcolNo, 388},
        {InfoEditOutmode, 914},
        {InfoEditPmod, 338},
        {InfoEditAverage, 97},
        {InfoEditTrigger, 222},
        {InfoEditIntlim, 202},
        {InfoEditHold, 63},
        {InfoEditNo, 79},
        {InfoRadioInc, 34},
        {InfoDispX, 190},
        {InfoDispY, 192},
        {InfoDispINT, 183},
        {InfoDispRAW, 142},
        {InfoDispCOL, 123},
        {InfoDispBars, 48},
        {InfoStatus, 43},
        {InfoGraph, 40},
        {InfoEditPower, 125},
        {InfoMaxColNo, 88},
        {InfoTimeout, 56},
    };
    for (const auto &t : texts)
        EXPECT_EQ(std::strlen(t.text), t.length) << t.text;

    EXPECT_STREQ(InfoTimeout, " ATTENTION! \n \n TIMEOUT \n NO SERIAL CONNECTION TO SENSOR");
    EXPECT_STREQ(InfoMaxColNo,
                 " ATTENTION! \n \n MAXCOL-No. IS TOO HIGH \n DECREASE MAXCOL-No. OR SWITCH TO "
                 "OUTMODE=BINARY");
    const std::string power = InfoEditPower;
    EXPECT_NE(power.find(" 0\xB5s = no exposure,  1000\xB5s = full exposure."), std::string::npos);
    EXPECT_NE(std::string(InfoEditPmod).find("EXP-TIME[\xB5s]"), std::string::npos);
}
