// zel_wchar_string_extract.cpp
