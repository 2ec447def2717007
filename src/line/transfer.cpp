// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
#include "line/transfer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace line {

const char *ReplyText(Reply reply) {
    switch (reply) {
    case Reply::kOk:
        return "";
    case Reply::kNone:
        return "no reply";
    case Reply::kIncomplete:
        return "reply incomplete";
    case Reply::kTooLong:
        return "reply too long (stray bytes)";
    case Reply::kEcho:
        return "line echoes the request";
    case Reply::kPortGone:
        return "port gone";
    case Reply::kDiffer:
        return "replies differ";
    }
    return "";
}

Reply ClassifyReply(int received, int expected, const char *reply, const char *request,
                    bool portFailed) {
    if (received == expected)
        return Reply::kOk;
    if (received > 0 && protocol::EchoesRequest(reply, std::size_t(received), request))
        return Reply::kEcho;
    if (received > expected)
        return Reply::kTooLong;
    // Bytes that came before the port failed are still a broken reply from a gone port.
    if (portFailed)
        return Reply::kPortGone;
    return received == 0 ? Reply::kNone : Reply::kIncomplete;
}

bool RecordPlausible(const std::uint16_t *r) {
    const long sum = long(r[0]) + r[1] + r[2];
    // The sensor's own integer formulas; in the dark it has no colour to give and says 0.
    const long x = sum ? long(r[0]) * 4095 / sum : 0;
    const long y = sum ? long(r[1]) * 4095 / sum : 0;
    const long intensity = sum / 3;
    const auto near = [](long expected, std::uint16_t got) {
        return std::labs(expected - long(got)) <= kRecordTolerance;
    };
    const unsigned colour = r[6];
    return near(x, r[3]) && near(y, r[4]) && near(intensity, r[5]) &&
           (colour < unsigned(protocol::kTableRows) || colour == 255);
}

const char *TransferText(Transfer transfer) {
    switch (transfer) {
    case Transfer::kVerified:
        return "verified";
    case Transfer::kNotConfirmed:
        return "not confirmed";
    case Transfer::kDiffers:
        return "differs";
    case Transfer::kRefused:
        return "refused";
    }
    return "";
}

Transfer ReadAgreed(BlockReader &reader, Block *out, Reply *why) {
    Block first{};
    Block second{};
    Reply r = reader.readBlock(&first);
    if (r == Reply::kOk)
        r = reader.readBlock(&second);
    if (r == Reply::kOk && first != second)
        r = Reply::kDiffer;
    *why = r;
    if (r != Reply::kOk)
        return Transfer::kRefused;
    *out = first;
    return Transfer::kVerified;
}

Transfer VerifyWrite(BlockReader &reader, const Block &sent, Block *held, Reply *why) {
    Block first{};
    *why = reader.readBlock(&first);
    if (*why != Reply::kOk)
        return Transfer::kNotConfirmed;
    if (first == sent)
        return Transfer::kVerified;
    Block second{};
    *why = reader.readBlock(&second);
    if (*why != Reply::kOk)
        return Transfer::kNotConfirmed;
    if (second == sent)
        return Transfer::kVerified; // the first reply was hit by noise
    if (second != first) {
        *why = Reply::kDiffer;
        return Transfer::kNotConfirmed;
    }
    *held = first;
    return Transfer::kDiffers;
}

std::string DescribeDifference(const Block &sent, const Block &held, int named) {
    std::string text;
    int n = 0;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == held[i])
            continue;
        if (n == named)
            return text + "; ...";
        char name[32];
        char part[96];
        std::snprintf(part, sizeof part, "%s%zu %s sent %u, sensor holds %u", n ? "; " : "", i,
                      protocol::WordName(int(i), name, sizeof name), unsigned(sent[i]),
                      unsigned(held[i]));
        text += part;
        ++n;
    }
    return text;
}

} // namespace line
