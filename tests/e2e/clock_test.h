// The fixture most end-to-end tests share: a fresh folder of their own and a
// clock started there, seeded with a "Velmora.cfg" when the test gives one.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "driver.h"

// A number read back, and the name a mismatch is reported under.
struct Field {
    const char* name;
    long long expected, actual;
};

inline void ExpectFields(std::initializer_list<Field> fields) {
    for (const Field& field : fields) {
        EXPECT_EQ(field.expected, field.actual) << "field: " << field.name;
    }
}

// A handle or pointer as a number, for a Field.
template <typename Pointer>
long long Address(Pointer pointer) {
    return static_cast<long long>(reinterpret_cast<std::intptr_t>(pointer));
}

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
