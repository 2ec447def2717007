// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// poll's MQTT publisher on libmosquitto. The client runs its own network thread
// (mosquitto_loop_start): the polling loop only queues messages and never waits for the broker.
#include "cli/mqtt.h"

#include <mosquitto.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>

#include "protocol/protocol.h"

namespace cli {
namespace {

constexpr int kKeepAliveSeconds = 30;
// How long start() waits for the broker's answer before polling regardless, and how long end()
// waits for the last state to leave.
constexpr auto kConnackWait = std::chrono::seconds(5);
constexpr auto kEndWait = std::chrono::seconds(3);
constexpr char kOnline[] = "online";

// The record's fields in the CSV's order, each with its word in the record.
struct Field {
    const char *name;
    int word;
};
constexpr Field kFields[] = {{"x", 3},     {"y", 4},    {"int", 5}, {"red", 0},
                             {"green", 1}, {"blue", 2}, {"cno", 6}};

void AppendEscaped(std::string *out, const std::string &text) {
    out->push_back('"');
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(c);
        } else if (u < 0x20 || u >= 0x7f) {
            // The identification is the sensor's bytes, not necessarily UTF-8: each byte
            // outside printable ASCII stands for itself.
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out->append(esc);
        } else {
            out->push_back(c);
        }
    }
    out->push_back('"');
}

// The first line of `path`, without its line end. False when it cannot be read.
bool ReadPassword(const std::string &path, std::string *password) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::getline(in, *password);
    if (!password->empty() && password->back() == '\r')
        password->pop_back();
    return !in.bad();
}

bool ParsePortNumber(const std::string &text, int *port) {
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int n = std::atoi(text.c_str());
    if (n < 1 || n > 65535)
        return false;
    *port = n;
    return true;
}

} // namespace

bool ParseMqttUrl(const std::string &text, MqttUrl *url) {
    MqttUrl u;
    std::string rest;
    if (text.compare(0, 7, "mqtt://") == 0) {
        rest = text.substr(7);
        u.port = 1883;
    } else if (text.compare(0, 8, "mqtts://") == 0) {
        rest = text.substr(8);
        u.tls = true;
        u.port = 8883;
    } else {
        return false;
    }
    const std::size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return false;
    std::string authority = rest.substr(0, slash);
    u.prefix = rest.substr(slash + 1);
    if (u.prefix.empty() || u.prefix.front() == '/' || u.prefix.back() == '/' ||
        u.prefix.find_first_of("+#") != std::string::npos)
        return false;
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos) {
        u.user = authority.substr(0, at);
        authority.erase(0, at + 1);
        if (u.user.empty())
            return false;
    }
    // [v6 address] or a name or v4 address, each with an optional :PORT.
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos)
            return false;
        u.host = authority.substr(1, close - 1);
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
            if (portText.empty())
                return false;
        }
    } else {
        const std::size_t colon = authority.find(':');
        u.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty())
                return false;
        }
    }
    if (u.host.empty() || (!portText.empty() && !ParsePortNumber(portText, &u.port)))
        return false;
    *url = u;
    return true;
}

std::string RecordJson(double seconds, const std::uint16_t *record) {
    char time[32];
    std::snprintf(time, sizeof time, "%.3f", seconds);
    std::string json = std::string("{\"time\": ") + time;
    for (const Field &f : kFields)
        json += std::string(", \"") + f.name + "\": " + std::to_string(record[f.word]);
    json += "}";
    return json;
}

std::string StateJson(const std::string &state, const std::string &sensor) {
    std::string json = "{\"state\": ";
    AppendEscaped(&json, state);
    if (!sensor.empty()) {
        json += ", \"sensor\": ";
        AppendEscaped(&json, sensor);
    }
    json += "}";
    return json;
}

// What the network thread and the polling loop share. The mutex orders the state's publishing:
// a state set by the loop and the state published again on a reconnect never cross.
struct MqttPublisher::Client {
    mosquitto *mosq = nullptr;
    std::string recordTopic, stateTopic;
    std::string where; // host:port, for messages

    std::mutex mutex;
    std::condition_variable changed;
    std::string state;     // the last state's name; empty: none yet
    std::string stateJson; // and its message
    bool answered = false; // the broker has answered a connect
    int connack = 0;       // its answer
    bool ending = false;
    bool lostSaid = false; // the loss of the broker said on stderr, not yet its return
    int pendingMid = -1;   // the last state end() waits for
    bool pendingSent = false;
    std::atomic<bool> connected{false};

