// Entry point of the Windows test programs: errors go to the test's output, not to message boxes.
#include <gtest/gtest.h>

#include <cstdio>

#include "runtime/window_win.h"

int main(int argc, char** argv) {
    vestrand::SetErrorHandler([](const std::string& message) {
        std::fprintf(stderr, "unhandled error in a window handler: %s\n", message.c_str());
        ADD_FAILURE() << "unhandled error in a window handler: " << message;
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
