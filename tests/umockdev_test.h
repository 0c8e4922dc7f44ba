#pragma once

// The base of the tests that fake the machine's devices with umockdev: a testbed of their own,
// made for each case. They run under umockdev-wrapper (CTest label "hardware-fake"); without it
// they would see the machine's real devices, so they refuse to run.

#include <gtest/gtest.h>
#include <umockdev.h>

#include <cstdlib>
#include <cstring>

namespace mokta::test {

class UmockdevTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* preload = std::getenv("LD_PRELOAD");
    ASSERT_TRUE(preload && std::strstr(preload, "libumockdev-preload"))
        << "run under umockdev-wrapper: without it the test would see the machine's devices";
    bed_ = umockdev_testbed_new();
    ASSERT_TRUE(bed_);
  }
  void TearDown() override {
    if (bed_) g_object_unref(bed_);
  }

  UMockdevTestbed* bed_ = nullptr;
};

}  // namespace mokta::test
