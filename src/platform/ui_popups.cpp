// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Message and file pop-ups, routed through one replaceable handler.
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>

#include "platform/private/ui_private.h"

namespace platform {
namespace {

PopupHandler g_handler;
PopupObserver g_observer = nullptr;

std::string Str(const char *s) {
    return s ? std::string(s) : std::string();
}

// The extension a file filter such as "*.dat" asks for (".dat"), or empty.
std::string FilterExtension(const std::string &filter) {
    const std::size_t star = filter.find("*.");
    if (star == std::string::npos)
        return {};
    std::size_t end = star + 2;
    while (end < filter.size() && filter[end] != ';' && filter[end] != ' ' && filter[end] != ')')
        ++end;
    const std::string ext = filter.substr(star + 1, end - star - 1);
    return ext == ".*" ? std::string() : ext;
}

PopupAnswer ShowMessageBox(const PopupRequest &r) {
    // The message's own line breaks are the layout of the program's texts; a file name has none.
    QMessageBox box(QMessageBox::NoIcon, ShowableText(QString::fromLatin1(r.title.c_str())),
                    ShowableText(QString::fromLatin1(r.message.c_str()), true) +
                        ShowableText(QFile::decodeName(r.path.c_str())),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return PopupAnswer{1, {}};
}

PopupAnswer ShowQuestion(const PopupRequest &r) {
    const bool close = r.buttons == CONFIRM_CLOSE_CANCEL;
    const auto yes = close ? QMessageBox::Close : QMessageBox::Yes;
    const auto no = close ? QMessageBox::Cancel : QMessageBox::No;
    QMessageBox box(QMessageBox::Question, ShowableText(QString::fromLatin1(r.title.c_str())),
                    ShowableText(QFile::decodeName(r.path.c_str())) +
                        ShowableText(QString::fromLatin1(r.message.c_str()), true),
                    yes | no);
    box.setTextFormat(Qt::PlainText);
    // Enter takes the answer that changes nothing; Escape does too.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    return PopupAnswer{box.exec() == yes ? 1 : 0, {}};
}

PopupAnswer ShowFileDialog(const PopupRequest &r) {
    QString dir = QFile::decodeName(r.directory.c_str());
    // An installed program's own folder is not the operator's to write: offer the home folder
    // then, unless the dialog is held to the given folder.
    if (!r.restrictDirectory && !QFileInfo(dir).isWritable())
        dir = QDir::homePath();
    QFileDialog dlg(nullptr, QString::fromLatin1(r.title.c_str()), dir);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setFileMode(QFileDialog::AnyFile); // an existing file or a new name
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    if (!r.filter.empty())
        dlg.setNameFilter(QString::fromLatin1(r.filter.c_str()));
    if (!r.defaultName.empty())
        dlg.selectFile(QFile::decodeName(r.defaultName.c_str()));
    const std::string ext = FilterExtension(r.filter);
    if (r.restrictExtension && !ext.empty())
        dlg.setDefaultSuffix(QString::fromLatin1(ext.c_str() + 1));
    if (!r.allowMakeDirectory)
        dlg.setOption(QFileDialog::ReadOnly);
    if (r.restrictDirectory)
        QObject::connect(&dlg, &QFileDialog::directoryEntered, &dlg, [&dlg, dir](const QString &d) {
            if (d != dir)
                dlg.setDirectory(dir);
        });
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return PopupAnswer{0, {}};
    return PopupAnswer{1, QFile::encodeName(dlg.selectedFiles().first()).toStdString()};
}

QStringList Columns(const std::string &line) {
    return QString::fromUtf8(line.c_str()).split(QLatin1Char('\t'));
}

PopupAnswer ShowList(const PopupRequest &r) {
    QDialog dlg;
    dlg.setWindowTitle(QString::fromLatin1(r.title.c_str()));
    auto *layout = new QVBoxLayout(&dlg);
    auto *list = new QTreeWidget(&dlg);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(Columns(r.header));
    for (const std::string &row : r.rows)
        list->addTopLevelItem(new QTreeWidgetItem(Columns(row))); // item texts are plain text
    if (!r.rows.empty())
        list->setCurrentItem(list->topLevelItem(0));
    list->header()->resizeSections(QHeaderView::ResizeToContents);
    layout->addWidget(list);
    auto *box = new QDialogButtonBox(&dlg);
    int pressed = 0;
    for (std::size_t i = 0; i < r.choices.size(); ++i) {
        QPushButton *b =
            box->addButton(QString::fromLatin1(r.choices[i].c_str()), QDialogButtonBox::ActionRole);
        QObject::connect(b, &QPushButton::clicked, &dlg, [&dlg, &pressed, i] {
            pressed = int(i) + 1;
            dlg.accept();
        });
    }
    QObject::connect(list, &QTreeWidget::itemDoubleClicked, &dlg, [&dlg, &pressed] {
        pressed = 1;
        dlg.accept();
    });
    layout->addWidget(box);
    dlg.resize(900, 420);
    dlg.exec();
    PopupAnswer a{pressed, {}};
    a.row = list->currentItem() ? list->indexOfTopLevelItem(list->currentItem()) : -1;
    return a;
}

PopupAnswer ShowText(const PopupRequest &r) {
    QDialog dlg;
    dlg.setWindowTitle(QString::fromLatin1(r.title.c_str()));
    auto *layout = new QVBoxLayout(&dlg);
    auto *view = new QPlainTextEdit(&dlg);
    view->setReadOnly(true);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view->setPlainText(QString::fromUtf8(r.message.c_str()));
    layout->addWidget(view);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Close, &dlg);
    QObject::connect(box, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    layout->addWidget(box);
    dlg.resize(640, 420);
    dlg.exec();
    return PopupAnswer{1, {}};
}

PopupAnswer Show(const PopupRequest &r) {
    if (g_handler)
        return g_handler(r);
    if (!QApplication::instance())
        return PopupAnswer{UIE_NO_DISPLAY, {}};
    switch (r.kind) {
    case PopupRequest::Message:
        return ShowMessageBox(r);
    case PopupRequest::Question:
        return ShowQuestion(r);
    case PopupRequest::FileSelect:
        return ShowFileDialog(r);
    case PopupRequest::List:
        return ShowList(r);
    case PopupRequest::Text:
        return ShowText(r);
    }
    return PopupAnswer{UIE_BAD_ARGUMENT, {}};
}

PopupAnswer Run(const PopupRequest &r) {
    const PopupObserver observer = g_observer; // the same one hears the open and the close
    if (observer)
        observer(1);
    PopupAnswer a = Show(r);
    if (observer)
        observer(0);
    return a;
}

} // namespace

QString ShowableText(const QString &text, bool keepNewlines) {
    QString out = text;
    for (QChar &c : out) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && !(keepNewlines && u == '\n')) || (u >= 0x7F && u <= 0x9F))
            c = QChar(QChar::ReplacementCharacter);
    }
    return out;
}

