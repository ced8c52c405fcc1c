#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <source_location>
#include <string>
#include <thread>
#include <utility>

// Ends the test program, and every process started under it, when one test
// case runs past its bound, naming the case and the wait it was in, so that a
// wait or a loop that never ends fails within the bound instead of at the test
// runner's timeout. The bound is HALVERN_TEST_CASE_SECONDS (no bound when it
// is unset or 0).
class CaseBound : public ::testing::EmptyTestEventListener {
public:
    explicit CaseBound(std::chrono::seconds bound);
    ~CaseBound() override;
    CaseBound(const CaseBound &) = delete;
    CaseBound &operator=(const CaseBound &) = delete;

    void OnTestStart(const ::testing::TestInfo &test) override;
    void OnTestEnd(const ::testing::TestInfo &test) override;

    // The wait under way (see waitUntil), told when the bound is passed;
    // enterWait answers the wait it is inside of, for leaveWait to restore.
    // Inline, so that the helpers keeping it need not link the entry point.
    static std::optional<std::source_location> enterWait(const std::source_location &where)
    {
        std::lock_guard lock(waitMutex());
        return std::exchange(currentWait(), where);
    }
    static void leaveWait(const std::optional<std::source_location> &outer)
    {
        std::lock_guard lock(waitMutex());
        currentWait() = outer;
    }

private:
    static std::mutex &waitMutex()
    {
        static std::mutex mutex;
        return mutex;
    }
    static std::optional<std::source_location> &currentWait()
    {
        static std::optional<std::source_location> where;
        return where;
    }
    void watch();
    [[noreturn]] void overrun(const std::string &test);

    const std::chrono::seconds m_bound;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::string m_test; // the case under way; empty between cases
    std::chrono::steady_clock::time_point m_since;
    std::uint64_t m_cases = 0; // counts starts and ends, so a repeated case is a new one
    bool m_quit = false;
    std::thread m_watcher;
};
