// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The "Find sensor" dialog: which COM number the sensor is on.
#pragma once

#include <functional>
#include <string>
#include <vector>

// One port as the dialog lists it.
struct FoundPort {
    int number = 0;     // the COM number, 1..16
    std::string device; // what stands behind it ("-" for nothing), with a USB adapter's stable name
    std::string answer; // the identification as the sensor sent it (Latin-1), or "no reply",
                        // "busy", "echoes", "no device", "cancelled"
    bool sensor = false; // it answered with an identification
};

// A modal dialog that asks COM1 to COM16, as they are mapped, for their identification, a few
// at a time, each with the sensor's reply time-out, and nothing else; a progress bar and Cancel
// meanwhile. Then it lists every port with its device and answer, and the operator picks one
// that answered. Returns the COM number picked (1..16); 0 when cancelled, closed or nothing was
// picked; UIE_NO_DISPLAY when there is no display. It uses the layer's port numbers 1 to 4 for
// the asking: the caller closes its own port first.
int FindSensorPopup();

// Tests script the operator: once the ports were asked, the handler gets the list and returns
// what the dialog would (the number picked or 0). An empty handler restores the dialog.
using FindSensorHandler = std::function<int(const std::vector<FoundPort> &)>;
void SetFindSensorHandler(FindSensorHandler handler);
