// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The application: program entry, start values, the pacing wait and the panel's callbacks.
// The global state is in state.h.
#pragma once

#include "Tintarov10/state.h"

// ---- Entry and start-up ---------------------------------------------------------------------
int WinMain(void *instance, void *previous, char *commandLine, int showMode);
void InitVars();
// Waits until waitdel seconds have passed since transbeg; processes no events meanwhile.
void PacingWait();
// Registers every callback of the panel with the run-time layer (before LoadPanel).
void RegisterPanelCallbacks();

// ---- Callbacks -------------------------------------------------------------------------------
// Every control callback, once: the declarations below and the table of names that binds the
// panel file's callbacks (app.cpp) are both made from this list.
#define TINTARO_CONTROL_CALLBACKS(X)                                                               \
    X(CBF_EditConnect)                                                                             \
    X(CBF_ButtonSend)                                                                              \
    X(CBF_ButtonGet)                                                                               \
    X(CBF_ButtonGo)                                                                                \
    X(CBF_ButtonStop)                                                                              \
    X(CBF_SelectRAM)                                                                               \
    X(CBF_SelectEEPROM)                                                                            \
    X(CBF_SelectFILE)                                                                              \
    X(CBF_ParaVisible)                                                                             \
    X(CBF_SelectSource)                                                                            \
    X(CBF_Evalmode)                                                                                \
    X(CBF_ButtonResetTable)                                                                        \
    X(CBF_ButtonTeachDataTo)                                                                       \
    X(CBF_ButtonApplyFromAll)                                                                      \
    X(CBF_ButtonZoom)                                                                              \
    X(CBF_AutoAdjust)                                                                              \
    X(CBF_GraphData2)                                                                              \
    X(CBF_EditMaxcolNo)                                                                            \
    X(CBF_EditOutmode)                                                                             \
    X(CBF_EditPmod)                                                                                \
    X(CBF_EditAverage)                                                                             \
    X(CBF_EditTrigger)                                                                             \
    X(CBF_EditIntlim)                                                                              \
    X(CBF_EditHold)                                                                                \
    X(CBF_EditNo)                                                                                  \
    X(CBF_RadioInc)                                                                                \
    X(CBF_DispX)                                                                                   \
    X(CBF_DispY)                                                                                   \
    X(CBF_DispINT)                                                                                 \
    X(CBF_DispRAW)                                                                                 \
    X(CBF_DispCOL)                                                                                 \
    X(CBF_DispRED)                                                                                 \
    X(CBF_DispGREEN)                                                                               \
    X(CBF_DispBLUE)                                                                                \
    X(CBF_DispStatus)                                                                              \
    X(CBF_GraphRaw1)                                                                               \
    X(CBF_GraphData1)                                                                              \
    X(CBF_SlidePower)

#define TINTARO_DECLARE_CONTROL_CALLBACK(name)                                                     \
    int name(int panel, int control, int event, void *callbackData, int eventData1,             \
             int eventData2);
TINTARO_CONTROL_CALLBACKS(TINTARO_DECLARE_CONTROL_CALLBACK)
#undef TINTARO_DECLARE_CONTROL_CALLBACK

// The panel's own callback: the close box ends the program.
int CBF_P(int panel, int event, void *callbackData, int eventData1, int eventData2);
