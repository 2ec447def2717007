// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Start-up and shut-down, start values, the panel's close handling and the pacing wait.
#include <iterator>

#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"
#include "gui/gui.h"
#include "logo/logo.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

namespace {

#define CTRL_ENTRY(fn)                                                                             \
    { #fn, fn, nullptr }
// The resource binds callbacks by these names.
const CallbackEntry kCallbacks[] = {
    {"CBF_P", nullptr, CBF_P},
    CTRL_ENTRY(CBF_EditConnect),
    CTRL_ENTRY(CBF_ButtonSend),
    CTRL_ENTRY(CBF_ButtonGet),
    CTRL_ENTRY(CBF_ButtonGo),
    CTRL_ENTRY(CBF_ButtonStop),
    CTRL_ENTRY(CBF_SelectRAM),
    CTRL_ENTRY(CBF_SelectEEPROM),
    CTRL_ENTRY(CBF_SelectFILE),
    CTRL_ENTRY(CBF_ParaVisible),
    CTRL_ENTRY(CBF_SelectSource),
    CTRL_ENTRY(CBF_Evalmode),
    CTRL_ENTRY(CBF_ButtonResetTable),
    CTRL_ENTRY(CBF_ButtonTeachDataTo),
    CTRL_ENTRY(CBF_ButtonApplyFromAll),
    CTRL_ENTRY(CBF_ButtonZoom),
    CTRL_ENTRY(CBF_AutoAdjust),
    CTRL_ENTRY(CBF_GraphData2),
    CTRL_ENTRY(CBF_EditMaxcolNo),
    CTRL_ENTRY(CBF_EditOutmode),
    CTRL_ENTRY(CBF_EditPmod),
    CTRL_ENTRY(CBF_EditAverage),
    CTRL_ENTRY(CBF_EditTrigger),
    CTRL_ENTRY(CBF_EditIntlim),
    CTRL_ENTRY(CBF_EditHold),
    CTRL_ENTRY(CBF_EditNo),
    CTRL_ENTRY(CBF_RadioInc),
    CTRL_ENTRY(CBF_DispX),
    CTRL_ENTRY(CBF_DispY),
    CTRL_ENTRY(CBF_DispINT),
    CTRL_ENTRY(CBF_DispRAW),
    CTRL_ENTRY(CBF_DispCOL),
    CTRL_ENTRY(CBF_DispRED),
    CTRL_ENTRY(CBF_DispGREEN),
    CTRL_ENTRY(CBF_DispBLUE),
    CTRL_ENTRY(CBF_DispStatus),
    CTRL_ENTRY(CBF_GraphRaw1),
    CTRL_ENTRY(CBF_GraphData1),
    CTRL_ENTRY(CBF_SlidePower),
};
#undef CTRL_ENTRY

} // namespace

void RegisterPanelCallbacks() {
    RegisterCallbacks(kCallbacks, std::size(kCallbacks));
}

int WinMain(void *instance, void *, char *, int) {
    if (InitRTEEx(instance, nullptr, nullptr) == 0)
        return -1;
    RegisterPanelCallbacks();
    panel = LoadPanel(0, "Tintarov10.uir", PANEL);
    if (panel < 0)
        return -1;
    GetProjectDir(proj_dir);
    StartLinkStatus();
    InitVars();
    InitRS232(com);
    DisplayPanel(panel);
    RunUserInterface();
    CloseCom(com);
    DiscardPanel(panel);
    return 0;
}

void InitVars() {
    anzpara = 90;
    anzdata = 7;
    com = 1;
    sync = 85;
    order = 1;
    target = static_cast<u16>(RAM);
    poll = 0;

    transbeg = Timer();
    waitdel = 0.1;

    for (int i = 0; i < 4096; ++i) {
        xramp[i] = static_cast<u16>(i);
        yramp[i] = static_cast<u16>(4095 - i);
    }

    SetCtrlVal(panel, PANEL_STATUS, "InitVars");
    SetCtrlAttribute(panel, PANEL_GRAPHDATA2, ATTR_ZPLANE_POSITION, 100);
    SetCtrlVal(panel, PANEL_PARAVISIBLE, std::int32_t{1});
    ParaVis();
    DispVis();
    ShowLogo(5);
    GetPanelValues();
}

int CBF_P(int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) {
        poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

void PacingWait() {
    tdiff = 0.0;
    while (waitdel > tdiff)
        tdiff = Timer() - transbeg;
}
