// The fixture most end-to-end tests share: a fresh folder of their own and a
// clock started there, seeded with a "Velmora.cfg" when the test gives one.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "driver.h"

class ClockTest : public ::testing::Test {
protected:
    // Starts the clock and waits for it to show its time; null if it never
    // does.
    HWND StartClock(const LaunchOptions& options = LaunchOptions()) {
        process.reset(new ClockProcess(directory.Path(), options));
        clock = process->Clock();
        return clock;
    }
    HWND StartClock(const std::string& config,
                    const LaunchOptions& options = LaunchOptions()) {
        directory.WriteFile(CONFIG, config);
        return StartClock(options);
    }

    // As the system closes it: the clock ends with its one exit code.
    void ExpectClosesWithExitCode() {
        PostMessageA(clock, WM_CLOSE, 0, 0);
        EXPECT_EQ(EXPECTED_EXIT_CODE, process->WaitForExit());
    }

    TempDirectory directory;
    std::unique_ptr<ClockProcess> process;
    HWND clock = nullptr;
};
