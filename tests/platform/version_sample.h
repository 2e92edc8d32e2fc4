// version_sample.h - the texts and numbers of the sample programs' version
// resource, shared by version_sample.rc and the tests that read them back.
// Only preprocessor definitions: the resource compiler reads it too.
#pragma once

#define VERSION_SAMPLE_FILE_VERSION 1, 2, 3, 4
#define VERSION_SAMPLE_PRODUCT_VERSION 5, 6, 7, 8
#define VERSION_SAMPLE_FILE_OS 0x40004 // Windows NT, 32-bit
#define VERSION_SAMPLE_FILE_TYPE 1     // an application

// The two string tables, by language and code page: US English with Unicode
// (1200), German with Windows-1252.
#define VERSION_SAMPLE_ENGLISH 0x0409, 1200
#define VERSION_SAMPLE_GERMAN 0x0407, 1252

#define VERSION_SAMPLE_COMPANY "Fixwell Test Makers"
#define VERSION_SAMPLE_DESCRIPTION "Version resource sample"
#define VERSION_SAMPLE_FILE_VERSION_TEXT "1.2.3.4"
#define VERSION_SAMPLE_PRODUCT "Fixwell Version Sample"
#define VERSION_SAMPLE_PRODUCT_VERSION_TEXT "5.6.7.8"
#define VERSION_SAMPLE_GERMAN_COMPANY "Prüfmacher für Fixwell"
