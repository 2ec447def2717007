// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Control callbacks of the main panel: memory selection, SEND/GET/GO/STOP dispatch, graph
// views, the MAXCOL-No./OUTMODE check, and the help text on a right click.
#include <cstdint>

#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"
#include "gui/gui.h"
#include "gui/teachcheck.h"
#include "platform/graph.h"
#include "platform/serial.h"
#include "platform/ui.h"

namespace {

// Every callback that has a help text shows it on a right click and does nothing else then.
bool ShowHelp(int event, const char *text) {
    if (event != EVENT_RIGHT_CLICK)
        return false;
    MessagePopup("Info", text);
    return true;
}

// Reads MAXCOL-No. and OUTMODE and warns when more colours are checked than the direct
// output modes can signal. The values stay as entered.
void CheckMaxcolNo(int panelHandle) {
    GetCtrlVal(panelHandle, PANEL_MAXCOLNO, &maxcolno);
    GetCtrlVal(panelHandle, PANEL_OUTMODE, &outmode);
    if (maxcolno > 4 && outmode != 1)
        MessagePopup("INFO", InfoMaxColNo);
}


bool SwitchIsOn(int panelHandle, int control) {
    std::int32_t on = 0;
    GetCtrlVal(panelHandle, control, &on);
    return on == 1;
}

// One of the three memory switches changed. Switched on, it selects its memory and the other
// two go off, in the order given; switched off, the selection falls back to RAM, which is
// also how RAM refuses to be switched off.
void SelectMemory(int panelHandle, int own, int memory, int firstOther, int secondOther) {
    if (SwitchIsOn(panelHandle, own)) {
        SetCtrlVal(panelHandle, own, std::int32_t{1});
        target = static_cast<u16>(memory);
        SetCtrlVal(panelHandle, firstOther, std::int32_t{0});
        SetCtrlVal(panelHandle, secondOther, std::int32_t{0});
    } else {
        target = static_cast<u16>(RAM);
        SetCtrlVal(panelHandle, PANEL_SELECT_RAM, std::int32_t{1});
    }
}

} // namespace

int CBF_EditConnect(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoEditConnect) || event != EVENT_COMMIT)
        return 0;
    poll = 0;
    CloseCom(com);
    GetCtrlVal(panelHandle, PANEL_COMPORT, &com);
    SetCtrlVal(panelHandle, PANEL_STATUS, "Init COM-Port ...");
    InitRS232(com);
    return 0;
}

int CBF_ButtonSend(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonSend) || event != EVENT_COMMIT)
        return 0;
    PacingWait();
    if (target == DATFILE)
        SendParaToFile();
    else
        SendPara();
    return 0;
}

int CBF_ButtonGet(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonGet) || event != EVENT_COMMIT)
        return 0;
    PacingWait();
    if (target == DATFILE)
        ReadParaFromFile();
    else
        GetPara();
    return 0;
}

int CBF_ButtonGo(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonGo) || event != EVENT_COMMIT)
        return 0;
    // Polling already runs: a held F11 must not stack one loop per key repeat.
    if (PollingLoopRunning())
        return 0;
    PacingWait();
    DeleteGraphPlot(panelHandle, PANEL_GRAPHDATA1, -1, VAL_IMMEDIATE_DRAW);
    ShowBoundaryLine(panelHandle, PANEL_GRAPHDATA1);
    GetData();
    return 0;
}

int CBF_ButtonStop(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonStop) || event != EVENT_COMMIT)
        return 0;
    poll = 0;
    return 0;
}

int CBF_SelectRAM(int panelHandle, int, int event, void *, int, int) {
    if (!ShowHelp(event, InfoSelectMEM) && event == EVENT_VAL_CHANGED)
        SelectMemory(panelHandle, PANEL_SELECT_RAM, RAM, PANEL_SELECT_EEPROM, PANEL_SELECT_FILE);
    return 0;
}

int CBF_SelectEEPROM(int panelHandle, int, int event, void *, int, int) {
    if (!ShowHelp(event, InfoSelectMEM) && event == EVENT_VAL_CHANGED)
        SelectMemory(panelHandle, PANEL_SELECT_EEPROM, EEPROM, PANEL_SELECT_RAM, PANEL_SELECT_FILE);
    return 0;
}

int CBF_SelectFILE(int panelHandle, int, int event, void *, int, int) {
    if (!ShowHelp(event, InfoSelectMEM) && event == EVENT_VAL_CHANGED)
        SelectMemory(panelHandle, PANEL_SELECT_FILE, DATFILE, PANEL_SELECT_EEPROM,
                     PANEL_SELECT_RAM);
    return 0;
}

