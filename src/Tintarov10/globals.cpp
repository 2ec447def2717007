// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The program's global state, defined once; start values are set by InitVars.
#include "Tintarov10/state.h"

namespace tintaro {

const int RAM = 1;
const int EEPROM = 2;
const int DATFILE = 3;

int panel = 0;
u16 poll = 0;
u16 target = 1;
double transbeg = 0.0, waitdel = 0.1, tdiff = 0.0, tstart = 0.0;
u16 startcom = 1;
u16 com = 1;
u16 anzpara = 90, anzdata = 7, sync = 85, order = 1;
u16 nBytesW = 0, nBytesR = 0;
i16 ret = 0;
char szStatus[48] = {};
char szWriteBuf[1024] = {};
char szReadBuf[1024] = {};
std::array<u16, kParaWords> pp = {};
std::array<u16, kDataWords> databuf = {};
u16 power = 0, pmod = 0, average = 0, evalmode = 0, hold = 0, intlim = 0, maxcolno = 0, outmode = 0,
    trigger = 0;
std::array<u16, kTeachRows *kTeachCols> ctt = {};
u16 dataR = 0, dataG = 0, dataB = 0, dataX = 0, dataY = 0, dataINT = 0, dataCOL = 0;
std::array<double, kHistoryValues> alldata = {};
u16 source = 0;
std::array<u16, 4096> xramp = {}, yramp = {};
char proj_dir[260] = {};
char file_name[260] = {};
// Plot colour of each teach-table row; entry 15 is never drawn.
const std::array<double, 16> sicolarr = {0x0000FF, 0xFF0000, 0x000000, 0xFF80C0, 0x008000, 0xFFFF00,
                                         0x808000, 0x800080, 0x80FFFF, 0xFF0080, 0x400080, 0xFF00FF,
                                         0x80FF00, 0x408080, 0x800000, 0xFFFFFF};
int textIDsoft = 0;

const std::array<ParamLink, 9> kParamLinks = {{
    {0, PANEL_POWER, &power},
    {1, PANEL_PMOD, &pmod},
    {2, PANEL_AVERAGE, &average},
    {3, PANEL_EVALMODE, &evalmode},
    {4, PANEL_HOLD, &hold},
    {5, PANEL_INTLIM, &intlim},
    {6, PANEL_MAXCOLNO, &maxcolno},
    {7, PANEL_OUTMODE, &outmode},
    {8, PANEL_TRIGGER, &trigger},
}};

} // namespace tintaro
