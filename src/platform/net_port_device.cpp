// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// A serial line carried over TCP by a device server, raw or with telnet COM port control.
#include "platform/private/net_port_device.h"
#include "platform/private/fd_wait.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

namespace platform {

namespace {

// Telnet (RFC 854) and its COM port control option (RFC 2217).
constexpr unsigned char kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                        kSe = 240;
constexpr unsigned char kBinary = 0, kSga = 3, kComPort = 44;
constexpr unsigned char kSetBaud = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                        kSetControl = 5, kPurgeData = 12;
constexpr unsigned char kServerOffset = 100; // a server's answer carries the code plus 100
constexpr unsigned char kParityNone = 1, kStopOne = 1, kNoFlowControl = 1;
// A subnegotiation longer than this is no COM port answer: the rest is dropped.
constexpr std::size_t kMaxSub = 64;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool Accepted(unsigned char opt) {
    return opt == kBinary || opt == kSga || opt == kComPort;
}

// Name resolution with a time-out: getaddrinfo cannot be interrupted, so it runs on a thread
// of its own, which is left to finish alone when the time is up.
struct Lookup {
    std::mutex m;
    std::condition_variable done;
    bool finished = false;
    int result = EAI_AGAIN;
    addrinfo *list = nullptr;
    ~Lookup() {
        if (list)
            ::freeaddrinfo(list);
    }
};

// 0 and the addresses, EAI_AGAIN on time-out, or getaddrinfo's error.
int Resolve(const NetAddress &a, double seconds, std::shared_ptr<Lookup> *out) {
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, host = a.host, service = std::to_string(a.port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *list = nullptr;
        const int r = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::lock_guard<std::mutex> lock(lookup->m);
        lookup->result = r;
        lookup->list = list;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(lookup->m);
    if (!lookup->done.wait_for(lock, std::chrono::duration<double>(seconds),
                               [&] { return lookup->finished; }))
        return EAI_AGAIN;
    *out = lookup;
    return lookup->result;
}

} // namespace

// ---- Addresses -------------------------------------------------------------------------------

bool ParseNetAddress(const std::string &text, NetAddress *out) {
    NetAddress a;
    std::string rest;
    if (text.compare(0, 6, "tcp://") == 0) {
        rest = text.substr(6);
    } else if (text.compare(0, 10, "rfc2217://") == 0) {
        a.telnet = true;
        rest = text.substr(10);
    } else {
        return false;
    }
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return false;
        a.host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos || rest.find(':') != colon)
            return false;
        a.host = rest.substr(0, colon);
    }
    const std::string digits = rest.substr(colon + 1);
    if (a.host.empty() || digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    a.port = std::atoi(digits.c_str());
    if (a.port < 1 || a.port > 65535)
        return false;
    *out = a;
    return true;
}

// ---- Telnet ----------------------------------------------------------------------------------

std::string TelnetCodec::Greeting() {
    const unsigned char g[] = {kIac, kWill, kBinary, kIac, kDo,  kBinary, kIac,    kWill,
                               kSga, kIac,  kDo,     kSga, kIac, kWill,   kComPort};
    return std::string(reinterpret_cast<const char *>(g), sizeof g);
}

std::string TelnetCodec::ComSettings(long baud) {
    const auto sub = [](std::initializer_list<unsigned char> body) {
        std::string s = {char(kIac), char(kSb), char(kComPort)};
        for (unsigned char c : body) {
            s += char(c);
            if (c == kIac)
                s += char(kIac);
        }
        s += char(kIac);
        s += char(kSe);
        return s;
    };
    const auto b = static_cast<unsigned long>(baud);
    return sub({kSetBaud, static_cast<unsigned char>(b >> 24), static_cast<unsigned char>(b >> 16),
                static_cast<unsigned char>(b >> 8), static_cast<unsigned char>(b)}) +
           sub({kSetDataSize, 8}) + sub({kSetParity, kParityNone}) + sub({kSetStopSize, kStopOne}) +
           sub({kSetControl, kNoFlowControl});
}

std::string TelnetCodec::Purge(int which) {
    const unsigned char p[] = {kIac, kSb, kComPort, kPurgeData, static_cast<unsigned char>(which),
                               kIac, kSe};
    return std::string(reinterpret_cast<const char *>(p), sizeof p);
}

std::string TelnetCodec::Escape(const char *data, std::size_t count) {
    std::string out;
    out.reserve(count + 8);
    for (std::size_t i = 0; i < count; ++i) {
        out += data[i];
        if (static_cast<unsigned char>(data[i]) == kIac)
            out += data[i];
    }
    return out;
}

void TelnetCodec::feed(const char *in, std::size_t count, std::string *data, std::string *reply) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        switch (state_) {
        case State::Data:
            if (c == kIac)
                state_ = State::Iac;
            else
                *data += char(c);
            break;
        case State::Iac:
            state_ = State::Data;
            if (c == kIac)
                *data += char(c); // an escaped 0xFF
            else if (c == kWill)
                state_ = State::Will;
            else if (c == kWont)
                state_ = State::Wont;
            else if (c == kDo)
                state_ = State::Do;
            else if (c == kDont)
                state_ = State::Dont;
            else if (c == kSb) {
                sub_.clear();
                state_ = State::Sub;
            }
            // Other commands (NOP, GA, AYT ...) carry nothing for the line.
            break;
        case State::Will:
        case State::Wont:
        case State::Do:
        case State::Dont:
            option(state_, c, reply);
            state_ = State::Data;
            break;
        case State::Sub:
            if (c == kIac)
                state_ = State::SubIac;
            else if (sub_.size() < kMaxSub)
                sub_.push_back(c);
            break;
        case State::SubIac:
            if (c == kSe) {
                subnegotiation();
                state_ = State::Data;
            } else {
                if (sub_.size() < kMaxSub)
                    sub_.push_back(c); // IAC IAC inside: one 0xFF
                state_ = State::Sub;
            }
            break;
        }
    }
}

