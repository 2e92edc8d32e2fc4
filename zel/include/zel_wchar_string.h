// zel_wchar_string.h - CZELWCharString, the framework's UTF-16 text.
//
// The characters live in the inherited 16-bit buffer followed by one zero
// unit; an empty string holds no storage at all. Built for robustness: the
// operations work on copies, tolerate empty operands, and report failure as
// a false result (argument errors are logged CZELBadArgException entries).
// Only the constructors and the inherited indexing operators throw.
#pragma once

#include "zel_buffer.h"
#include "zel_flags.h"

class CZELWCharString;
class CZELSymKey;
template <class T> class CZELObjNode;
template <class Node, class T> class CZELDblList;
// A list of strings, as splitting produces it.
typedef CZELDblList<CZELObjNode<CZELWCharString>, CZELWCharString> CZELWCharStringList;

class CZELWCharString : public CZELBuffer<ZEL_USHORT> {
public:
  // Search direction.
  enum ParseMode : ZEL_ULONG { pmForward = 1, pmBackward = 2 };
  // Which occurrences an edit applies to.
  enum SubStringMode : ZEL_ULONG { ssmAll = 1, ssmOccur = 2, ssmNum = 4 };
  // Number systems.
  enum NumberSystem : ZEL_ULONG { nsHex = 1, nsBin = 2, nsOct = 4, nsDec = 8, nsReal = 16 };

  // ---- Construction (failure throws CZELBufferInitException) ----------------
  CZELWCharString();
  CZELWCharString(const CZELWCharString &other);
  CZELWCharString(const CZELBuffer<ZEL_USHORT> &buffer);
  CZELWCharString(const CZELBuffer<ZEL_CHAR> &buffer);
  CZELWCharString(const ZEL_USHORT *pszText);
  CZELWCharString(const ZEL_CHAR *pszText);
  CZELWCharString(ZEL_USHORT usChar);
  CZELWCharString(double dValue, ZEL_USHORT usPrecision);
  CZELWCharString(ZEL_LONG lValue);
  CZELWCharString(ZEL_LONG lValue, ZEL_ULONG asNumberSystem, ZEL_ULONG ulWidth, bool bPrefix);

  // ---- Assignment ------------------------------------------------------------
  CZELWCharString &operator=(const CZELWCharString &other);
  CZELWCharString &operator=(const CZELBuffer<ZEL_USHORT> &buffer);
  CZELWCharString &operator=(const CZELBuffer<ZEL_CHAR> &buffer);
  CZELWCharString &operator=(const ZEL_USHORT *pszText);
  CZELWCharString &operator=(ZEL_USHORT usChar);

  // Narrowed to 8-bit text of length + 1 bytes (stops at the first unit
  // above 255).
  operator CZELBuffer<ZEL_CHAR>() const;

  // ---- Length and storage ----------------------------------------------------
  ZEL_ULONG getLength() const;
  bool freeUnusedMem();

  // ---- Comparison (case-sensitive, unit by unit; the ordering operators
  // compare strings of equal length only) ---------------------------------------
  bool operator==(const CZELWCharString &other) const;
  bool operator!=(const CZELWCharString &other) const;
  bool operator<=(const CZELWCharString &other) const;
  bool operator>=(const CZELWCharString &other) const;
  bool operator<(const CZELWCharString &other) const;
  bool operator>(const CZELWCharString &other) const;

  // ---- Concatenation and removal -----------------------------------------------
  CZELWCharString operator+(const CZELWCharString &other) const;
  CZELWCharString &operator+=(const CZELWCharString &other);
  CZELWCharString operator-(const CZELWCharString &other) const;
  CZELWCharString &operator-=(const CZELWCharString &other);
  CZELWCharString operator>>(ZEL_ULONG ulCount) const;
  CZELWCharString operator<<(ZEL_ULONG ulCount) const;
  CZELWCharString &operator>>=(ZEL_ULONG ulCount);
  CZELWCharString &operator<<=(ZEL_ULONG ulCount);

