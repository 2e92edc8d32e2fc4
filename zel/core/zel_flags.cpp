// zel_flags.cpp