QString PlainToolTip(const QString &text) {
    if (text.isEmpty())
        return text;
    // Qt takes a tool tip for rich text when it merely looks like mark-up; escaped inside a
    // paragraph of its own it is shown character for character, on one line.
    return QStringLiteral("<p style='white-space:pre'>") + text.toHtmlEscaped() +
           QStringLiteral("</p>");
}

} // namespace platform

using namespace platform;

void SetPopupHandler(PopupHandler handler) {
    g_handler = std::move(handler);
}

void SetPopupObserver(PopupObserver observer) {
    g_observer = observer;
}

int MessagePopup(const char *title, const char *message) {
    PopupRequest r;
    r.kind = PopupRequest::Message;
    r.title = Str(title);
    r.message = Str(message);
    return Run(r).result;
}

int MessagePopupWithPath(const char *title, const char *message, const char *path) {
    PopupRequest r;
    r.kind = PopupRequest::Message;
    r.title = Str(title);
    r.message = Str(message);
    r.path = Str(path);
    return Run(r).result;
}

int ConfirmPopup(const char *title, const char *path, const char *question, int buttons) {
    if (!question || (buttons != CONFIRM_YES_NO && buttons != CONFIRM_CLOSE_CANCEL))
        return UIE_BAD_ARGUMENT;
    PopupRequest r;
    r.kind = PopupRequest::Question;
    r.title = Str(title);
    r.path = Str(path);
    r.message = question;
    r.buttons = buttons;
    const int result = Run(r).result;
    return result < 0 ? result : (result > 0 ? 1 : 0);
}

int FileSelectPopup(const char *defaultDirectory, const char *defaultFileName,
                    const char *fileTypeList, const char *title, int, int restrictDirectory,
                    int restrictExtension, int allowCancel, int allowMakeDirectory, char *pathOut) {
    if (!pathOut)
        return UIE_BAD_ARGUMENT;
    PopupRequest r;
    r.kind = PopupRequest::FileSelect;
    r.title = Str(title);
    r.directory = Str(defaultDirectory);
    r.defaultName = Str(defaultFileName);
    r.filter = Str(fileTypeList);
    r.restrictDirectory = restrictDirectory;
    r.restrictExtension = restrictExtension;
    r.allowCancel = allowCancel;
    r.allowMakeDirectory = allowMakeDirectory;
    PopupAnswer a = Run(r);
    if (a.result <= 0)
        return a.result;
    if (a.path.empty())
        return UIE_BAD_ARGUMENT;
    const std::string ext = FilterExtension(r.filter);
    if (restrictExtension && !ext.empty()) {
        const bool has = a.path.size() > ext.size() &&
                         QString::fromLocal8Bit(a.path.c_str())
                             .endsWith(QString::fromLatin1(ext.c_str()), Qt::CaseInsensitive);
        if (!has)
            a.path += ext;
    }
    // A cut-off path would name another file; refuse it instead.
    if (a.path.size() >= MAX_PATHNAME_LEN) {
        std::fprintf(stderr, "FileSelectPopup: path longer than %zu bytes refused\n",
                     MAX_PATHNAME_LEN - 1);
        return UIE_OUT_OF_RANGE;
    }
    std::memcpy(pathOut, a.path.c_str(), a.path.size() + 1);
    return 1;
}

int ListPopup(const char *title, const std::string &header, const std::vector<std::string> &rows,
              const std::vector<std::string> &buttons, int *row) {
    if (buttons.empty() || !row)
        return UIE_BAD_ARGUMENT;
    PopupRequest r;
    r.kind = PopupRequest::List;
    r.title = Str(title);
    r.header = header;
    r.rows = rows;
    r.choices = buttons;
    const PopupAnswer a = Run(r);
    *row = a.row >= 0 && a.row < int(rows.size()) ? a.row : -1;
    return a.result;
}

int TextPopup(const char *title, const std::string &text) {
    PopupRequest r;
    r.kind = PopupRequest::Text;
    r.title = Str(title);
    r.message = text;
    return Run(r).result;
}