    // With the mutex held.
    void publishState() {
        if (stateJson.empty() || !connected)
            return;
        int mid = 0;
        if (mosquitto_publish(mosq, &mid, stateTopic.c_str(), int(stateJson.size()),
                              stateJson.data(), 1, true) == MOSQ_ERR_SUCCESS) {
            pendingMid = mid;
            pendingSent = false;
        }
    }

    static void OnConnect(mosquitto *, void *obj, int rc) {
        auto *c = static_cast<Client *>(obj);
        std::lock_guard<std::mutex> lock(c->mutex);
        c->answered = true;
        c->connack = rc;
        if (rc == 0) {
            c->connected = true;
            if (c->lostSaid) {
                std::fprintf(stderr, "tintaro-cli: broker %s: connected again\n", c->where.c_str());
                c->lostSaid = false;
            }
            c->publishState();
        } else if (!c->lostSaid) {
            std::fprintf(stderr, "tintaro-cli: broker %s refused the connection: %s\n",
                         c->where.c_str(), mosquitto_connack_string(rc));
            c->lostSaid = true;
        }
        c->changed.notify_all();
    }

    static void OnDisconnect(mosquitto *, void *obj, int rc) {
        auto *c = static_cast<Client *>(obj);
        std::lock_guard<std::mutex> lock(c->mutex);
        c->connected = false;
        if (rc != 0 && !c->ending && !c->lostSaid) {
            std::fprintf(stderr,
                         "tintaro-cli: broker %s: connection lost; polling goes on, "
                         "reconnecting in the background\n",
                         c->where.c_str());
            c->lostSaid = true;
        }
        c->changed.notify_all();
    }

    static void OnPublish(mosquitto *, void *obj, int mid) {
        auto *c = static_cast<Client *>(obj);
        std::lock_guard<std::mutex> lock(c->mutex);
        if (mid == c->pendingMid) {
            c->pendingSent = true;
            c->changed.notify_all();
        }
    }
};

MqttPublisher::MqttPublisher() = default;

MqttPublisher::~MqttPublisher() {
    end();
}

int MqttPublisher::option(const Args &args, std::size_t *i) {
    const std::string &a = args[*i];
    const bool hasValue = *i + 1 < args.size();
    if (a == "--mqtt") {
        if (!hasValue || !ParseMqttUrl(args[*i + 1], &url_))
            return UsageError("poll: --mqtt needs mqtt://[USER@]HOST[:PORT]/PREFIX or mqtts://...");
    } else if (a == "--mqtt-password-file") {
        if (!hasValue || args[*i + 1].empty())
            return UsageError("poll: --mqtt-password-file needs a file name");
        passwordFile_ = args[*i + 1];
    } else if (a == "--mqtt-cafile") {
        if (!hasValue || args[*i + 1].empty())
            return UsageError("poll: --mqtt-cafile needs a file name");
        cafile_ = args[*i + 1];
    } else {
        return -1;
    }
    *i += 1;
    return kOk;
}

