// koravelctl run as a user runs it, against the simulated unit in the test's
// own config folder.
#pragma once

#include "sim/simulator.h"
#include "support/process.h"
#include "support/pty_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class CtlTest : public ::testing::Test {
protected:
    // Starts the unit on o.port, unpaced, in the test's config folder.
    void StartSim(sim::Options o) {
        o.configDir = dir.path();
        o.pace = false;
        simulator = std::make_unique<sim::Simulator>(o);
        std::string error;
        ASSERT_TRUE(simulator->Start(error)) << error;
    }
    testing_support::ProcessResult Ctl(const std::vector<std::string>& args) {
        return testing_support::RunProgram(testing_support::BinPath("koravelctl"), args);
    }

    testing_support::TempConfigDir dir;
    std::unique_ptr<sim::Simulator> simulator;
};