int CBF_ParaVisible(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoSwitchPara) || event != EVENT_COMMIT)
        return 0;
    std::int32_t shown = 0;
    GetCtrlVal(panelHandle, PANEL_PARAVISIBLE, &shown);
    if ((shown & 0xFFFF) == 0)
        ParaInVis();
    else
        ParaVis();
    return 0;
}

int CBF_SelectSource(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoSelectSource) || event != EVENT_COMMIT)
        return 0;
    DispVis();
    return 0;
}

int CBF_Evalmode(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoEditEvalmode) || event != EVENT_COMMIT)
        return 0;
    InitEval();
    return 0;
}

int CBF_ButtonResetTable(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonResetTable) || event != EVENT_COMMIT)
        return 0;
    SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    ResetTable();
    return 0;
}

int CBF_ButtonTeachDataTo(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonTeachDataTo) || event != EVENT_COMMIT)
        return 0;
    SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    TeachDataTo();
    CheckAfterTeach();
    return 0;
}

int CBF_ButtonApplyFromAll(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonApplyFromAll) || event != EVENT_COMMIT)
        return 0;
    SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA1, ATTR_ZPLANE_POSITION, 0);
    ApplyFromAll();
    return 0;
}

int CBF_ButtonZoom(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonZoom) || event != EVENT_COMMIT)
        return 0;
    SetAxisScalingMode(panelHandle, PANEL_GRAPHDATA2, VAL_XAXIS, VAL_MANUAL, 0.0, 4096.0);
    SetAxisScalingMode(panelHandle, PANEL_GRAPHDATA2, VAL_LEFT_YAXIS, VAL_MANUAL, 0.0, 4096.0);
    SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 0);
    ShowGraphData2();
    return 0;
}

int CBF_AutoAdjust(int, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoButtonAutoAdjust) || event != EVENT_COMMIT)
        return 0;
    AutoAdjust();
    CheckAfterTeach();
    return 0;
}

int CBF_GraphData2(int panelHandle, int, int event, void *, int, int) {
    if (event == EVENT_VAL_CHANGED)
        ZoomGraphData2();
    else if (event == EVENT_RIGHT_CLICK)
        SetCtrlAttribute(panelHandle, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    return 0;
}

int CBF_EditMaxcolNo(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoEditMaxcolNo) || event != EVENT_COMMIT)
        return 0;
    CheckMaxcolNo(panelHandle);
    MarkActiveRows(panelHandle);
    return 0;
}

int CBF_EditOutmode(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoEditOutmode) || event != EVENT_COMMIT)
        return 0;
    CheckMaxcolNo(panelHandle);
    return 0;
}

int CBF_EditPmod(int panelHandle, int, int event, void *, int, int) {
    if (ShowHelp(event, InfoEditPmod) || event != EVENT_COMMIT)
        return 0;
    GetCtrlVal(panelHandle, PANEL_PMOD, &pmod);
    SetCtrlAttribute(panelHandle, PANEL_POWER, ATTR_DIMMED, pmod == 0 ? 0 : 1);
    return 0;
}

// Controls whose value is only taken when the panel is read: help text only.
#define HELP_ONLY_CALLBACK(name, text)                                                             \
    int name(int, int, int event, void *, int, int) {                                              \
        ShowHelp(event, text);                                                                     \
        return 0;                                                                                  \
    }
HELP_ONLY_CALLBACK(CBF_EditAverage, InfoEditAverage)
HELP_ONLY_CALLBACK(CBF_EditTrigger, InfoEditTrigger)
HELP_ONLY_CALLBACK(CBF_EditIntlim, InfoEditIntlim)
HELP_ONLY_CALLBACK(CBF_EditHold, InfoEditHold)
HELP_ONLY_CALLBACK(CBF_EditNo, InfoEditNo)
HELP_ONLY_CALLBACK(CBF_RadioInc, InfoRadioInc)
HELP_ONLY_CALLBACK(CBF_DispX, InfoDispX)
HELP_ONLY_CALLBACK(CBF_DispY, InfoDispY)
HELP_ONLY_CALLBACK(CBF_DispINT, InfoDispINT)
HELP_ONLY_CALLBACK(CBF_DispRAW, InfoDispRAW)
HELP_ONLY_CALLBACK(CBF_DispCOL, InfoDispCOL)
HELP_ONLY_CALLBACK(CBF_DispRED, InfoDispBars)
HELP_ONLY_CALLBACK(CBF_DispGREEN, InfoDispBars)
HELP_ONLY_CALLBACK(CBF_DispBLUE, InfoDispBars)
HELP_ONLY_CALLBACK(CBF_DispStatus, InfoStatus)
HELP_ONLY_CALLBACK(CBF_GraphRaw1, InfoGraph)
HELP_ONLY_CALLBACK(CBF_GraphData1, InfoGraph)
HELP_ONLY_CALLBACK(CBF_SlidePower, InfoEditPower)
#undef HELP_ONLY_CALLBACK
