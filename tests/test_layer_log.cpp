// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Failed calls of the panel, graph and file parts of the layer are logged in
// "tintaro.platform" with the call, its arguments and the result code, as the serial part's.
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "Tintarov10/panel_ids.h"
#include "panel_fixture.h"
#include "platform/files.h"
#include "platform/graph.h"
#include "platform/ui.h"

namespace {

QStringList g_lines;

void Collect(QtMsgType, const QMessageLogContext &context, const QString &message) {
    if (QLatin1String(context.category) == QLatin1String("tintaro.platform"))
        g_lines << message;
}

class LayerLog : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        QLoggingCategory::setFilterRules(QStringLiteral("tintaro.platform.debug=true"));
        previous = qInstallMessageHandler(Collect);
        g_lines.clear();
    }
    void TearDown() override {
        qInstallMessageHandler(previous);
        QLoggingCategory::setFilterRules(QString());
        PanelTest::TearDown();
    }
    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(LayerLog, FailedPanelGraphAndFileCallsNameTheCallTheArgumentsAndTheCode) {
    QTemporaryDir dir;
    const std::string missing = dir.path().toStdString() + "/missing.dat";
    unsigned short block[90] = {};

    EXPECT_EQ(SetCtrlVal(panel, 4711, 1), UIE_BAD_CONTROL);
    EXPECT_EQ(SetCtrlVal(panel + 100, PANEL_HOLD, 1), UIE_BAD_PANEL);
    EXPECT_EQ(DeleteGraphPlot(panel, 4711, -1, VAL_IMMEDIATE_DRAW), UIE_BAD_CONTROL);
    EXPECT_EQ(FileToArray(missing.c_str(), block, VAL_UNSIGNED_SHORT_INTEGER, 90, 1, 0, 0, 1),
              FILE_CANNOT_OPEN);
    // Calls that succeed log nothing.
    EXPECT_EQ(SetCtrlVal(panel, PANEL_HOLD, 1), 0);

    ASSERT_EQ(g_lines.size(), 4) << g_lines.join('\n').toStdString();
    const QString bad = QString::number(UIE_BAD_CONTROL);
    EXPECT_TRUE(g_lines[0].contains(QString("(panel %1, control 4711) -> %2").arg(panel).arg(bad)))
        << g_lines[0].toStdString();
    EXPECT_TRUE(g_lines[0].startsWith("SetCtrl")) << g_lines[0].toStdString();
    EXPECT_TRUE(g_lines[1].endsWith(QString("-> %1").arg(UIE_BAD_PANEL)));
    EXPECT_TRUE(g_lines[2].startsWith("DeleteGraphPlot(panel")) << g_lines[2].toStdString();
    EXPECT_EQ(g_lines[3], QString("FileToArray(\"%1\", 90 values) -> %2")
                              .arg(QString::fromStdString(missing))
                              .arg(FILE_CANNOT_OPEN));
}
