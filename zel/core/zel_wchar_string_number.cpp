// zel_wchar_string_number.cpp
