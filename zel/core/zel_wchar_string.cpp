// zel_wchar_string.cpp
