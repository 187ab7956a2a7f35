// What a call prints on standard output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

template <typename F>
std::string stdoutOf(F f) {
    testing::internal::CaptureStdout();
    f();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}
