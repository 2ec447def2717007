// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
#include "line/scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "line/line.h"
#include "platform/serial.h"
#include "platform/timer.h"
#include "protocol/protocol.h"

namespace line {

namespace {

// COM1..COM16 in either case; 0 for anything else.
int ComNumber(const std::string &s) {
    if (s.size() < 4 || s.size() > 5 ||
        (s.compare(0, 3, "COM") != 0 && s.compare(0, 3, "com") != 0))
        return 0;
    if (s.find_first_not_of("0123456789", 3) != std::string::npos)
        return 0;
    const int n = std::atoi(s.c_str() + 3);
    return n >= 1 && n <= kMaxComPort ? n : 0;
}

ScanResult AskOne(int slot, const ScanTarget &t) {
    ScanResult r;
    if (t.device.empty()) {
        r.outcome = ScanOutcome::NoDevice;
        return r;
    }
    const int opened = OpenComConfig(slot, t.device.c_str(), kBaudRate, 0, 8, 1, 1024, 1024);
    if (opened < 0) {
        r.outcome = opened == COM_NO_PORT_FOUND ? ScanOutcome::NoDevice : ScanOutcome::Busy;
        return r;
    }
    SetComTime(slot, kReplyTimeout);
    SetCTSMode(slot, 0);
    FlushInQ(slot);
    FlushOutQ(slot);
    const std::uint16_t none[protocol::kParaWords] = {};
    char request[protocol::kRequestBytes];
    protocol::EncodeRequest(protocol::kSync, protocol::kIdentify, none, protocol::kParaWords,
                            request);
    char reply[1024];
    const double start = Timer();
    int received = 0;
    if (ComWrt(slot, request, protocol::kRequestBytes) == protocol::kRequestBytes)
        received = WaitAndRead(slot, protocol::kIdentReplyBytes, start, reply, int(sizeof reply));
    CloseCom(slot);
    if (protocol::EchoesRequest(reply, std::size_t(received), request)) {
        r.outcome = ScanOutcome::Echoes;
    } else if (received == protocol::kIdentReplyBytes) {
        char ident[protocol::kIdentReplyBytes / 2 + 1];
        protocol::DecodeIdent(reply, ident);
        r.outcome = ScanOutcome::Identified;
        r.ident = ident;
    }
    return r;
}

} // namespace

std::vector<ScanTarget> DefaultScanTargets() {
    std::vector<ScanTarget> targets;
    for (int n = 1; n <= kMaxComPort; ++n)
        targets.push_back({"COM" + std::to_string(n), ComPortDevice(n), n});
    return targets;
}

bool ParseScanList(const std::string &list, std::vector<ScanTarget> *out) {
    std::vector<ScanTarget> parsed;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = list.find(',', at);
        const std::string item =
            list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        if (item.empty())
            return false;
        if (const int n = ComNumber(item))
            parsed.push_back({"COM" + std::to_string(n), ComPortDevice(n), n});
        else if (item.find('/') != std::string::npos)
            parsed.push_back({item, item, 0});
        else
            return false;
        if (comma == std::string::npos)
            break;
        at = comma + 1;
    }
    out->insert(out->end(), parsed.begin(), parsed.end());
    return true;
}

void ScanPorts(const std::vector<ScanTarget> &targets, std::vector<ScanResult> *results,
               std::atomic<int> *done, const std::atomic<bool> *cancel) {
    results->assign(targets.size(), ScanResult{});
    std::atomic<std::size_t> next{0};
    const int workers = int(std::min<std::size_t>(std::size_t(kScanAtOnce), targets.size()));
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, slot = w + 1] {
            for (std::size_t i; (i = next++) < targets.size();) {
                if (cancel && cancel->load())
                    (*results)[i].outcome = ScanOutcome::Cancelled;
                else
                    (*results)[i] = AskOne(slot, targets[i]);
                if (done)
                    ++*done;
            }
        });
    for (std::thread &t : threads)
        t.join();
}

const char *ScanOutcomeText(ScanOutcome outcome) {
    switch (outcome) {
    case ScanOutcome::Identified:
        return "identified";
    case ScanOutcome::NoReply:
        return "no reply";
    case ScanOutcome::Busy:
        return "busy";
    case ScanOutcome::Echoes:
        return "echoes";
    case ScanOutcome::NoDevice:
        return "no device";
    case ScanOutcome::Cancelled:
        return "cancelled";
    }
    return "no reply";
}

std::string ScanDeviceLabel(const std::string &device) {
    if (device.empty())
        return "-";
    const std::string stable = ComStableName(device);
    return stable.empty() || stable == device ? device : device + " (" + stable + ")";
}

std::string Printable(const std::string &text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7f) {
            out += ch;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", unsigned(c));
            out += hex;
        }
    }
    return out;
}

} // namespace line
