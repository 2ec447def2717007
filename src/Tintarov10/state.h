// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The program's global state, grouped by the module that owns it; each line says who writes
// and who reads it. Everything is defined once, in globals.cpp (help texts in helptexts.cpp).
// The program modules (com232, gui, logo, status) include this header and no module above it.
#pragma once

#include <array>
#include <cstdint>

#include "Tintarov10/panel_ids.h"
#include "protocol/protocol.h"

using u16 = std::uint16_t;
using i16 = std::int16_t;

// The globals live in a namespace of their own only because POSIX declares a function
// named sync(); the using-directive below keeps them plain globals for the program.
namespace tintaro {

// ---- Sizes ---------------------------------------------------------------------------------
constexpr int kParaWords = protocol::kParaWords; // words of pp
constexpr int kDataWords = protocol::kDataWords; // words of databuf
constexpr int kTeachRows = protocol::kTableRows; // rows of the COLOR TEACH TABLE
constexpr int kTeachCols = protocol::kTableCols; // words of a row
constexpr int kHistoryRecords = 100;
constexpr int kHistoryValues = kHistoryRecords * 7;

// ---- Application shell (Tintarov10) ----------------------------------------------------------
extern const int RAM;     // 1 \ memory selector constants, never changed
extern const int EEPROM;  // 2 |
extern const int DATFILE; // 3 /
extern int panel;   // WinMain (LoadPanel); read by every routine outside the callbacks
extern u16 poll;    // 1 only by GetData; 0 by STOP, close, COM change, InitRS232, SendPara,
                    // GetPara, ApplyFromAll, ShowGraphData2, a refused data reply; GetData reads
extern u16 target;  // InitVars, the memory switches; SEND/GET callbacks, SendPara, GetPara read
extern double transbeg, waitdel; // InitVars, SendPara, GetPara; PacingWait reads
extern double tdiff; // scratch of PacingWait and the reply wait, global only by habit
extern u16 startcom; // the COM port to start on: 1, or the one --port names
extern u16 com;      // InitVars, CBF_EditConnect; every serial call reads
extern std::array<u16, 4096> xramp, yramp; // InitVars; ShowBoundaryLine reads
extern char proj_dir[260]; // WinMain; the file pop-up reads
extern int textIDsoft;     // passed to the logo's text routines, which do not use it

// ---- Sensor link and parameter files (com232) ------------------------------------------------
extern u16 anzpara, anzdata, sync; // InitVars (90, 7, 0x55); frames and transactions read
extern u16 order;   // CheckComLine, SendPara, GetPara, GetData set it; WriteRequest sends it
extern u16 nBytesW; // SendPara: the count written
extern u16 nBytesR; // the reply wait: the count read; CheckComLine, GetPara, GetData read
extern double tstart; // scratch of the reply wait, global only by habit
extern i16 ret;            // InitRS232: the port opening's result
extern char szStatus[48];  // InitRS232: the port opening's message
extern char szWriteBuf[1024]; // FillTxBuf; WriteRequest and the echo check read
extern char szReadBuf[1024];  // the reply wait; GetRxBufPara, GetRxBufData, CheckComLine read
extern std::array<u16, kParaWords> pp; // CopyVarsToPP, GetRxBufPara, a file load; FillTxBuf,
                                       // CopyPPtoVars, a file save and the status bar read
extern std::array<u16, kDataWords> databuf; // GetRxBufData; CopyDatatoVars reads
extern char file_name[260]; // the file pop-up; the parameter-file routines read

// ---- Panel model (gui) ----------------------------------------------------------------------
// Written by GetPanelValues and CopyPPtoVars (and single reads: the MAXCOL-No., OUTMODE and
// PMOD callbacks, InitEval, DispVis, TeachDataTo); read by CopyVarsToPP, SetPanelValues,
// InitEval (pmod, outmode) and AutoAdjust (maxcolno).
extern u16 power, pmod, average, evalmode, hold, intlim, maxcolno, outmode, trigger;
// Row r, word c at 5 * r + c. GetPanelValues, CopyPPtoVars, AutoAdjust write; CopyVarsToPP,
// SetPanelValues and the teach plot read.
extern std::array<u16, kTeachRows * kTeachCols> ctt;
extern u16 dataR, dataG, dataB, dataX, dataY, dataINT, dataCOL; // CopyDatatoVars; the
                                                                 // displays, graphs, teach read
extern std::array<double, kHistoryValues> alldata; // SetPanelData; ShowGraph reads
extern u16 source;                                 // DispVis; SetPanelData, ShowGraph read
extern const std::array<double, 16> sicolarr;      // plot colour of each teach-table row

// The nine parameters: their word in pp, their control on the panel and their variable, in
// transfer order. The one list that the frames and the panel values both follow.
struct ParamLink {
    int word;
    int control;
    u16 *variable;
};
extern const std::array<ParamLink, 9> kParamLinks;

} // namespace tintaro
using namespace tintaro;

// ---- Help texts (helptexts.cpp; Latin-1, "\xB5" is the micro sign) ---------------------------
// Shown by the callbacks on a right click; InfoTimeout also by com232, InfoMaxColNo by gui.
extern const char InfoEditConnect[], InfoButtonSend[], InfoButtonGet[], InfoButtonGo[],
    InfoButtonStop[], InfoSelectMEM[], InfoSwitchPara[], InfoSelectSource[], InfoEditEvalmode[],
    InfoButtonResetTable[], InfoButtonTeachDataTo[], InfoButtonApplyFromAll[], InfoButtonZoom[],
    InfoButtonAutoAdjust[], InfoEditMaxcolNo[], InfoEditOutmode[], InfoEditPmod[],
    InfoEditAverage[], InfoEditTrigger[], InfoEditIntlim[], InfoEditHold[], InfoEditNo[],
    InfoRadioInc[], InfoDispX[], InfoDispY[], InfoDispINT[], InfoDispRAW[], InfoDispCOL[],
    InfoDispBars[], InfoStatus[], InfoGraph[], InfoEditPower[], InfoMaxColNo[], InfoTimeout[];
