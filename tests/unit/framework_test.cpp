#include <gtest/gtest.h>

#include "tr_module_base.h"

TEST(Placeholder, Builds) { SUCCEED(); }
