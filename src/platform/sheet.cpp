// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup sheet drawn with Qt's own PDF writer.
#include "platform/sheet.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace {

constexpr int kDpi = 300;
constexpr double kPlaneMax = 4095.0;

QString Text(const std::string &s) {
    return QString::fromUtf8(s.c_str(), int(s.size()));
}

QColor Colour(int rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The X/Y plane: the boundary line X + Y = 4095 and each active row's tolerance circle in its
// row colour, named by its row number.
void DrawPlane(QPainter &p, const QRect &box, const SetupSheet &sheet) {
    const auto at = [&box](double x, double y) {
        return QPointF(box.left() + x / kPlaneMax * box.width(),
                       box.bottom() - y / kPlaneMax * box.height());
    };
    p.setPen(QPen(Qt::black, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    p.setPen(QPen(Qt::darkGray, 4));
    p.drawLine(at(0, kPlaneMax), at(kPlaneMax, 0));
    QFont small = p.font();
    small.setPointSize(7);
    p.setFont(small);
    p.setPen(Qt::black);
    for (int v = 0; v <= 4000; v += 1000) {
        p.drawText(QPointF(at(v, 0).x() - 20, box.bottom() + 40), QString::number(v));
        p.drawText(QPointF(box.left() - 110, at(0, v).y() + 10), QString::number(v));
    }
    p.drawText(QPointF(box.right() - 20, box.bottom() + 80), QStringLiteral("X"));
    p.drawText(QPointF(box.left() - 110, box.top() - 20), QStringLiteral("Y"));
    p.setClipRect(box.adjusted(-2, -2, 2, 2));
    for (const SetupSheet::Row &row : sheet.rows) {
        if (!row.active)
            continue;
        const QPointF centre = at(row.words[0], row.words[1]);
        const double rx = row.words[2] / kPlaneMax * box.width();
        const double ry = row.words[2] / kPlaneMax * box.height();
        const QColor c = Colour(row.colour);
        p.setPen(QPen(c, 8));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, rx, ry);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(centre, 14.0, 14.0);
        p.setPen(c);
        p.drawText(centre + QPointF(rx * 0.72 + 12, -ry * 0.72 - 12), QString::number(row.number));
    }
    p.setClipping(false);
}

} // namespace

int WriteSetupSheetPdf(const char *path, const SetupSheet &sheet, std::string *error) {
    if (!path || !*path || !QGuiApplication::instance()) {
        if (error)
            *error = "no file name, or no application for the drawing";
        return -1;
    }
    const QString name = QFile::decodeName(path);
    {
        // QPdfWriter says nothing when it cannot write; try the file first.
        QFile probe(name);
        if (!probe.open(QIODevice::WriteOnly)) {
            if (error)
                *error = probe.errorString().toStdString();
            return -1;
        }
    }
    QPdfWriter pdf(name);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(kDpi);
    pdf.setTitle(QStringLiteral("Tintaro setup sheet"));
    pdf.setCreator(QStringLiteral("Tintaro"));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    QPainter p;
    if (!p.begin(&pdf)) {
        if (error)
            *error = "the PDF cannot be written";
        return -1;
    }
    const int width = p.viewport().width();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSize(16);
    font.setBold(true);
    p.setFont(font);
    int y = 70;
    p.drawText(QPointF(0, y), QStringLiteral("Tintaro setup sheet"));
    y += 40;
    font.setPointSize(9);
    font.setBold(false);
    p.setFont(font);
    const int line = 48;
    for (const auto &[label, value] : sheet.header) {
        y += line;
        p.drawText(QPointF(0, y), Text(label) + QStringLiteral(":"));
        p.drawText(QPointF(420, y), Text(value));
    }
    y += line + 20;
    font.setBold(true);
    p.setFont(font);
    p.drawText(QPointF(0, y), QStringLiteral("Parameters"));
    font.setBold(false);
    p.setFont(font);
    for (const SetupSheet::Parameter &param : sheet.parameters) {
        y += line;
        p.drawText(QPointF(0, y), Text(param.name));
        p.drawText(QPointF(420, y), Text(param.value));
        p.drawText(QPointF(900, y), Text(param.meaning));
    }
    y += line + 20;
    font.setBold(true);
    p.setFont(font);
    p.drawText(QPointF(0, y), QStringLiteral("Colour teach table"));
    y += line;
    p.drawText(QPointF(0, y), QStringLiteral("row"));
    const int colX[5] = {300, 520, 740, 960, 1180};
    for (std::size_t c = 0; c < sheet.columns.size() && c < 5; ++c)
        p.drawText(QPointF(colX[c], y), Text(sheet.columns[c]));
    p.drawText(QPointF(1420, y), QStringLiteral("checked"));
    font.setBold(false);
    p.setFont(font);
    const int tableLine = 42;
    for (const SetupSheet::Row &row : sheet.rows) {
        y += tableLine;
        p.fillRect(QRect(0, y - 28, 36, 30), Colour(row.colour));
        p.setPen(Qt::black);
        p.drawRect(QRect(0, y - 28, 36, 30));
        p.drawText(QPointF(70, y), QString::number(row.number));
        for (int c = 0; c < 5; ++c)
            p.drawText(QPointF(colX[c], y), QString::number(row.words[c]));
        p.drawText(QPointF(1420, y), row.active ? QStringLiteral("active") : QStringLiteral("-"));
    }
    if (sheet.plane) {
        y += 90;
        const int side = std::min(width - 200, p.viewport().height() - y - 120);
        if (side > 200)
            DrawPlane(p, QRect(140, y, side, side), sheet);
    }
    if (!p.end()) {
        if (error)
            *error = "the PDF cannot be written";
        return -1;
    }
    return 0;
}
