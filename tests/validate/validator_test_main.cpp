// The validator's tests run checks as trhost does; on Windows a check runs in this program started
// again (check_child.h), so its main, like trhost's, hands such a command line to the check.
#include <gtest/gtest.h>

#include "check_child.h"

int main(int argc, char** argv) {
    if (trhost::validate::IsCheckChild(argc, argv)) return trhost::validate::RunCheckChild(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
