// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Network port names, the telnet side of RFC 2217, and the scan's port lists and escaping.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "line/scan.h"
#include "platform/private/net_port_device.h"

namespace {

using platform::NetAddress;
using platform::ParseNetAddress;
using platform::TelnetCodec;

std::string Bytes(std::initializer_list<int> b) {
    std::string s;
    for (int c : b)
        s += char(c);
    return s;
}

TEST(NetAddress, SchemesHostsAndPorts) {
    NetAddress a;
    ASSERT_TRUE(ParseNetAddress("tcp://10.0.0.7:4001", &a));
    EXPECT_FALSE(a.telnet);
    EXPECT_EQ(a.host, "10.0.0.7");
    EXPECT_EQ(a.port, 4001);
    ASSERT_TRUE(ParseNetAddress("rfc2217://[::1]:2217", &a));
    EXPECT_TRUE(a.telnet);
    EXPECT_EQ(a.host, "::1");
    ASSERT_TRUE(ParseNetAddress("rfc2217://box.plant:65535/", &a));
    EXPECT_EQ(a.port, 65535);
    for (const char *bad : {"tcp://host", "tcp://:4001", "tcp://host:0", "tcp://host:65536",
                            "tcp://host:12x", "udp://host:1", "tcp://::1:5", "/dev/ttyUSB0"})
        EXPECT_FALSE(ParseNetAddress(bad, &a)) << bad;
}

TEST(Telnet, DataIsEscapedAndUnescapedAndCommandsTakenOut) {
    EXPECT_EQ(TelnetCodec::Escape("\x01\xff\x02\xff\xff", 5),
              Bytes({1, 255, 255, 2, 255, 255, 255, 255}));
    TelnetCodec codec;
    std::string data, reply;
    // An escaped 0xFF split across two reads, a NOP, a line-state notice in between.
    const std::string in = Bytes({'A', 255});
    codec.feed(in.data(), in.size(), &data, &reply);
    const std::string rest = Bytes({255, 'B', 255, 241, 255, 250, 44, 106, 0x10, 255, 240, 'C'});
    codec.feed(rest.data(), rest.size(), &data, &reply);
    EXPECT_EQ(data, Bytes({'A', 255, 'B', 'C'}));
    EXPECT_TRUE(reply.empty());
}

TEST(Telnet, NegotiationIsAnsweredOnceAndComAnswersAreRead) {
    TelnetCodec codec;
    std::string data, reply;
    // The server asks for the COM port option and agrees to SGA (both in the greeting: no new
    // answer), asks for ECHO and offers TERMINAL-TYPE (refused), then repeats itself.
    const std::string neg = Bytes({255, 253, 44, 255, 253, 1, 255, 251, 3, 255, 251, 24});
    codec.feed(neg.data(), neg.size(), &data, &reply);
    EXPECT_EQ(codec.comOption(), TelnetCodec::Com::Agreed);
    EXPECT_EQ(reply, Bytes({255, 252, 1, 255, 254, 24}));
    reply.clear();
    codec.feed(neg.data(), neg.size(), &data, &reply);
    EXPECT_TRUE(reply.empty());
    // The server's answers: 19200 baud (0x4B00), 8 bits, no parity, 1 stop bit, no flow control.
    const std::string ans = Bytes({255, 250, 44,  101, 0,   0,   0x4B, 0,   255, 240, 255, 250, 44,
                                   102, 8,   255, 240, 255, 250, 44,   103, 1,   255, 240, 255, 250,
                                   44,  104, 1,   255, 240, 255, 250,  44,  105, 1,   255, 240});
    codec.feed(ans.data(), ans.size(), &data, &reply);
    EXPECT_EQ(codec.answers().baud, 19200);
    EXPECT_EQ(codec.answers().dataSize, 8);
    EXPECT_EQ(codec.answers().parity, 1);
    EXPECT_EQ(codec.answers().stopSize, 1);
    EXPECT_EQ(codec.answers().control, 1);
    EXPECT_TRUE(data.empty());
    // What the client asks for: 19200 as four bytes high first.
    EXPECT_NE(
        TelnetCodec::ComSettings(19200).find(Bytes({255, 250, 44, 1, 0, 0, 0x4B, 0, 255, 240})),
        std::string::npos);
    // A baud rate with an 0xFF byte in it is escaped inside the subnegotiation.
    EXPECT_NE(TelnetCodec::ComSettings(255).find(Bytes({1, 0, 0, 0, 255, 255, 255, 240})),
              std::string::npos);

    TelnetCodec refusing;
    const std::string dont = Bytes({255, 254, 44});
    refusing.feed(dont.data(), dont.size(), &data, &reply);
    EXPECT_EQ(refusing.comOption(), TelnetCodec::Com::Refused);
}

TEST(ScanList, PortsDevicesAndNetworkPorts) {
    std::vector<line::ScanTarget> t;
    ASSERT_TRUE(line::ParseScanList("com3,/dev/ttyUSB0,rfc2217://box:2217", &t));
    ASSERT_EQ(t.size(), 3u);
    EXPECT_EQ(t[0].name, "COM3");
    EXPECT_EQ(t[0].number, 3);
    EXPECT_EQ(t[2].device, "rfc2217://box:2217");
    for (const char *bad : {"", "COM1,", "COM17", "ttyUSB0", "COM1,,COM2"})
        EXPECT_FALSE(line::ParseScanList(bad, &t)) << bad;
    EXPECT_EQ(t.size(), 3u);
    EXPECT_EQ(line::Printable("ID \x1b[2J\\\xe9\n"), "ID \\x1B[2J\\\\\\xE9\\x0A");
}

} // namespace
