// test_buffer.cpp
#include <gtest/gtest.h>
