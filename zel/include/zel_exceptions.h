// zel_exceptions.h - the framework's exception and warning classes.
//
// Each class is named after the failing call or object and carries a fixed
// message. Its constructor takes, in order: the texts (or numbers) for the
// message's placeholders, the error code when the class records one, the
// class and method names for the registry classes, then source file, line,
// output mask, log now and log on destroy, except where a class fixes some
// of the last three. A placeholder argument that is null prints "Unknown".
#pragma once

#include "zel_log_entries.h"

#define ZEL_UNPACK(...) __VA_ARGS__

// The trailing parameters most classes take, and how they are passed on.
#define ZEL_TAIL_PARAMS                                                                            \
  const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType, bool bLogNow,           \
      bool bLogOnDestroy
#define ZEL_TAIL_ARGS pszSourceFile, ulLine, wOutputType, bLogNow, bLogOnDestroy
#define ZEL_TAIL_PARAMS_NO_DESTROY                                                                 \
  const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, ZEL_WORD wOutputType, bool bLogNow
#define ZEL_TAIL_ARGS_NO_DESTROY pszSourceFile, ulLine, wOutputType, bLogNow, false

// Defines one class. Params is its parameter list; Value, Kind, Module and
// Function what it records; Tail the (source, line, mask, now, destroy)
// arguments; the rest the placeholder arguments.
#define ZEL_LOG_CLASS(Name, Base, Message, Params, Value, Kind, Module, Function, Tail, ...)       \
  class Name : public Base {                                                                       \
  public:                                                                                          \
    static constexpr const ZEL_USHORT *MESSAGE = Message;                                          \
    explicit Name Params : Base(Formatted{}, MESSAGE, Value, Kind, Module, Function,               \
                                ZEL_UNPACK Tail __VA_OPT__(, ) __VA_ARGS__) {}                     \
  };

// The common shapes.
#define ZEL_ERROR_CLASS(Name, Base, Message, Kind)                                                 \
  ZEL_LOG_CLASS(Name, Base, Message, (ZEL_LONG lError, ZEL_TAIL_PARAMS), lError, Kind, nullptr,    \
                nullptr, (ZEL_TAIL_ARGS))
#define ZEL_FIXED_CLASS(Name, Base, Message, Value)                                                \
  ZEL_LOG_CLASS(Name, Base, Message, (ZEL_TAIL_PARAMS), Value, 0, nullptr, nullptr, (ZEL_TAIL_ARGS))
#define ZEL_TEXT_FIXED_CLASS(Name, Base, Message, Value)                                           \
  ZEL_LOG_CLASS(Name, Base, Message, (const ZEL_USHORT *pszArg1, ZEL_TAIL_PARAMS), Value, 0,       \
                nullptr, nullptr, (ZEL_TAIL_ARGS), pszArg1)
#define ZEL_TEXT_ERROR_CLASS(Name, Base, Message)                                                  \
  ZEL_LOG_CLASS(Name, Base, Message,                                                               \
                (const ZEL_USHORT *pszArg1, ZEL_LONG lError, ZEL_TAIL_PARAMS), lError, 0, nullptr, \
                nullptr, (ZEL_TAIL_ARGS), pszArg1)
#define ZEL_TEXT2_ERROR_CLASS(Name, Base, Message)                                                 \
  ZEL_LOG_CLASS(                                                                                   \
      Name, Base, Message,                                                                         \
      (const ZEL_USHORT *pszArg1, const ZEL_USHORT *pszArg2, ZEL_LONG lError, ZEL_TAIL_PARAMS),    \
      lError, 0, nullptr, nullptr, (ZEL_TAIL_ARGS), pszArg1, pszArg2)
// Registry classes also record the class and method names as module and function.
#define ZEL_REG_PARAMS const ZEL_USHORT *pszModule, const ZEL_USHORT *pszFunction
#define ZEL_REG_TEXT_ERROR_CLASS(Name, Base, Message, Kind)                                        \
  ZEL_LOG_CLASS(Name, Base, Message,                                                               \
                (const ZEL_USHORT *pszArg1, ZEL_LONG lError, ZEL_REG_PARAMS, ZEL_TAIL_PARAMS),     \
                lError, Kind, pszModule, pszFunction, (ZEL_TAIL_ARGS), pszArg1)
