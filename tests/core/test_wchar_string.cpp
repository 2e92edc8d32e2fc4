// test_wchar_string.cpp
#include <gtest/gtest.h>
