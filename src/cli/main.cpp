// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli: the sensor's identification, parameter block and data records from a shell.
#include <QCoreApplication>

#include "cli/cli.h"

int main(int argc, char **argv) {
    // The serial layer runs on QtCore; no display is needed.
    QCoreApplication app(argc, argv);
    return cli::Run(argc, argv);
}
