// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Program entry, global state, control callbacks and help texts of the main panel.
#pragma once

#include <array>
#include <cstdint>

#include "Tintarov10/panel_ids.h"

using u16 = std::uint16_t;
using i16 = std::int16_t;

// The globals live in a namespace of their own only because POSIX declares a function
// named sync(); the using-directive below keeps them plain globals for the program.
namespace tintaro {

// ---- Memory selector ---------------------------------------------------------------------
extern const int RAM;     // 1
extern const int EEPROM;  // 2
extern const int DATFILE; // 3

// ---- Global state (defined once in globals.cpp) --------------------------------------------
extern int panel;
extern u16 poll;   // 1 while the polling loop runs
extern u16 target; // RAM, EEPROM or DATFILE
extern double transbeg, waitdel, tdiff, tstart;
extern u16 com;
extern u16 anzpara, anzdata, sync, order;
extern u16 nBytesW, nBytesR;
extern i16 ret;
extern char szStatus[48];
extern char szWriteBuf[1024];
extern char szReadBuf[1024];
constexpr int kParaWords = 90; // size of pp
constexpr int kDataWords = 7;  // size of databuf
extern std::array<u16, kParaWords> pp;
extern std::array<u16, kDataWords> databuf;
extern u16 power, pmod, average, evalmode, hold, intlim, maxcolno, outmode, trigger;
constexpr int kTeachRows = 15;
constexpr int kTeachCols = 5;
extern std::array<u16, kTeachRows * kTeachCols> ctt; // row r, word c at 5*r + c
extern u16 dataR, dataG, dataB, dataX, dataY, dataINT, dataCOL;
constexpr int kHistoryRecords = 100;
constexpr int kHistoryValues = kHistoryRecords * 7;
extern std::array<double, kHistoryValues> alldata; // oldest record first
extern u16 source;
extern std::array<u16, 4096> xramp, yramp;
extern char proj_dir[260];
extern char file_name[260];
extern const std::array<double, 16> sicolarr;
extern int textIDsoft;

} // namespace tintaro
using namespace tintaro;

// ---- Help texts (Latin-1; "\xB5" is the micro sign) ---------------------------------------
extern const char InfoEditConnect[], InfoButtonSend[], InfoButtonGet[], InfoButtonGo[],
    InfoButtonStop[], InfoSelectMEM[], InfoSwitchPara[], InfoSelectSource[], InfoEditEvalmode[],
    InfoButtonResetTable[], InfoButtonTeachDataTo[], InfoButtonApplyFromAll[], InfoButtonZoom[],
    InfoButtonAutoAdjust[], InfoEditMaxcolNo[], InfoEditOutmode[], InfoEditPmod[],
    InfoEditAverage[], InfoEditTrigger[], InfoEditIntlim[], InfoEditHold[], InfoEditNo[],
    InfoRadioInc[], InfoDispX[], InfoDispY[], InfoDispINT[], InfoDispRAW[], InfoDispCOL[],
    InfoDispBars[], InfoStatus[], InfoGraph[], InfoEditPower[], InfoMaxColNo[], InfoTimeout[];

// ---- Entry and start-up ---------------------------------------------------------------------
int WinMain(void *instance, void *previous, char *commandLine, int showMode);
void InitVars();
// Busy wait until waitdel seconds have passed since transbeg.
void PacingWait();
// Registers every callback of the panel with the run-time layer (before LoadPanel).
void RegisterPanelCallbacks();

// ---- Callbacks ---------------------------------------------------------------------------
#define TINTARO_CTRL_CB(name)                                                                      \
    int name(int panel, int control, int event, void *callbackData, int eventData1, int eventData2)
int CBF_P(int panel, int event, void *callbackData, int eventData1, int eventData2);
TINTARO_CTRL_CB(CBF_EditConnect);
TINTARO_CTRL_CB(CBF_ButtonSend);
TINTARO_CTRL_CB(CBF_ButtonGet);
TINTARO_CTRL_CB(CBF_ButtonGo);
TINTARO_CTRL_CB(CBF_ButtonStop);
TINTARO_CTRL_CB(CBF_SelectRAM);
TINTARO_CTRL_CB(CBF_SelectEEPROM);
TINTARO_CTRL_CB(CBF_SelectFILE);
TINTARO_CTRL_CB(CBF_ParaVisible);
TINTARO_CTRL_CB(CBF_SelectSource);
TINTARO_CTRL_CB(CBF_Evalmode);
TINTARO_CTRL_CB(CBF_ButtonResetTable);
TINTARO_CTRL_CB(CBF_ButtonTeachDataTo);
TINTARO_CTRL_CB(CBF_ButtonApplyFromAll);
TINTARO_CTRL_CB(CBF_ButtonZoom);
TINTARO_CTRL_CB(CBF_AutoAdjust);
TINTARO_CTRL_CB(CBF_GraphData2);
TINTARO_CTRL_CB(CBF_EditMaxcolNo);
TINTARO_CTRL_CB(CBF_EditOutmode);
TINTARO_CTRL_CB(CBF_EditPmod);
TINTARO_CTRL_CB(CBF_EditAverage);
TINTARO_CTRL_CB(CBF_EditTrigger);
TINTARO_CTRL_CB(CBF_EditIntlim);
TINTARO_CTRL_CB(CBF_EditHold);
TINTARO_CTRL_CB(CBF_EditNo);
TINTARO_CTRL_CB(CBF_RadioInc);
TINTARO_CTRL_CB(CBF_DispX);
TINTARO_CTRL_CB(CBF_DispY);
TINTARO_CTRL_CB(CBF_DispINT);
TINTARO_CTRL_CB(CBF_DispRAW);
TINTARO_CTRL_CB(CBF_DispCOL);
TINTARO_CTRL_CB(CBF_DispRED);
TINTARO_CTRL_CB(CBF_DispGREEN);
TINTARO_CTRL_CB(CBF_DispBLUE);
TINTARO_CTRL_CB(CBF_DispStatus);
TINTARO_CTRL_CB(CBF_GraphRaw1);
TINTARO_CTRL_CB(CBF_GraphData1);
TINTARO_CTRL_CB(CBF_SlidePower);
#undef TINTARO_CTRL_CB
