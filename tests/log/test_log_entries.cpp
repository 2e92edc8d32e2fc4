// test_log_entries.cpp - log entries and the exception hierarchy.
#include "zel_catch.h"
#include "zel_function_trace.h"
#include "zel_simple_log.h"
#include "zel_test_support.h"

TEST(LogEntry, Placeholder) { SUCCEED(); }
