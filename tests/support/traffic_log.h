// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Reading the simulator's traffic log (--log) in end-to-end tests.
#pragma once

#include <vector>

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

// One frame of the simulator's traffic log.
struct Frame {
    bool rx = false;
    int order = -1; // requests only
    QByteArray bytes;
};

inline std::vector<Frame> ReadLog(const QString &path) {
    std::vector<Frame> frames;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return frames;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 3 || (fields[1] != "RX" && fields[1] != "TX"))
            continue;
        Frame fr;
        fr.rx = fields[1] == "RX";
        int first = 2;
        if (fr.rx)
            fr.order = fields[first++].toInt();
        for (int i = first; i < fields.size(); ++i)
            fr.bytes.append(char(fields[i].toInt(nullptr, 16)));
        frames.push_back(fr);
    }
    return frames;
}

// Order codes of the requests, in order.
inline std::vector<int> Orders(const std::vector<Frame> &frames) {
    std::vector<int> o;
    for (const Frame &f : frames)
        if (f.rx)
            o.push_back(f.order);
    return o;
}