#define ZEL_REG_TEXT2_ERROR_CLASS(Name, Base, Message, Kind)                                       \
  ZEL_LOG_CLASS(Name, Base, Message,                                                               \
                (const ZEL_USHORT *pszArg1, const ZEL_USHORT *pszArg2, ZEL_LONG lError,            \
                 ZEL_REG_PARAMS, ZEL_TAIL_PARAMS),                                                 \
                lError, Kind, pszModule, pszFunction, (ZEL_TAIL_ARGS), pszArg1, pszArg2)

// ---- Memory, buffers and arguments -----------------------------------------
ZEL_ERROR_CLASS(CZELUnhandledExceptionException, CZELLogException1,
                u"An unhandled exception occurred", 0)
ZEL_TEXT_FIXED_CLASS(CZELMemAllocException, CZELLogException1, u"Unable to allocate memory ( %s )",
                     -1)
ZEL_TEXT_FIXED_CLASS(CMemDestroyFailWarning, CZELLogWarning, u"Unable to free memory ( %s )", -1)
ZEL_FIXED_CLASS(CZELSecureBufferInitException, CZELLogException1,
                u"CZELSecureBuffer object failed to initialize", -1)
ZEL_ERROR_CLASS(CZELHeapAllocException, CZELLogException1, u"HeapAlloc call failed", 0)
// Written when the thrown object is destroyed: mask 1, log now false.
ZEL_LOG_CLASS(CZELBufferInitException, CZELLogException1, u"Unable to initialize CZELBuffer",
              (const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, bool bLogOnDestroy), -1, 0,
              nullptr, nullptr, (pszSourceFile, ulLine, 1, false, bLogOnDestroy))
#define ZEL_MEMORY_CLASS(Name, Message)                                                            \
  ZEL_LOG_CLASS(                                                                                   \
      Name, CZELLogException1, Message,                                                            \
      (ZEL_LONG lError, const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, bool bLogOnDestroy),    \
      lError, 0, nullptr, nullptr, (pszSourceFile, ulLine, 1, false, bLogOnDestroy))
ZEL_MEMORY_CLASS(CZELMemoryCopyException, u"memcpy() function failed")
ZEL_MEMORY_CLASS(CZELMemorySetException, u"memset() function failed")
ZEL_MEMORY_CLASS(CZELMemoryCompareException, u"memcmp() function failed")
ZEL_LOG_CLASS(CZELIndexOutOfBoundsException, CZELLogException1, u"Index out of array bounds",
              (const ZEL_USHORT *pszSourceFile, ZEL_ULONG ulLine, bool bLogNow), -1, 0, nullptr,
              nullptr, (pszSourceFile, ulLine, 1, bLogNow, false))
ZEL_LOG_CLASS(CZELBadArgException, CZELLogException1, u"A bad argument was provided ( %s ). %s",
              (const ZEL_USHORT *pszArgument, const ZEL_USHORT *pszReason, ZEL_TAIL_PARAMS), 0, 0,
              nullptr, nullptr, (ZEL_TAIL_ARGS), pszArgument, pszReason)
ZEL_LOG_CLASS(CBadValueException, CZELLogException1, u"Variable %s value of %s is %s",
              (const ZEL_USHORT *pszVariable, const ZEL_USHORT *pszValue,
               const ZEL_USHORT *pszVerdict, ZEL_LONG lError, ZEL_TAIL_PARAMS),
              lError, 0, nullptr, nullptr, (ZEL_TAIL_ARGS), pszVariable, pszValue, pszVerdict)
ZEL_FIXED_CLASS(CZELUnknownVariableNameException, CZELLogException1,
                u"The environment variable name has not been initialized", -1)
ZEL_ERROR_CLASS(CZELSetEnvironmentVariableException, CZELLogException1,
                u"SetEnvironmentVariable call failed.", 0)

// ---- Files and directories --------------------------------------------------
ZEL_FIXED_CLASS(CZELFileInitException, CZELLogException1, u"CZELFile object failed to initialize",
                -1)
ZEL_TEXT_FIXED_CLASS(CZELInvalidFileException, CZELLogException1,
                     u"The specified file, %s, is invalid.", -1)
ZEL_TEXT_FIXED_CLASS(CZELFileOpenException, CZELLogException1,
                     u"The specified file, %s, cannot be opened.", -1)
ZEL_ERROR_CLASS(CZELFileReadException, CZELLogException1, u"Unable to read from file", 0)
ZEL_TEXT_FIXED_CLASS(CZELFileWriteException, CZELLogException1, u"Unable to write %s to file", -1)
ZEL_ERROR_CLASS(CZELGetFileVersionInfoSizeException, CZELLogException1,
                u"Error in call to GetFileVersionInfoSize", 0)
