// What a call prints on standard output.
#pragma once

#include <gtest/gtest.h>

#include <string>

template <typename F>
std::string stdoutOf(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}
