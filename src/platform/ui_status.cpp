// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The status bar under a panel: text fields for state that the panel itself does not show.
#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPointer>
#include <QStatusBar>

#include <cstring>

#include "platform/private/ui_private.h"

namespace platform {
namespace {

// A status field: one line, elided when narrow, the whole text as a tooltip.
class StatusField : public QLabel {
public:
    StatusField(QWidget *parent, Qt::TextElideMode elide) : QLabel(parent), elide_(elide) {
        setTextFormat(Qt::PlainText);
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setMargin(1);
        setIndent(4);
    }
    void setAlert(bool on) {
        if (on == alert_)
            return;
        alert_ = on;
        setAutoFillBackground(on);
        QPalette pal = parentWidget()->palette();
        if (on) {
            pal.setColor(QPalette::Window, QColor(0xFF, 0xC8, 0x3C)); // amber: look here
            pal.setColor(QPalette::WindowText, Qt::black);
        }
        setPalette(pal);
    }
    bool alert() const { return alert_; }
    // Takes a new text; true when its width changed, so that the bar must lay out again.
    bool setFullText(const QString &text) {
        // A count that moves on (same length, only digits changed) keeps the width in a font
        // whose digits are all equally wide: measuring, which shapes the whole text, is spared.
        const bool sameWidth = tabularDigits() && OnlyDigitsDiffer(full_, text);
        full_ = text;
        setToolTip(PlainToolTip(text));
        update();
        if (sameWidth)
            return false;
        const int width = fontMetrics().horizontalAdvance(full_);
        const bool changed = width != width_;
        width_ = width;
        return changed;
    }
    const QString &fullText() const { return full_; }

protected:
    void paintEvent(QPaintEvent *event) override {
        QFrame::paintEvent(event); // the frame, without QLabel's own text
        QPainter painter(this);
        const QRect r = contentsRect().adjusted(indent(), 0, -indent(), 0);
        // A text known to fit is drawn as it is: eliding shapes it once more.
        painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
                         width_ <= r.width() ? full_
                                             : fontMetrics().elidedText(full_, elide_, r.width()));
    }
    QSize sizeHint() const override {
        const int frame = 2 * (frameWidth() + margin() + indent());
        return QSize(width_ + frame + 2,
                     fontMetrics().height() + 2 * (frameWidth() + margin()) + 2);
    }
    QSize minimumSizeHint() const override { return QSize(48, sizeHint().height()); }
    void changeEvent(QEvent *event) override {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange) {
            tabular_ = -1;
            width_ = fontMetrics().horizontalAdvance(full_);
            updateGeometry();
        }
    }

private:
    static bool OnlyDigitsDiffer(const QString &a, const QString &b) {
        if (a.size() != b.size())
            return false;
        const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
        for (qsizetype i = 0; i < a.size(); ++i)
            if (a[i] != b[i] && !(digit(a[i]) && digit(b[i])))
                return false;
        return true;
    }
    bool tabularDigits() {
        if (tabular_ < 0) {
            const QFontMetrics fm = fontMetrics();
            tabular_ = 1;
            for (char c = '1'; c <= '9'; ++c)
                if (fm.horizontalAdvance(QLatin1Char(c)) != fm.horizontalAdvance(QLatin1Char('0')))
                    tabular_ = 0;
        }
        return tabular_ == 1;
    }

    QString full_;
    int tabular_ = -1; // whether the font's digits are equally wide; -1 not yet known
    int width_ = 0;    // of full_ in the field's font
    Qt::TextElideMode elide_;
    bool alert_ = false;
};

// The port and the link give way first (their whole text is in the tooltip); polling, the
// last transfer and the comparison with the sensor keep their width while there is room.
constexpr int kStretch[kStatusFields] = {1, 2, 0, 0, 0, 0};
// The port's device path loses its middle, so that the device's own name stays in sight.
constexpr Qt::TextElideMode kElide[kStatusFields] = {Qt::ElideMiddle, Qt::ElideRight,
                                                     Qt::ElideRight,  Qt::ElideRight,
                                                     Qt::ElideRight,  Qt::ElideRight};