ZEL_ERROR_CLASS(CZELGetFileVersionInfoException, CZELLogException1,
                u"Error in call to GetFileVersionInfo", 0)
ZEL_ERROR_CLASS(CZELVerQueryValueException, CZELLogException1, u"Error in call to VerQueryValue", 0)
ZEL_FIXED_CLASS(CZELDirectoryInitException, CZELLogException1,
                u"CZELDirectory object failed to initialize", -1)
ZEL_TEXT_ERROR_CLASS(CZELCreateDirectoryException, CZELLogException1,
                     u"CreateDirectory call failed for path:%s")
ZEL_LOG_CLASS(CZELSHGetFolderPathException, CZELLogException1, u"SHGetFolderPath call has failed",
              (ZEL_LONG lError, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0, nullptr, nullptr,
              (ZEL_TAIL_ARGS_NO_DESTROY))

// ---- Registry and profile files ----------------------------------------------
ZEL_LOG_CLASS(CZELRegKeyInitException, CZELLogException1,
              u"CZELRegistryKey object failed to initialize", (ZEL_REG_PARAMS, ZEL_TAIL_PARAMS), -1,
              0, pszModule, pszFunction, (ZEL_TAIL_ARGS))
ZEL_REG_TEXT_ERROR_CLASS(CZELRegKeyCreateException, CZELLogException1,
                         u"Unable to create registry key ( \"%s\" )", 1)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegKeyDeleteException, CZELLogException1,
                         u"Unable to delete registry key ( \"%s\" )", 0)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegEnumKeyException, CZELLogException1,
                         u"Unable to enumerate subkeys from key ( \"%s\" )", 0)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegEnumValueException, CZELLogException1,
                         u"Unable to enumerate values from key ( \"%s\" )", 0)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegQueryInfoKeyException, CZELLogException1,
                         u"Unable to query info on registry key ( \"%s\" )", 1)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegQueryMultipleValuesException, CZELLogException1,
                         u"Unable to query multiple values from registry key ( \"%s\" )", 1)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegSaveKeyException, CZELLogException1,
                         u"Unable to save registry key ( \"%s\" )", 1)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegRestoreKeyException, CZELLogException1,
                         u"Unable to load registry key ( \"%s\" )", 1)