  // ---- Searching -----------------------------------------------------------------
  bool getSubStringPos(const CZELWCharString &subString, ZEL_ULONG ulOccurrance,
                       ZEL_ULONG parseMode, ZEL_ULONG &ulPos) const;
  bool hasSubString(const CZELWCharString &subString) const;
  ZEL_ULONG getSubStringCount(const CZELWCharString &subString) const;
  bool getSubStringOccurrance(const CZELWCharString &subString, ZEL_ULONG ulPos,
                              ZEL_ULONG parseMode, ZEL_ULONG &ulOccurrance) const;
  bool getReverseSubStringOccurrance(const CZELWCharString &subString, ZEL_ULONG ulOccurrance,
                                     ZEL_ULONG parseMode, ZEL_ULONG &ulReverse) const;
  bool beginsWith(const CZELWCharString &other) const;
  bool endsWith(const CZELWCharString &other) const;

  // ---- Editing in place ---------------------------------------------------------------
  bool insert(const CZELWCharString &string, ZEL_ULONG ulPos);
  bool deleteRange(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bDeleteStart, bool bDeleteEnd);
  bool deleteSubString(const CZELWCharString &subString, ZEL_ULONG ulOccurrance,
                       ZEL_ULONG subStringMode);
  bool replaceSubString(const CZELWCharString &oldString, const CZELWCharString &newString,
                        ZEL_ULONG ulOccurrance, ZEL_ULONG subStringMode);

  // ---- Extraction (into out; this string unchanged) and trimming (in place) ------
  bool extractBetween(CZELWCharString &out, ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos,
                      bool bIncludeStart, bool bIncludeEnd) const;
  bool extractBetween(CZELWCharString &out, const CZELWCharString &startDelimiter,
                      const CZELWCharString &endDelimiter, bool bIncludeStart,
                      bool bIncludeEnd) const;
  bool extractBetween(CZELWCharString &out, const CZELWCharString &startDelimiter,
                      ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                      ZEL_ULONG ulEndOccurrance, bool bIncludeStart, bool bIncludeEnd) const;
  bool extractOutside(CZELWCharString &out, ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos,
                      bool bIncludeStart, bool bIncludeEnd) const;
  bool extractOutside(CZELWCharString &out, const CZELWCharString &startDelimiter,
                      const CZELWCharString &endDelimiter, bool bIncludeStart,
                      bool bIncludeEnd) const;
  bool extractOutside(CZELWCharString &out, const CZELWCharString &startDelimiter,
                      ZEL_ULONG ulStartOccurrance, const CZELWCharString &endDelimiter,
                      ZEL_ULONG ulEndOccurrance, bool bIncludeStart, bool bIncludeEnd) const;
  bool trimBetween(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bRemoveStart, bool bRemoveEnd);
  bool trimBetween(const CZELWCharString &startDelimiter, const CZELWCharString &endDelimiter,
                   bool bRemoveStart, bool bRemoveEnd);
  bool trimBetween(const CZELWCharString &startDelimiter, ZEL_ULONG ulStartOccurrance,
                   const CZELWCharString &endDelimiter, ZEL_ULONG ulEndOccurrance,
                   bool bRemoveStart, bool bRemoveEnd);
  bool trimOutSide(ZEL_ULONG ulStartPos, ZEL_ULONG ulEndPos, bool bRemoveStart, bool bRemoveEnd);
  bool trimOutSide(const CZELWCharString &startDelimiter, const CZELWCharString &endDelimiter,
                   bool bRemoveStart, bool bRemoveEnd);
  bool trimOutSide(const CZELWCharString &startDelimiter, ZEL_ULONG ulStartOccurrance,
                   const CZELWCharString &endDelimiter, ZEL_ULONG ulEndOccurrance,
                   bool bRemoveStart, bool bRemoveEnd);
  bool trimTo(const CZELWCharString &delimiter, ZEL_ULONG ulOccurrance, ZEL_ULONG parseMode,
              bool bRemoveDelimiter);
  bool extractTo(CZELWCharString &out, const CZELWCharString &delimiter, ZEL_ULONG ulOccurrance,
                 ZEL_ULONG parseMode, bool bIncludeDelimiter) const;
  bool extractParam(CZELWCharString &out, const CZELWCharString &delimiter, ZEL_ULONG ulOccurrance,
                    ZEL_ULONG parseMode, const CZELFlags &trimWhere,
                    const CZELFlags &trimWhich) const;
  bool extractParam(CZELWCharString &out, const CZELWCharString &openDelimiter,
                    const CZELWCharString &closeDelimiter, ZEL_ULONG ulOccurrance,
                    const CZELFlags &trimWhere, const CZELFlags &trimWhich) const;

