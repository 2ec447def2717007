// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
#include "gui/find_sensor.h"

#include "Tintarov10/Tintarov10.h"
#include "Tintarov10/state.h"
#include "line/line.h"
#include "platform/find_sensor.h"
#include "platform/serial.h"
#include "platform/ui.h"

void FindSensor() {
    poll = 0;
    // The dialog asks every port, this one too, and must have it to itself.
    const bool wasOpen = ComPortGone(com) >= 0;
    CloseCom(com);
    const int chosen = FindSensorPopup();
    if (chosen >= 1 && chosen <= kMaxComPort) {
        SetCtrlVal(panel, PANEL_COMPORT, static_cast<u16>(chosen));
        CBF_EditConnect(panel, PANEL_COMPORT, EVENT_COMMIT, nullptr, 0, 0);
        return;
    }
    if (wasOpen && OpenComConfig(com, "", line::kBaudRate, 0, 8, 1, 1024, 1024) == 0) {
        SetComTime(com, line::kReplyTimeout);
        SetCTSMode(com, 0);
    }
}
