// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The layer's logging category.
#include "platform/private/log.h"

#include <QString>

#include <cstdarg>

// Warnings and above only, unless QT_LOGGING_RULES asks for more.
Q_LOGGING_CATEGORY(lcPlatform, "tintaro.platform", QtWarningMsg)

namespace platform {

int Logged(int code, const char *call, ...) {
    if (code < 0 && lcPlatform().isDebugEnabled()) {
        va_list args;
        va_start(args, call);
        const QString text = QString::vasprintf(call, args);
        va_end(args);
        qCDebug(lcPlatform, "%s -> %d", qUtf8Printable(text), code);
    }
    return code;
}

} // namespace platform
