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
    protocol::EncodeRequest(sync, orderCode, pp.data(), ParaWords(), szWriteBuf);
}

void GetRxBufPara() {
    protocol::DecodeWords(szReadBuf, ParaWords(), pp.data());
}

void GetRxBufData() {
    protocol::DecodeWords(szReadBuf, std::min<std::size_t>(anzdata, databuf.size()),
                          databuf.data());
}
