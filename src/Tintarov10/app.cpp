// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Start-up and shut-down, start values, the panel's close handling and the pacing wait.
#include <iterator>

#include "Tintarov10/Tintarov10.h"
#include "com232/com232.h"
#include "gui/gui.h"
#include "gui/recording.h"
#include "logo/logo.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "platform/ui.h"
#include "status/status.h"

namespace {

#define TINTARO_CALLBACK_ENTRY(fn) {#fn, fn, nullptr},
// The resource binds callbacks by these names.
const CallbackEntry kCallbacks[] = {
    {"CBF_P", nullptr, CBF_P},
    TINTARO_CONTROL_CALLBACKS(TINTARO_CALLBACK_ENTRY)
};
#undef TINTARO_CALLBACK_ENTRY

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
    InstallMenus();
    InitVars();
    if (startcom != com) { // --port COMn
        com = startcom;
        SetCtrlVal(panel, PANEL_COMPORT, com);
    }
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
        // Edits that went nowhere would be lost without a word.
        if (PanelDiffersFromKept() &&
            ConfirmPopup("Tintaro", "",
                         "The panel has changes that are not in the sensor or a file. "
                         "Close anyway?",
                         CONFIRM_CLOSE_CANCEL) != 1)
            return 0;
        poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

void PacingWait() {
    tdiff = 0.0;
    while (waitdel > tdiff) {
        tdiff = Timer() - transbeg;
        // Sleep out the rest rather than spin a core for up to 0.3 s.
        if (waitdel > tdiff)
            Delay(waitdel - tdiff);
    }
}
