#pragma once

// Waiting in GoogleTest tests of Qt code. QTest's QTRY_* macros report a failed wait to QTest's
// own result log, which GoogleTest never reads, and then return from the test: a wait that
// never came true would let the test pass. These wait the same way (running the event loop
// until the condition holds or the time is up) and fail the running GoogleTest test.
//
// Like ASSERT_*, they return from the enclosing function on failure, so they may be used only
// in functions that return void.

#include <gtest/gtest.h>

#include <QTest>

// Waits until `condition` holds, at most `timeout_ms`.
#define WAIT_UNTIL_FOR(condition, timeout_ms)                                            \
  ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, timeout_ms)) \
      << "waited " << (timeout_ms) << " ms for: " #condition
#define WAIT_UNTIL(condition) WAIT_UNTIL_FOR(condition, 5000)

// Waits until `actual` equals `expected`, at most `timeout_ms`, then compares them (so that a
// failure shows both values).
#define WAIT_EQ_FOR(actual, expected, timeout_ms)                              \
  do {                                                                         \
    (void)QTest::qWaitFor([&] { return (actual) == (expected); }, timeout_ms); \
    ASSERT_EQ(actual, expected) << "after waiting " << (timeout_ms) << " ms";  \
  } while (false)
#define WAIT_EQ(actual, expected) WAIT_EQ_FOR(actual, expected, 5000)
