// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Names of the parameter block's words.
#include <cstdio>

#include "protocol/protocol.h"

namespace protocol {

namespace {

// The captions of the panel's parameter controls, in block order.
const char *const kParamNames[kSpareBegin] = {"POWER",  "PMOD",       "AVERAGE",
                                              "EVALMODE", "HOLD",     "INTLIM",
                                              "MAXCOL-No.", "OUTMODE", "TRIGGER"};
const char *const kColumnNames[kTableCols] = {"X", "Y", "CTO", "INT", "ITO"};

} // namespace

const char *WordName(int index, char *out, std::size_t size) {
    if (!out || size == 0)
        return out;
    if (index >= 0 && index < kSpareBegin)
        std::snprintf(out, size, "%s", kParamNames[index]);
    else if (index >= kSpareBegin && index < kTableBegin)
        std::snprintf(out, size, "spare %d", index);
    else if (index >= kTableBegin && index < kParaWords)
        std::snprintf(out, size, "%s row %d", kColumnNames[(index - kTableBegin) % kTableCols],
                      (index - kTableBegin) / kTableCols);
    else
        std::snprintf(out, size, "word %d", index);
    return out;
}

} // namespace protocol