TelnetCodec::TelnetCodec() {
    // What the greeting offers and asks for is said already.
    for (unsigned char o : {kBinary, kSga, kComPort})
        weSaid_[o] = true;
    theySaid_[kBinary] = theySaid_[kSga] = true;
}

// Each option is answered once: a server that repeats itself, or answers our own offers, gets
// no new answer, so that two sides can never loop.
void TelnetCodec::option(State verb, unsigned char opt, std::string *reply) {
    const auto say = [reply](unsigned char v, unsigned char o) {
        *reply += char(kIac);
        *reply += char(v);
        *reply += char(o);
    };
    switch (verb) {
    case State::Do: // the server asks us to use an option
        if (opt == kComPort)
            com_ = Com::Agreed;
        if (!weSaid_[opt])
            say(Accepted(opt) ? kWill : kWont, opt);
        weSaid_[opt] = true;
        break;
    case State::Dont:
        if (opt == kComPort)
            com_ = Com::Refused;
        if (Accepted(opt) && !weStopped_[opt])
            say(kWont, opt);
        weStopped_[opt] = true;
        break;
    case State::Will: // the server offers an option
        if (!theySaid_[opt])
            say(opt == kBinary || opt == kSga ? kDo : kDont, opt);
        theySaid_[opt] = true;
        break;
    case State::Wont:
        if (!theySaid_[opt])
            say(kDont, opt);
        theySaid_[opt] = true;
        break;
    default:
        break;
    }
}

void TelnetCodec::subnegotiation() {
    if (sub_.size() < 3 || sub_[0] != kComPort)
        return;
    const unsigned char code = sub_[1];
    const unsigned char v = sub_[2];
    switch (code) {
    case kServerOffset + kSetBaud:
        if (sub_.size() >= 6)
            answers_.baud =
                long(sub_[2]) << 24 | long(sub_[3]) << 16 | long(sub_[4]) << 8 | long(sub_[5]);
        break;
    case kServerOffset + kSetDataSize:
        answers_.dataSize = v;
        break;
    case kServerOffset + kSetParity:
        answers_.parity = v;
        break;
    case kServerOffset + kSetStopSize:
        answers_.stopSize = v;
        break;
    case kServerOffset + kSetControl:
        answers_.control = v;
        break;
    default:
        break; // line and modem state notices, purge confirmations, signatures
    }
}