int MqttPublisher::start() {
    if (!enabled()) {
        if (!passwordFile_.empty() || !cafile_.empty())
            return UsageError("poll: --mqtt-password-file and --mqtt-cafile need --mqtt");
        return kOk;
    }
    if (!passwordFile_.empty() && url_.user.empty())
        return UsageError(
            "poll: --mqtt-password-file needs a user in the URL (mqtt://USER@HOST/...)");
    if (!cafile_.empty() && !url_.tls)
        return UsageError("poll: --mqtt-cafile needs an mqtts:// URL");
    std::string password;
    if (!passwordFile_.empty() && !ReadPassword(passwordFile_, &password)) {
        std::fprintf(stderr, "tintaro-cli: cannot read the password file %s: %s\n",
                     passwordFile_.c_str(), std::strerror(errno));
        return kUsage;
    }

    mosquitto_lib_init();
    client_ = std::make_unique<Client>();
    Client &c = *client_;
    c.recordTopic = url_.prefix + "/record";
    c.stateTopic = url_.prefix + "/state";
    c.where = url_.host + ":" + std::to_string(url_.port);
    c.mosq = mosquitto_new(nullptr, true, &c);
    if (!c.mosq) {
        std::fprintf(stderr, "tintaro-cli: cannot create the MQTT client\n");
        client_.reset();
        return kUsage;
    }
    mosquitto_int_option(c.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!url_.user.empty())
        mosquitto_username_pw_set(c.mosq, url_.user.c_str(),
                                  passwordFile_.empty() ? nullptr : password.c_str());
    if (url_.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (cafile_.empty())
            rc = mosquitto_int_option(c.mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            rc = mosquitto_tls_set(c.mosq, cafile_.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            std::fprintf(stderr, "tintaro-cli: cannot use the certificate authority %s: %s\n",
                         cafile_.empty() ? "of the system" : cafile_.c_str(),
                         mosquitto_strerror(rc));
            return kUsage;
        }
    }
    const std::string offline = StateJson("offline");
    mosquitto_will_set(c.mosq, c.stateTopic.c_str(), int(offline.size()), offline.data(), 1, true);
    mosquitto_reconnect_delay_set(c.mosq, 1, 30, true);
    mosquitto_connect_callback_set(c.mosq, Client::OnConnect);
    mosquitto_disconnect_callback_set(c.mosq, Client::OnDisconnect);
    mosquitto_publish_callback_set(c.mosq, Client::OnPublish);

    // The first connect is made here, so that a refused certificate ends the command; a broker
    // that cannot be reached is tried again in the background.
    const int rc = mosquitto_connect(c.mosq, url_.host.c_str(), url_.port, kKeepAliveSeconds);
    if (rc == MOSQ_ERR_TLS) {
        std::fprintf(stderr,
                     "tintaro-cli: broker %s: TLS refused (certificate not trusted or not "
                     "for this host)\n",
                     c.where.c_str());
        return kMqttRefused;
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr,
                     "tintaro-cli: broker %s: %s; polling goes on, connecting in the "
                     "background\n",
                     c.where.c_str(),
                     rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
        c.lostSaid = true;
    }
    if (mosquitto_loop_start(c.mosq) != MOSQ_ERR_SUCCESS) {
        std::fprintf(stderr, "tintaro-cli: cannot start the MQTT client's thread\n");
        return kUsage;
    }
    if (rc == MOSQ_ERR_SUCCESS) {
        std::unique_lock<std::mutex> lock(c.mutex);
        c.changed.wait_for(lock, kConnackWait, [&] { return c.answered; });
        if (c.answered && c.connack != 0)
            return kMqttRefused; // said by OnConnect
    }
    return kOk;
}

int MqttPublisher::identify(Link &link) {
    const Block none{};
    if (const int r = link.transact(protocol::kIdentify, none, protocol::kIdentReplyBytes);
        r != kOk) {
        state("no reply");
        return r;
    }
    char ident[protocol::kIdentReplyBytes / 2 + 1];
    protocol::DecodeIdent(link.reply(), ident);
    std::string sensor(ident);
    while (!sensor.empty() && (sensor.back() == ' ' || sensor.back() == '\r' ||
                               sensor.back() == '\n' || sensor.back() == '\t'))
        sensor.pop_back();
    state(kOnline, sensor);
    return kOk;
}

void MqttPublisher::state(const std::string &name, const std::string &sensor) {
    if (!client_)
        return;
    std::lock_guard<std::mutex> lock(client_->mutex);
    client_->state = name;
    client_->stateJson = StateJson(name, sensor);
    client_->publishState();
}

void MqttPublisher::record(double seconds, const std::uint16_t *record) {
    if (!client_ || !client_->connected)
        return;
    const std::string json = RecordJson(seconds, record);
    mosquitto_publish(client_->mosq, nullptr, client_->recordTopic.c_str(), int(json.size()),
                      json.data(), 0, false);
}

void MqttPublisher::end() {
    if (!client_)
        return;
    Client &c = *client_;
    {
        std::unique_lock<std::mutex> lock(c.mutex);
        if (c.state == kOnline || c.state.empty()) {
            c.state = "offline";
            c.stateJson = StateJson("offline");
            c.publishState();
        }
        // The last state must reach the broker before the disconnect: it may have been queued
        // just now.
        if (c.connected && c.pendingMid >= 0)
            c.changed.wait_for(lock, kEndWait, [&] { return c.pendingSent || !c.connected; });
        c.ending = true;
    }
    mosquitto_disconnect(c.mosq);
    mosquitto_loop_stop(c.mosq, false);
    mosquitto_destroy(c.mosq);
    client_.reset();
    mosquitto_lib_cleanup();
}

} // namespace cli
