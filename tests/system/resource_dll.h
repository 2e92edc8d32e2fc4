/* resource_dll.h - the texts and numbers of the resource DLL that the
   resource and message-box tests load, shared by its resource script and
   the tests. */
#ifndef RESOURCE_DLL_H
#define RESOURCE_DLL_H

#define RESOURCE_DLL_TITLE_ID 300
#define RESOURCE_DLL_TITLE "Resource title"
#define RESOURCE_DLL_MESSAGE_ID 301
#define RESOURCE_DLL_MESSAGE "Message from the resource DLL"
/* An id in the block of 300 and 301 that the table leaves out. */
#define RESOURCE_DLL_MISSING_ID 302
/* 1500 characters, more than a 1024-character buffer holds. */
#define RESOURCE_DLL_LONG_ID 310
#define RESOURCE_DLL_LONG_TEXT                                                                     \
  "[01] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[02] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[03] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[04] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[05] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[06] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[07] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[08] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[09] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[10] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[11] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[12] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[13] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[14] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[15] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[16] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[17] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[18] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[19] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[20] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[21] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[22] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[23] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[24] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[25] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[26] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[27] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[28] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[29] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"                                             \
  "[30] abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS"

#define RESOURCE_DLL_FILE_VERSION 3, 1, 4, 159
#define RESOURCE_DLL_FILE_VERSION_TEXT "3.1.4.159"
#define RESOURCE_DLL_DATA_NAME "SAMPLEDATA"
#define RESOURCE_DLL_DATA "named data"

#endif
