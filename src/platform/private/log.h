// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The layer's diagnostics: every negative result of a layer call is logged here with the call,
// its arguments and the code. Off by default; QT_LOGGING_RULES="tintaro.platform.debug=true"
// turns it on.
#pragma once

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcPlatform)

namespace platform {

// Logs `code` for `call` when it is negative and returns it unchanged, so a call can end with
// `return Logged(code, "ComRd(%d, %d)", port, count);`.
int Logged(int code, const char *call, ...) Q_ATTRIBUTE_FORMAT_PRINTF(2, 3);

} // namespace platform
