// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// File -> "Find sensor...": which COM number the sensor is on.
#pragma once

// Stops polling, asks every port for its identification (the dialog), and switches the COM
// port selector to the port the operator picks, exactly as choosing it there by hand does. When
// nothing is picked the port in use is opened again as it was, without a line check.
void FindSensor();
