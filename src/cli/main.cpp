// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// tintaro-cli: the sensor's identification, parameter block and data records from a shell.
#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

#include "cli/cli.h"

int main(int argc, char **argv) {
    // The setup sheet is drawn with QtGui, on the offscreen platform: still no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "sheet") == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            QGuiApplication app(argc, argv);
            return cli::Run(argc, argv);
        }
    // The serial layer runs on QtCore; no display is needed.
    QCoreApplication app(argc, argv);
    return cli::Run(argc, argv);
}
