// Windows side (tests): the entry of the runner's test binary, which is also its own child
// program.
#include "RunnerChild.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (IsChildInvocation(argc, argv)) {
        return RunChildRole(argc, argv);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
