// test_wchar_string_extract.cpp
#include <gtest/gtest.h>