StatusField *Field(int panel, int field, int *error) {
    Panel *p = FindPanel(panel);
    if (!p || !p->frame) {
        *error = UIE_BAD_PANEL;
        return nullptr;
    }
    if (field < 0 || field >= kStatusFields) {
        *error = UIE_BAD_ARGUMENT;
        return nullptr;
    }
    QStatusBar *bar = p->frame->statusBar(); // made on first use
    // The fields of the bar last asked for: a record's count is written many times a second.
    static QPointer<QStatusBar> cachedBar;
    static QPointer<StatusField> cached[kStatusFields];
    if (cachedBar == bar && cached[field]) {
        *error = UIE_NO_ERROR;
        return cached[field];
    }
    const auto fields = bar->findChildren<StatusField *>(QString(), Qt::FindDirectChildrenOnly);
    if (fields.size() < kStatusFields) {
        bar->setSizeGripEnabled(false);
        for (int i = int(fields.size()); i < kStatusFields; ++i) {
            auto *f = new StatusField(bar, kElide[i]);
            f->setObjectName(QStringLiteral("statusField%1").arg(i));
            f->setSizePolicy(kStretch[i] ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                             QSizePolicy::Preferred);
            bar->addWidget(f, kStretch[i]);
        }
    }
    cachedBar = bar;
    for (int i = 0; i < kStatusFields; ++i)
        cached[i] = bar->findChild<StatusField *>(QStringLiteral("statusField%1").arg(i),
                                                  Qt::FindDirectChildrenOnly);
    *error = UIE_NO_ERROR;
    return cached[field];
}

// The note after the fields, made on first use.
StatusField *Note(int panel, int *error) {
    int unused = 0;
    if (!Field(panel, 0, &unused)) { // the fields come first, so the note stays right of them
        *error = UIE_BAD_PANEL;
        return nullptr;
    }
    QStatusBar *bar = FindPanel(panel)->frame->statusBar();
    auto *note =
        bar->findChild<StatusField *>(QStringLiteral("statusNote"), Qt::FindDirectChildrenOnly);
    if (!note) {
        note = new StatusField(bar, Qt::ElideRight);
        note->setObjectName(QStringLiteral("statusNote"));
        bar->addPermanentWidget(note);
        note->hide();
    }
    *error = UIE_NO_ERROR;
    return note;
}

} // namespace
} // namespace platform

using namespace platform;

int SetStatusBarText(int panel, int field, const char *text) {
    int error = 0;
    StatusField *f = Field(panel, field, &error);
    if (!f)
        return error;
    if (!text)
        return UIE_BAD_ARGUMENT;
    const QString s = ShowableText(QString::fromUtf8(text));
    // The bar lays out again only when the text's width changes, not for each new count.
    if (s != f->fullText() && f->setFullText(s))
        f->updateGeometry();
    return UIE_NO_ERROR;
}

int SetStatusBarAlert(int panel, int field, int on) {
    int error = 0;
    StatusField *f = Field(panel, field, &error);
    if (!f)
        return error;
    f->setAlert(on != 0);
    return UIE_NO_ERROR;
}

int GetStatusBarAlert(int panel, int field, int *on) {
    int error = 0;
    StatusField *f = Field(panel, field, &error);
    if (!f)
        return error;
    if (!on)
        return UIE_BAD_ARGUMENT;
    *on = f->alert() ? 1 : 0;
    return UIE_NO_ERROR;
}

int GetStatusBarText(int panel, int field, char *text, std::size_t size) {
    int error = 0;
    StatusField *f = Field(panel, field, &error);
    if (!f)
        return error;
    if (!text || size == 0)
        return UIE_BAD_ARGUMENT;
    const QByteArray bytes = f->fullText().toUtf8();
    const std::size_t n = std::min(std::size_t(bytes.size()), size - 1);
    std::memcpy(text, bytes.constData(), n);
    text[n] = '\0';
    return UIE_NO_ERROR;
}

int SetStatusBarNote(int panel, const char *text, int alert) {
    int error = 0;
    StatusField *note = Note(panel, &error);
    if (!note)
        return error;
    if (!text)
        return UIE_BAD_ARGUMENT;
    note->setFullText(QString::fromUtf8(text));
    note->setAlert(alert != 0 && *text);
    note->setVisible(*text != '\0');
    note->updateGeometry();
    return UIE_NO_ERROR;
}

int GetStatusBarNote(int panel, char *text, std::size_t size, int *alert) {
    int error = 0;
    StatusField *note = Note(panel, &error);
    if (!note)
        return error;
    if (!text || size == 0 || !alert)
        return UIE_BAD_ARGUMENT;
    const QByteArray bytes = note->fullText().toUtf8();
    const std::size_t n = std::min(std::size_t(bytes.size()), size - 1);
    std::memcpy(text, bytes.constData(), n);
    text[n] = '\0';
    *alert = note->alert() ? 1 : 0;
    return UIE_NO_ERROR;
}
