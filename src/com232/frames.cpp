// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The parameter block, the request frame and the reply formats. Words travel high byte first.
#include <algorithm>
#include <cstddef>

#include "Tintarov10/state.h"
#include "com232/com232.h"

namespace {

// Words 9..14 are carried, never interpreted; the teach table starts at word 15.
constexpr int kTableBegin = protocol::kTableBegin;

// Words actually held by `pp` and the buffers, however large anzpara is set.
std::size_t ParaWords() {
    return std::min<std::size_t>(anzpara, pp.size());
}

u16 JoinWord(const char *bytes) {
    const auto hi = static_cast<unsigned char>(bytes[0]);
    const auto lo = static_cast<unsigned char>(bytes[1]);
    return static_cast<u16>(hi * 256u + lo);
}

} // namespace

void CopyVarsToPP() {
    for (const ParamLink &p : kParamLinks)
        pp[std::size_t(p.word)] = *p.variable;
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachCols; ++c)
            pp[kTableBegin + r * kTeachCols + c] = ctt[r * kTeachCols + c];
}

void CopyPPtoVars() {
    for (const ParamLink &p : kParamLinks)
        *p.variable = pp[std::size_t(p.word)];
    for (int r = 0; r < kTeachRows; ++r)
        for (int c = 0; c < kTeachCols; ++c)
            ctt[r * kTeachCols + c] = pp[kTableBegin + r * kTeachCols + c];
}

void CopyDatatoVars() {
    dataR = databuf[0];
    dataG = databuf[1];
    dataB = databuf[2];
    dataX = databuf[3];
    dataY = databuf[4];
    dataINT = databuf[5];
    dataCOL = databuf[6];
}

void FillTxBuf(unsigned char orderCode) {
    szWriteBuf[0] = static_cast<char>(sync / 256);
    szWriteBuf[1] = static_cast<char>(sync % 256);
    szWriteBuf[2] = 0;
    szWriteBuf[3] = static_cast<char>(orderCode);
    const std::size_t n = ParaWords();
    for (std::size_t i = 0; i < n; ++i) {
        szWriteBuf[4 + 2 * i] = static_cast<char>(pp[i] / 256);
        szWriteBuf[5 + 2 * i] = static_cast<char>(pp[i] % 256);
    }
}

void GetRxBufPara() {
    const std::size_t n = ParaWords();
    for (std::size_t i = 0; i < n; ++i)
        pp[i] = JoinWord(szReadBuf + 2 * i);
}

void GetRxBufData() {
    const std::size_t n = std::min<std::size_t>(anzdata, databuf.size());
    for (std::size_t i = 0; i < n; ++i)
        databuf[i] = JoinWord(szReadBuf + 2 * i);
}
