// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2026 The Tintaro developers
//
// Test fixture: the panel after start-up values, with the simulated sensor behind COM1.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QDeadlineTimer>
#include <QTimer>

#include "com232/com232.h"
#include "panel_fixture.h"
#include "platform/serial.h"
#include "sim_device.h"

class LinkTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        InitVars();
        model.setNoise(0.0);
    }
    void TearDown() override {
        timers.clear();
        CloseCom(1);
        AttachComDevice(1, nullptr);
        PanelTest::TearDown();
    }

    // Puts the simulated sensor behind COM1 and runs the port opening with its line check.
    void connect(sensorsim::Faults faults = {}, bool paced = false) {
        device = std::make_unique<sensorsim::SimComDevice>(model, faults, paced);
        device->link().setLog([this](const std::string &line) { traffic.push_back(line); });
        AttachComDevice(1, device.get());
        com = 1;
        InitRS232(com);
    }

    // Order codes of the requests the sensor received, in order.
    std::vector<int> ordersReceived() const {
        std::vector<int> orders;
        for (const auto &line : traffic) {
            const auto rx = line.find(" RX ");
            if (rx != std::string::npos)
                orders.push_back(std::stoi(line.substr(rx + 4)));
        }
        return orders;
    }
    double timeOf(int order, int occurrence = 0) const {
        for (const auto &line : traffic) {
            const auto rx = line.find(" RX ");
            if (rx != std::string::npos && std::stoi(line.substr(rx + 4)) == order &&
                occurrence-- == 0)
                return std::stod(line);
        }
        return -1.0;
    }

    // Runs `action` from the event loop after `ms`, i.e. nested in the polling loop.
    static void later(int ms, std::function<void()> action) {
        QTimer::singleShot(ms, [action = std::move(action)] { action(); });
    }
    // Runs `action` from the event loop once `ready` holds, however long the machine takes to
    // get there; after 30 s it runs anyway, so that a program that never gets there fails the
    // test instead of hanging it. The test's end stops it.
    void when(std::function<bool()> ready, std::function<void()> action) {
        QTimer *timer = timers.emplace_back(std::make_unique<QTimer>()).get();
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout,
                         [timer, ready = std::move(ready), action = std::move(action),
                          giveUp = QDeadlineTimer(30000)] {
                             if (!ready() && !giveUp.hasExpired())
                                 return;
                             timer->stop();
                             action();
                         });
        timer->start();
    }
    long records() const { return device->link().records(); }

    sensorsim::SensorModel model;
    std::unique_ptr<sensorsim::SimComDevice> device;
    std::vector<std::string> traffic;
    std::vector<std::unique_ptr<QTimer>> timers;
};
