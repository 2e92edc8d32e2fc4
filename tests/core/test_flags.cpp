// test_flags.cpp
#include <gtest/gtest.h>
