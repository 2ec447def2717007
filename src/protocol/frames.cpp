// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Encoding requests and decoding replies: bare runs of 16-bit words, high byte first.
#include <cstring>

#include "protocol/protocol.h"

namespace protocol {

void EncodeRequest(std::uint16_t sync, unsigned char order, const std::uint16_t *block,
                   std::size_t words, char *out) {
    out[0] = static_cast<char>(sync / 256);
    out[1] = static_cast<char>(sync % 256);
    out[2] = 0;
    out[3] = static_cast<char>(order);
    for (std::size_t i = 0; i < words; ++i) {
        out[4 + 2 * i] = static_cast<char>(block[i] / 256);
        out[5 + 2 * i] = static_cast<char>(block[i] % 256);
    }
}

void DecodeWords(const char *bytes, std::size_t words, std::uint16_t *out) {
    for (std::size_t i = 0; i < words; ++i) {
        // Unsigned bytes: no sign extension anywhere, so 0xFF 0xFF stays 65535.
        const auto hi = static_cast<unsigned char>(bytes[2 * i]);
        const auto lo = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = static_cast<std::uint16_t>(hi * 256u + lo);
    }
}

void DecodeIdent(const char *bytes, char *out) {
    constexpr int kChars = kIdentReplyBytes / 2;
    for (int i = 0; i < kChars; ++i)
        out[i] = bytes[2 * i + 1];
    out[kChars] = '\0';
}

bool EchoesRequest(const char *reply, std::size_t n, const char *request) {
    // Length first: a data record or a block may well begin 00 55 00 05 and still be a reply.
    return n >= std::size_t(kRequestBytes) &&
           std::memcmp(reply, request, std::size_t(kRequestBytes)) == 0;
}

} // namespace protocol