// ---- The device ------------------------------------------------------------------------------

NetPortDevice::NetPortDevice(NetAddress address, long baudRate, std::size_t readBuffer)
    : address_(std::move(address)), baud_(baudRate), cap_(std::max<std::size_t>(readBuffer, 64)) {}

NetPortDevice::~NetPortDevice() {
    lose();
}

int NetPortDevice::open() {
    lose();
    const double deadline = Now() + kConnectTimeout;
    std::shared_ptr<Lookup> lookup;
    const int resolved = Resolve(address_, kConnectTimeout, &lookup);
    if (resolved == EAI_AGAIN)
        return COM_CANNOT_OPEN; // the name server does not answer: try again later
    if (resolved != 0 || !lookup)
        return COM_NO_PORT_FOUND;
    int result = COM_CANNOT_OPEN;
    for (addrinfo *ai = lookup->list; ai && fd_ < 0; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                ai->ai_protocol);
        if (fd < 0)
            continue;
        int ok = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
        if (ok != 0 && errno == EINPROGRESS) {
            const short seen = WaitOn(fd, POLLOUT, deadline - Now());
            int error = 0;
            socklen_t len = sizeof error;
            ok = (seen & POLLOUT) && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 &&
                         error == 0
                     ? 0
                     : -1;
        }
        if (ok != 0) {
            ::close(fd);
            continue;
        }
        // Requests go out whole and at once, not held back for a reply.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fd_ = fd;
        ackAtOnce();
    }
    if (fd_ < 0)
        return result;
    if (address_.telnet && (result = negotiate()) != 0) {
        lose();
        return result;
    }
    return 0;
}

int NetPortDevice::negotiate() {
    const double deadline = Now() + kConnectTimeout;
    if (!sendAll(TelnetCodec::Greeting(), kConnectTimeout))
        return COM_CANNOT_OPEN;
    while (telnet_.comOption() == TelnetCodec::Com::Unknown) {
        if (Now() >= deadline || !receive(deadline - Now(), false))
            return COM_CANNOT_OPEN;
    }
    if (telnet_.comOption() == TelnetCodec::Com::Refused)
        return COM_UNKNOWN_SYSTEM_ERROR;
    if (!sendAll(TelnetCodec::ComSettings(baud_), kConnectTimeout))
        return COM_CANNOT_OPEN;
    const auto answered = [this] {
        const TelnetCodec::ComAnswers &a = telnet_.answers();
        return a.baud >= 0 && a.dataSize >= 0 && a.parity >= 0 && a.stopSize >= 0 && a.control >= 0;
    };
    while (!answered()) {
        if (Now() >= deadline || !receive(deadline - Now(), false))
            return COM_CANNOT_OPEN;
    }
    const TelnetCodec::ComAnswers &a = telnet_.answers();
    if (a.baud != baud_ || a.dataSize != 8 || a.parity != kParityNone || a.stopSize != kStopOne ||
        a.control != kNoFlowControl)
        return COM_UNKNOWN_SYSTEM_ERROR; // the server's port runs otherwise than the sensor
    in_.clear();                         // nothing from before the line was set counts
    return 0;
}

void NetPortDevice::lose() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    in_.clear();
    pendingOut_.clear();
    telnet_ = TelnetCodec{};
}

// A server that does not set TCP_NODELAY (ser2net's default) holds a reply's later bytes until
// its first are acknowledged, and a receiver that delays its acknowledgement (Linux does, some
// 40 ms, once the traffic looks like request and answer) stalls each reply by that much. The
// kernel leaves quick acknowledgement on its own accord, so it is asked for after every read.
void NetPortDevice::ackAtOnce() {
#ifdef TCP_QUICKACK
    const int one = 1;
    if (fd_ >= 0)
        ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof one);
#endif
}

bool NetPortDevice::present() {
    if (fd_ >= 0)
        return true;
    const double now = Now();
    if (now < retryAt_)
        return false;
    if (open() == 0)
        return true;
    retryAt_ = Now() + 1.0; // a server that refuses or does not answer is not asked at once again
    return false;
}