ZEL_LOG_CLASS(CZELSHCopyKeyException, CZELLogException1, u"Could not copy key",
              (ZEL_LONG lError, ZEL_REG_PARAMS, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0, pszModule,
              pszFunction, (ZEL_TAIL_ARGS_NO_DESTROY))
ZEL_REG_TEXT2_ERROR_CLASS(CZELRegValueSetException, CZELLogException1,
                          u"Unable to Set registry value ( \"%s\\%s\" )", 1)
ZEL_REG_TEXT2_ERROR_CLASS(CZELRegValueDeleteException, CZELLogException1,
                          u"Unable to delete registry value ( \"%s\\%s\" )", 1)
// Only ever caught: reading a value reports failure through its result.
ZEL_REG_TEXT2_ERROR_CLASS(CZELRegValueQueryException, CZELLogException1,
                          u"Unable to query registry value ( \"%s\\%s\" )", 1)
ZEL_LOG_CLASS(CZELRegKeyAlreadyOpenWarning, CZELLogWarning, u"Registry key is already open ( %s )",
              (const ZEL_USHORT *pszArg1, ZEL_REG_PARAMS, ZEL_TAIL_PARAMS), -1, 1, pszModule,
              pszFunction, (ZEL_TAIL_ARGS), pszArg1)
ZEL_REG_TEXT_ERROR_CLASS(CZELRegCloseKeyWarning, CZELLogWarning,
                         u"Unable to close registry key ( %s )", 0)
ZEL_TEXT_ERROR_CLASS(CZELWritePrivateProfileSectionException, CZELLogException1,
                     u"Unable to write profile section ( section: %s )")
ZEL_TEXT2_ERROR_CLASS(CZELWritePrivateProfileStringException, CZELLogException1,
                      u"Unable to write profile string ( section: %s, key name: %s )")

// ---- System, product and user information -------------------------------------
ZEL_FIXED_CLASS(CZELWindowsOSInfoInitNeededException, CZELLogException1,
                u"CZELWindowsOSInfo construction failed. Cannot call member functions.", -1)
ZEL_LOG_CLASS(CZELGetPolicySettingWarning, CZELLogWarning,
              u"Could not find policy setting with ID ( %d )",
              (ZEL_ULONG ulPolicyId, ZEL_TAIL_PARAMS), 0, 0, nullptr, nullptr, (ZEL_TAIL_ARGS),
              ulPolicyId)
ZEL_FIXED_CLASS(CZELPolicySourceNotSupportedException, CZELLogException1,
                u"Policy source is not supported.", -1)
// Records the class and method names as module and function, like the
// registry classes.
ZEL_REG_TEXT_ERROR_CLASS(CZELSIgetHostNameException, CZELLogException1,
                         u"Unable to obtain Windows computer name.  %s", 0)
ZEL_TEXT_ERROR_CLASS(CZELSIgetMachineNameException, CZELLogException1,
                     u"Unable to obtain Windows computer name.  %s")
ZEL_TEXT2_ERROR_CLASS(CZELSIgetStoragePathException, CZELLogException1,
                      u"Unable to obtain Windows shell folder path for folder ( \"%s\" ).  %s")
ZEL_FIXED_CLASS(CZELUserInfoInitException, CZELLogException1,
                u"CZELUserInfo object failed to initialize", -1)
ZEL_LOG_CLASS(CZELNetUserEnumException, CZELLogException1, u"Unable to enumerate users ( net api )",
              (ZEL_LONG lError, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0, nullptr, nullptr,
              (ZEL_TAIL_ARGS_NO_DESTROY))
ZEL_ERROR_CLASS(CZELNetQueryDisplayInformationException, CZELLogException1,
                u"NetQueryDisplayInformation call failed", 0)
ZEL_TEXT_ERROR_CLASS(CZELNetApiBufferFreeException, CZELLogException1,
                     u"Unable to free buffer ( net api ) ( %s )")
ZEL_ERROR_CLASS(CNetApiBufferFreeWarning, CZELLogWarning, u"NetApiBufferFree call failed", 0)

// ---- User interface and resources ---------------------------------------------
ZEL_ERROR_CLASS(CZELMessageBoxInitException, CZELLogException1, u"Unable to initialize message box",
                0)
ZEL_LOG_CLASS(CZELLoadStringException, CZELLogException1,
              u"Unable to load string ( ID: %d ) from resource DLL ( %s )",
              (ZEL_ULONG ulStringId, const ZEL_USHORT *pszModuleName, ZEL_LONG lError,
               ZEL_TAIL_PARAMS),
              lError, 0, nullptr, nullptr, (ZEL_TAIL_ARGS), ulStringId, pszModuleName)

// ---- Processes, handles, threads and events -------------------------------------
ZEL_FIXED_CLASS(CZELProcessInfoInitException, CZELLogException1,
                u"CZELProcessInfo object failed to initialize", -1)
ZEL_ERROR_CLASS(CZELProcessInvalidHandleException, CZELLogException1, u"Invalid handle", 0)
ZEL_ERROR_CLASS(CZELProcessPrivelgeException, CZELLogException1, u"Windows Error", 0)
ZEL_ERROR_CLASS(CZELProcessWindowsException, CZELLogException1, u"Windows Error", 0)
// Written only by the catch site that receives it (callers pass false twice).
ZEL_FIXED_CLASS(CZELWindowsProcessInvalidHandleException, CZELLogException1,
                u"No valid process handle to wait for.", -1)
ZEL_TEXT_ERROR_CLASS(CZELCreateProcessException, CZELLogException1,
                     u"Unable to create process ( %s )")
ZEL_LOG_CLASS(CTerminateProcessWarning, CZELLogWarning, u"TerminateProcess call has failed",
              (ZEL_LONG lError, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0, nullptr, nullptr,
              (ZEL_TAIL_ARGS_NO_DESTROY))
ZEL_TEXT_ERROR_CLASS(CCloseHandleWarning, CZELLogWarning, u"Unable to free memory ( %s )")
ZEL_TEXT_ERROR_CLASS(CZELCloseHandleException, CZELLogException1, u"Unable to close handle ( %s )")
ZEL_TEXT_ERROR_CLASS(CZELDuplicateHandleException, CZELLogException1,
                     u"Unable to duplicate handle ( %s )")
ZEL_TEXT_ERROR_CLASS(CZELCreateThreadException, CZELLogException1,
                     u"Unable to create thread. ( Thread name = %s )")
ZEL_TEXT_ERROR_CLASS(CZELCreateEventException, CZELLogException1,
                     u"Unable to create event. ( Event name = %s )")
ZEL_TEXT_ERROR_CLASS(CZELSetEventException, CZELLogException1,
                     u"Unable to set event. ( Event name = %s )")
ZEL_TEXT_ERROR_CLASS(CZELResetEventException, CZELLogException1,
                     u"Unable to reset event. ( Event name = %s )")
ZEL_LOG_CLASS(CZELThreadInitException, CZELLogException1,
              u"Unable to initialize thread object. ( Thread name = %s )",
              (const ZEL_USHORT *pszArg1, ZEL_LONG lError, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0,
              nullptr, nullptr, (ZEL_TAIL_ARGS_NO_DESTROY), pszArg1)
ZEL_LOG_CLASS(CZELWindowsEventInitException, CZELLogException1,
              u"Unable to create windows event. ( Event name = %s )",
              (const ZEL_USHORT *pszArg1, ZEL_LONG lError, ZEL_TAIL_PARAMS_NO_DESTROY), lError, 0,
              nullptr, nullptr, (ZEL_TAIL_ARGS_NO_DESTROY), pszArg1)

// ---- Tokens, privileges, accounts and file security -----------------------------
ZEL_TEXT_ERROR_CLASS(CZELOpenProcessTokenException, CZELLogException1,
                     u"OpenProcessToken call failed for handle:%s")
ZEL_ERROR_CLASS(CZELGetTokenInformationException, CZELLogException1,
                u"GetTokenInformation call failed", 0)
ZEL_TEXT_ERROR_CLASS(CZELLookupPrivilegeValueException, CZELLogException1,
                     u"LookupPrivilegeValue call failed for privilege:%s")
ZEL_TEXT_ERROR_CLASS(CZELAdjustTokenPrivilegesException, CZELLogException1,
                     u"AdjustTokenPrivileges call failed for handle:%s")
ZEL_ERROR_CLASS(CZELLookupAccountNameException, CZELLogException1, u"LookupAccountName call failed",
                0)
ZEL_ERROR_CLASS(CZELLookupAccountSidException, CZELLogException1, u"LookupAccountSid call failed",
                0)
ZEL_ERROR_CLASS(CZELConvertSidToStringSidException, CZELLogException1,
                u"ConvertSidToStringSid call failed", 0)
ZEL_ERROR_CLASS(CZELCopySidException, CZELLogException1, u"CopySid call failed", 0)
ZEL_TEXT_ERROR_CLASS(CZELAllocateAndInitializeSidException, CZELLogException1,
                     u"AllocateAndInitializeSid call failed for sid pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELInitializeAclException, CZELLogException1,
                     u"InitializeAcl call failed for ACL pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELGetAclInformationException, CZELLogException1,
                     u"GetAclInformation call failed for ACL pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELGetAceException, CZELLogException1,
                     u"GetAce call failed for ACL pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELAddAceException, CZELLogException1,
                     u"AddAce call failed for ACL pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELAddAccessAllowedAceException, CZELLogException1,
                     u"AddAccessAllowedAce call failed for ACL pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELInitializeSecurityDescriptorException, CZELLogException1,
                     u"InitializeSecurityDescriptor call failed for SD:%s")
ZEL_TEXT_ERROR_CLASS(CZELGetSecurityDescriptorControlException, CZELLogException1,
                     u"GetSecurityDescriptorControl call failed for SD pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELSetSecurityDescriptorControlException, CZELLogException1,
                     u"SetSecurityDescriptorControl call failed for SD pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELGetSecurityDescriptorDaclException, CZELLogException1,
                     u"GetSecurityDescriptorDacl call failed for SD pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELSetSecurityDescriptorDaclException, CZELLogException1,
                     u"SetSecurityDescriptorDacl call failed for SD pointer:%s")
ZEL_TEXT_ERROR_CLASS(CZELGetFileSecurityException, CZELLogException1,
                     u"GetFileSecurity call failed for file:%s")
ZEL_TEXT_ERROR_CLASS(CZELSetFileSecurityException, CZELLogException1,
                     u"SetFileSecurity call failed for file:%s")
ZEL_TEXT_ERROR_CLASS(CZELSetNamedSecurityInfoException, CZELLogException1,
                     u"SetNamedSecurityInfo call failed for object:%s")

// ---- Cryptography and signatures ------------------------------------------------
ZEL_ERROR_CLASS(CZELSwRNGCapiException, CZELLogException1,
                u"Error during MS CAPI RNG function call", 0)
ZEL_TEXT_FIXED_CLASS(CZELSymKeyBadArg, CZELLogException1,
                     u"A bad argument was provided to the symmetric key ( %s )", 0)
ZEL_ERROR_CLASS(CZELSymKeyUnhandledException, CZELLogException1,
                u"The symmetric key operation failed", 0)
ZEL_FIXED_CLASS(CZELSymKeyZeroInputBuffer, CZELLogException1,
                u"The symmetric key was given an empty input buffer", -1)
ZEL_TEXT_FIXED_CLASS(CZELHashBadArg, CZELLogException1,
                     u"A bad argument was provided to the hash ( %s )", 0)
ZEL_ERROR_CLASS(CZELHashGenericException, CZELLogException1, u"The hash operation failed", 0)
ZEL_ERROR_CLASS(CBadDigestException, CZELLogException1,
                u"TRUST_E_BAD_DIGEST when verifying file signature", 0)
ZEL_FIXED_CLASS(CZELSignedFileInitException, CZELLogException1,
                u"CZELSignedFile object failed to initialize", -1)
ZEL_TEXT_FIXED_CLASS(CZELSignedFileInvalidFileException, CZELLogException1,
                     u"Provided signed filename %s does not exist.", -1)
ZEL_ERROR_CLASS(CNoSignatureException, CZELLogException1,
                u"TRUST_E_NOSIGNATURE during verification", 0)
ZEL_ERROR_CLASS(CSignatureFileErrorException, CZELLogException1,
                u"CRYPT_E_FILE_ERROR during verification", 0)
ZEL_ERROR_CLASS(CWinVerifyTrustException, CZELLogException1, u"Error in call to WinVerifyTrust", 0)
ZEL_ERROR_CLASS(CCertQueryException, CZELLogException1, u"Error retrieving cert info", 0)

// ---- WMI ------------------------------------------------------------------------
ZEL_ERROR_CLASS(CZELWMICoInitializeException, CZELLogException1, u"CoInitializeEx call failed", 0)
ZEL_ERROR_CLASS(CZELWMICoInitializeSecurityException, CZELLogException1,
                u"CoInitializeSecurity call failed", 0)
ZEL_ERROR_CLASS(CZELWMICoCreateInstanceException, CZELLogException1,
                u"CoCreateInstance call failed", 0)
ZEL_ERROR_CLASS(CZELWMIConnectServerException, CZELLogException1,
                u"Unable to connect to the WMI server", 0)
ZEL_ERROR_CLASS(CZELWMISetBlanketException, CZELLogException1, u"CoSetProxyBlanket call failed", 0)
ZEL_ERROR_CLASS(CZELWMICreateInstanceEnumException, CZELLogException1,
                u"Unable to enumerate WMI instances", 0)
ZEL_ERROR_CLASS(CZELWMIEnumNextException, CZELLogException1,
                u"Unable to read the next WMI instance", 0)
ZEL_ERROR_CLASS(CZELWMIExecMethodException, CZELLogException1, u"Unable to execute the WMI method",
                0)
ZEL_ERROR_CLASS(CZELWMIGetMethodException, CZELLogException1, u"Unable to get the WMI method", 0)
ZEL_ERROR_CLASS(CZELWMIMethodFailedException, CZELLogException1,
                u"The WMI method reported a failure", 0)
ZEL_ERROR_CLASS(CZELWMISpawnInstanceException, CZELLogException1,
                u"Unable to spawn the WMI instance", 0)
ZEL_ERROR_CLASS(CZELWMIParamInitializationException, CZELLogException1,
                u"Unable to initialize the WMI method parameters", 0)
ZEL_ERROR_CLASS(CZELWMICOMGetException, CZELLogException1, u"Unable to get the WMI property", 0)
ZEL_ERROR_CLASS(CZELWMICOMGetObjectException, CZELLogException1, u"Unable to get the WMI object", 0)
ZEL_ERROR_CLASS(CZELWMICOMPutException, CZELLogException1, u"Unable to put the WMI property", 0)
ZEL_FIXED_CLASS(CZELWMIInvalidTypeException, CZELLogException1,
                u"The WMI value has an unsupported type", -1)
ZEL_FIXED_CLASS(CZELWMIValueNotSetException, CZELLogException1, u"The WMI value has not been set",
                -1)
ZEL_ERROR_CLASS(CZELWMISysAllocStringException, CZELLogException1, u"SysAllocString call failed", 0)
ZEL_ERROR_CLASS(CZELVariantClearException, CZELLogException1, u"VariantClear call failed", 0)
ZEL_ERROR_CLASS(CZELVariantCopyException, CZELLogException1, u"VariantCopy call failed", 0)
