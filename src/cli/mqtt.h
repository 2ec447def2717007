// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// poll's records and the link's state to an MQTT broker. The broker is never in the polling
// loop's way: publishing only queues a message for the client's own network thread, which also
// reconnects in the background and publishes the state again when the broker is back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "cli/common.h"

namespace cli {

// Where to publish, from mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://...
struct MqttUrl {
    bool tls = false;
    std::string user; // empty: none
    std::string host;
    int port = 0;
    std::string prefix; // topics are PREFIX/record and PREFIX/state
};

// False (url untouched) for anything but a whole URL with a host and a prefix; the prefix holds
// no wildcard (+ #) and neither starts nor ends with '/'.
bool ParseMqttUrl(const std::string &text, MqttUrl *url);

// The JSON for a record (the words as the sensor sends them) at `seconds` since the first
// request: {"time": 12.345, "x": ..., "y": ..., "int": ..., "red": ..., "green": ..., "blue":
// ..., "cno": ...}.
std::string RecordJson(double seconds, const std::uint16_t *record);
// {"state": "<state>"} or, with a sensor, {"state": "<state>", "sensor": "<sensor>"}; both
// escaped (bytes outside printable ASCII as \u00XX), so any identification gives valid JSON.
std::string StateJson(const std::string &state, const std::string &sensor = {});

class MqttPublisher {
public:
    MqttPublisher();
    ~MqttPublisher(); // ends as end() does
    MqttPublisher(const MqttPublisher &) = delete;
    MqttPublisher &operator=(const MqttPublisher &) = delete;

    // Takes args[*i] when it is one of --mqtt URL, --mqtt-password-file FILE, --mqtt-cafile
    // FILE, moving *i past its value. -1: not one of them; kOk; kUsage (said on stderr).
    int option(const Args &args, std::size_t *i);
    bool enabled() const { return !url_.host.empty(); }

    // Checks the options and connects. kOk also when the broker cannot be reached: the client
    // then keeps trying in the background and polling goes on. kUsage for options that do not
    // fit together or a password file that cannot be read; kMqttRefused when the broker refuses
    // the user, the password or the certificate. Every failure said on stderr.
    int start();
    // Identifies the sensor on `link` and publishes the state "online" with its identification,
    // or "no reply". kOk or kNoReply.
    int identify(Link &link);
    // The link's state, retained, and published again after every reconnect.
    void state(const std::string &state, const std::string &sensor = {});
    // One record, QoS 0; dropped while the broker is away.
    void record(double seconds, const std::uint16_t *record);
    // Publishes "offline" unless another state was the last, disconnects and stops the client.
    // Waits for the broker a few seconds at most.
    void end();

private:
    struct Client;
    MqttUrl url_;
    std::string passwordFile_;
    std::string cafile_;
    std::unique_ptr<Client> client_;
};

} // namespace cli
