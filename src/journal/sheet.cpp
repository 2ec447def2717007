// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// The setup sheet's content.
#include "journal/sheet.h"

#include <cstdio>
#include <ctime>

namespace journal {

const int kRowColours[protocol::kTableRows] = {0x0000FF, 0xFF0000, 0x000000, 0xFF80C0, 0x008000,
                                               0xFFFF00, 0x808000, 0x800080, 0x80FFFF, 0xFF0080,
                                               0x400080, 0xFF00FF, 0x80FF00, 0x408080, 0x800000};

namespace {

struct Ring {
    int word;
    const char *const *names;
    unsigned count;
};

const char *const kPmod[] = {"STAT", "DYN"};
const char *const kEvalmode[] = {"X/Y INT",    "X/Y",        "CONTRAST R",
                                 "CONTRAST G", "CONTRAST B", "X/Y INT CONT"};
const char *const kOutmode[] = {"DIRECT HI", "BINARY", "DIRECT LO"};
const char *const kTrigger[] = {"CONT", "EXT"};
const Ring kRings[] = {{1, kPmod, 2}, {3, kEvalmode, 6}, {7, kOutmode, 3}, {8, kTrigger, 2}};

const char *const kEvalMeaning[] = {
    "colour circle and intensity band",          "colour circle only",
    "red raw value between LL and UL of row 0",  "green raw value between LL and UL of row 0",
    "blue raw value between LL and UL of row 0", "as X/Y INT, measuring continuously",
};

bool IsContrast(unsigned evalmode) {
    return evalmode >= 2 && evalmode <= 4;
}

std::string Format(const char *fmt, unsigned v) {
    char text[96];
    std::snprintf(text, sizeof text, fmt, v);
    return text;
}

std::string Meaning(int word, unsigned v) {
    switch (word) {
    case 0:
        return Format("exposure time %u µs", v);
    case 1:
        return v == 0 ? "exposure time fixed" : v == 1 ? "exposure time tuned to the light" : "";
    case 2:
        return Format("raw signal averaged over %u measurements", v);
    case 3:
        return v < 6 ? kEvalMeaning[v] : "a mode the panel does not list";
    case 4:
        return Format("outputs held at least %u ms", v);
    case 5:
        return Format("no colour evaluated below intensity %u", v);
    case 6:
        if (v == 0)
            return "no table row checked";
        return v == 1 ? "table row 0 checked" : Format("table rows 0 to %u checked", v - 1);
    case 7:
        return v == 1   ? "colour number in binary on the outputs"
               : v == 0 ? "detected colour's output high (rows 0-3)"
               : v == 2 ? "detected colour's output low (rows 0-3)"
                        : "";
    case 8:
        return v == 0 ? "measures continuously" : v == 1 ? "measures on an external trigger" : "";
    default:
        return "";
    }
}

} // namespace

std::string RingText(int word, unsigned value) {
    for (const Ring &r : kRings)
        if (r.word == word)
            return value < r.count ? r.names[value] : std::to_string(value) + " (?)";
    return std::to_string(value);
}

std::string UtcNow() {
    char when[40];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return when;
}

SetupSheet MakeSheet(const Words &w, const SheetSource &from) {
    SetupSheet s;
    s.header = {{"Sensor", from.sensor.empty() ? "not identified" : from.sensor},
                {"Block from", from.source},
                {"Journal entry", from.entry.empty() ? "none" : from.entry},
                {"Printed", from.date},
                {"By", from.user}};
    for (int i = 0; i < protocol::kSpareBegin; ++i) {
        char name[32];
        protocol::WordName(i, name, sizeof name);
        std::string value = RingText(i, w[std::size_t(i)]);
        if (value.find_first_not_of("0123456789") != std::string::npos && value.back() != ')')
            value = std::to_string(w[std::size_t(i)]) + " " + value;
        s.parameters.push_back({name, value, Meaning(i, w[std::size_t(i)])});
    }
    const bool contrast = IsContrast(w[3]);
    s.columns = contrast ? std::vector<std::string>{"UL", "LL", "", "", ""}
                         : std::vector<std::string>{"X", "Y", "CTO", "INT", "ITO"};
    const unsigned active = w[6];
    for (int r = 0; r < protocol::kTableRows; ++r) {
        SetupSheet::Row row;
        row.number = r;
        for (int c = 0; c < protocol::kTableCols; ++c)
            row.words[c] = w[std::size_t(protocol::kTableBegin + r * protocol::kTableCols + c)];
        row.active = contrast ? r == 0 : unsigned(r) < active;
        row.colour = kRowColours[r];
        s.rows.push_back(row);
    }
    s.plane = !contrast;
    return s;
}

} // namespace journal