  // ---- Formatting characters and numbers ----------------------------------------------
  // Removes the formatting characters selected by trimWhich (bit 0 space,
  // 1 TAB, 2 form feed, 3 bell, 4 line feed, 5 backspace, 6 CR, 7 vertical
  // tab) from the leading run (trimWhere 1), the trailing run (2), or both
  // runs and the middle (3). Nothing happens unless both words are non-zero.
  bool trimFormatting(const CZELFlags &trimWhere, const CZELFlags &trimWhich);

  static bool convertLongToDecString(CZELWCharString &out, ZEL_LONG lValue);
  static bool convertLongToHexString(CZELWCharString &out, ZEL_LONG lValue, ZEL_ULONG ulWidth,
                                     bool bPrefix);
  static bool convertLongToBinString(CZELWCharString &out, ZEL_LONG lValue, ZEL_ULONG ulWidth,
                                     bool bPrefix);
  static bool convertLongToOctString(CZELWCharString &out, ZEL_LONG lValue, ZEL_ULONG ulWidth,
                                     bool bPrefix);
  static bool convertDigitToAscii(ZEL_USHORT &usChar, ZEL_ULONG ulDigit);

  // ---- Number parsing and recognition (ASCII digits; values are 32-bit) -----------------
  bool toLong(ZEL_LONG &lValue, ZEL_ULONG asNumberSystem) const;
  bool toDouble(double &dValue) const;
  bool convertHexToLong(ZEL_LONG &lValue) const;
  bool convertBinaryToLong(ZEL_LONG &lValue) const;
  bool convertOctalToLong(ZEL_LONG &lValue) const;
  bool removeNumberIdentifier();
  bool couldBeBin() const;
  bool couldBeOct() const;
  bool couldBeHex() const;
  bool couldBeDec() const;
  bool isDeclaredBinary() const;
  bool isDeclaredHex() const;
  bool isDeclaredOctal() const;
  bool isBinaryCompatible() const;
  bool isHexCompatible() const;
  bool isOctalCompatible() const;
  bool isNumericalOnly(bool bAllowSign, bool bAllowPoint) const;
  bool isReal(bool bAllowSign) const;
  ZEL_ULONG getNumberSystem() const;

  // ---- Character classes and case (ASCII only) --------------------------------------------
  bool toLower();
  bool toUpper();
  bool isAlphaOnly(bool bAllowSpaces) const;
  bool isLower() const;
  bool isUpper() const;
  bool isSimilar(const CZELWCharString &other, bool bTrimPadding, bool bIgnoreSpaces) const;
  bool reverse();

  // ---- Padding ------------------------------------------------------------------------------
  bool getFirstNonFormatChar(const CZELFlags &trimWhich, ZEL_ULONG parseMode,
                             ZEL_ULONG &ulPos) const;
  bool trimPadding(ZEL_USHORT usPadChar, const CZELFlags &trimWhere, const CZELFlags &trimWhich);

  // ---- Splitting into lists (the list is emptied first) -------------------------------------
  bool extractParams(CZELWCharStringList &list, const CZELWCharString &delimiter,
                     ZEL_ULONG parseMode, const CZELFlags &trimWhere,
                     const CZELFlags &trimWhich) const;
  bool extractParams(CZELWCharStringList &list, const CZELWCharString &openDelimiter,
                     const CZELWCharString &closeDelimiter, const CZELFlags &trimWhere,
                     const CZELFlags &trimWhich) const;
  bool extractParams(CZELWCharStringList &list, const CZELWCharStringList &delimiterList,
                     const CZELWCharString &quoteDelimiter, const CZELFlags &trimWhere,
                     const CZELFlags &trimWhich) const;
  bool extractTo(CZELWCharStringList &list, const CZELWCharStringList &delimiterList,
                 const CZELFlags &trimWhere, const CZELFlags &trimWhich) const;

  // ---- Environment references and the hex-byte text form ----------------------------------
  // Replaces each %NAME% whose variable has a value by that value.
  bool expand();
  // The storage (terminator included) as bytes in upper-case hex: "A" gives
  // "41 00 00 00".
  CZELWCharString getAsciiCodeString() const;
  CZELBuffer<ZEL_BYTE> getBufferFromAsciiCodeString() const;

  // ---- Keyed obscuring ---------------------------------------------------------------------
  // The storage enciphered with symKey, as Base64 text; empty on failure.
  CZELWCharString obscure(const CZELSymKey &symKey) const;
  // The inverse; empty for another key, changed text or any other failure.
  CZELWCharString unobscure(const CZELSymKey &symKey) const;
};