bool NetPortDevice::sendAll(const std::string &bytes, double seconds) {
    const double deadline = Now() + seconds;
    std::size_t done = 0;
    while (fd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += std::size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            lose();
            return false;
        }
        const double left = deadline - Now();
        if (left <= 0)
            return false;
        if (WaitOn(fd_, POLLOUT, left) & (POLLHUP | POLLERR | POLLNVAL)) {
            lose();
            return false;
        }
    }
    return fd_ >= 0 && done == bytes.size();
}

bool NetPortDevice::receive(double seconds, bool untilData) {
    const double deadline = Now() + std::max(seconds, 0.0);
    // Purges not followed by a request yet: the server gets them before anything is awaited.
    if (!sendPending())
        return false;
    for (;;) {
        if (fd_ < 0)
            return false;
        const short seen = WaitOn(fd_, POLLIN, deadline - Now());
        if (seen & (POLLERR | POLLNVAL)) {
            lose();
            return false;
        }
        if (seen & (POLLIN | POLLHUP)) {
            // Bounded: a server that floods cannot grow memory (its TCP window fills instead).
            char buf[512];
            const std::size_t room = cap_ > in_.size() ? cap_ - in_.size() : 0;
            if (room == 0)
                return true;
            const ssize_t n = ::recv(fd_, buf, std::min(sizeof buf, room), 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                lose(); // the server closed the connection
                return false;
            }
            ackAtOnce();
            if (n > 0) {
                if (address_.telnet) {
                    std::string reply;
                    telnet_.feed(buf, std::size_t(n), &in_, &reply);
                    if (!reply.empty() && !sendAll(reply, timeout_))
                        return false;
                } else {
                    in_.append(buf, std::size_t(n));
                }
            }
        }
        if (!in_.empty() || Now() >= deadline || (!untilData && (seen & POLLIN)))
            return true;
        if (!(seen & POLLIN))
            return true; // time is up
    }
}

std::size_t NetPortDevice::write(const char *data, std::size_t count) {
    if (fd_ < 0 || count == 0)
        return 0;
    // The purges of the flush before a request go in the request's packet: the server reads
    // them in the same wake-up, before the request, instead of waking up three times.
    std::string bytes;
    bytes.swap(pendingOut_);
    if (address_.telnet)
        bytes += TelnetCodec::Escape(data, count);
    else
        bytes.append(data, count);
    return sendAll(bytes, timeout_) ? count : 0;
}

bool NetPortDevice::sendPending() {
    if (pendingOut_.empty())
        return fd_ >= 0;
    std::string bytes;
    bytes.swap(pendingOut_);
    return sendAll(bytes, timeout_);
}

std::size_t NetPortDevice::read(char *data, std::size_t max) {
    if (in_.size() < max)
        receive(0);
    const std::size_t n = std::min(max, in_.size());
    std::memcpy(data, in_.data(), n);
    in_.erase(0, n);
    return n;
}

std::size_t NetPortDevice::available() {
    if (in_.empty())
        receive(0);
    return in_.size();
}

double NetPortDevice::nextByteIn() {
    return in_.empty() ? kUnknown : 0.0;
}

bool NetPortDevice::waitForByte(double seconds) {
    if (!in_.empty())
        return true;
    if (fd_ < 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return false;
    }
    receive(seconds);
    return !in_.empty();
}

void NetPortDevice::discardInput() {
    // What is already here is read away, within bounds; the server purges what it holds when
    // the purge reaches it, with the next request or before the next wait.
    for (int i = 0; i < 64 && fd_ >= 0; ++i) {
        in_.clear();
        if (WaitOn(fd_, POLLIN, 0) == 0)
            break;
        receive(0);
    }
    in_.clear();
    holdPurge(1);
}

void NetPortDevice::discardOutput() {
    holdPurge(2);
}

// Once is enough until it has gone out: flushes without a request between them cannot pile up.
void NetPortDevice::holdPurge(int which) {
    const std::string purge = TelnetCodec::Purge(which);
    if (address_.telnet && fd_ >= 0 && pendingOut_.find(purge) == std::string::npos)
        pendingOut_ += purge;
}

double NetPortDevice::quietGapFloor() {
    return ComNetworkQuietGap();
}

} // namespace platform
