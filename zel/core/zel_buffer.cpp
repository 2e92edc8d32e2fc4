// zel_buffer.cpp
