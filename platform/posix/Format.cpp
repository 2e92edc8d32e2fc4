//===- Format.cpp - wvsprintfW on the substitute ---------------------------===//
//
// The subset of user32's formatter that the documentation describes: flags
// '-', '#', '0', a width, a precision, the size prefixes h and l, and the
// types c C d i s S u x X. As on Windows, 'l' does not widen a number: every
// number argument is 32 bits. Only code that works on every Unix.
//
//===----------------------------------------------------------------------===//
#include "zelsys/format.h"

#include <cstring>
#include <string>

namespace zelsys {

namespace {

// Collects output up to the 1024-unit buffer, keeping room for the terminator.
class Output {
public:
  explicit Output(LPWSTR out) : m_out(out) {}
  bool full() const { return m_count >= WSPRINTF_BUFFER_CHARS - 1; }
  void put(char16_t unit) {
    if (!full())
      m_out[m_count++] = unit;
  }
  void pad(char16_t unit, int count) {
    for (int i = 0; i < count; ++i)
      put(unit);
  }
  int finish() {
    m_out[m_count] = u'\0';
    return m_count;
  }

private:
  LPWSTR m_out;
  int m_count = 0;
};

struct Conversion {
  bool left = false;
  bool alternate = false;
  bool zero = false;
  int width = 0;
  int precision = -1;
  char16_t size = 0; // 'h', 'l' or 0
  char16_t type = 0;
};

int readNumber(LPCWSTR &p) {
  int value = 0;
  while (*p >= u'0' && *p <= u'9' && value < 100000)
    value = value * 10 + (*p++ - u'0');
  return value;
}

Conversion readConversion(LPCWSTR &p) {
  Conversion conv;
  for (;; ++p) {
    if (*p == u'-')
      conv.left = true;
    else if (*p == u'#')
      conv.alternate = true;
    else if (*p == u'0')
      conv.zero = true;
    else
      break;
  }
  conv.width = readNumber(p);
  if (*p == u'.') {
    ++p;
    conv.precision = readNumber(p);
  }
  if (*p == u'h' || *p == u'l' || *p == u'w') {
    conv.size = *p == u'w' ? u'l' : *p;
    ++p;
  }
  conv.type = *p;
  return conv;
}

// Writes body (already in UTF-16) padded to the conv's width.
void emitPadded(Output &out, const Conversion &conv, const std::u16string &prefix,
                const std::u16string &body) {
  const int length = static_cast<int>(prefix.size() + body.size());
  const int padding = conv.width > length ? conv.width - length : 0;
  if (!conv.left && !conv.zero)
    out.pad(u' ', padding);
  for (char16_t unit : prefix)
    out.put(unit);
  if (!conv.left && conv.zero)
    out.pad(u'0', padding);
  for (char16_t unit : body)
    out.put(unit);
  if (conv.left)
    out.pad(u' ', padding);
}

std::u16string digits(std::uint32_t value, unsigned base, bool upper) {
  const char *set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::u16string text;
  do {
    text.insert(text.begin(), static_cast<char16_t>(set[value % base]));
    value /= base;
  } while (value != 0);
  return text;
}

void emitNumber(Output &out, const Conversion &conv, va_list &args) {
  std::u16string prefix;
  std::u16string body;
  if (conv.type == u'd' || conv.type == u'i') {
    const int value = va_arg(args, int);
    const auto magnitude =
        value < 0 ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    if (value < 0)
      prefix = u"-";
    body = digits(magnitude, 10, false);
  } else {
    const unsigned value = va_arg(args, unsigned);
    const bool hex = conv.type != u'u';
    body = digits(value, hex ? 16 : 10, conv.type == u'X');
    if (hex && conv.alternate && value != 0)
      prefix = conv.type == u'X' ? u"0X" : u"0x";
  }
  if (conv.precision > static_cast<int>(body.size()))
    body.insert(0, static_cast<std::size_t>(conv.precision) - body.size(), u'0');
  emitPadded(out, conv, prefix, body);
}

// %s is wide text in the W formatter; %S and %hs are 8-bit text.
void emitText(Output &out, const Conversion &conv, va_list &args) {
  const bool narrow = conv.type == u'S' ? conv.size != u'l' : conv.size == u'h';
  std::u16string body;
  if (narrow) {
    const char *text = va_arg(args, const char *);
    if (text == nullptr)
      text = "(null)";
    for (; *text; ++text)
      body += static_cast<char16_t>(static_cast<unsigned char>(*text));
  } else {
    const char16_t *text = va_arg(args, const char16_t *);
    body = text ? text : u"(null)";
  }
  if (conv.precision >= 0 && static_cast<std::size_t>(conv.precision) < body.size())
    body.resize(static_cast<std::size_t>(conv.precision));
  emitPadded(out, conv, u"", body);
}

void emitChar(Output &out, const Conversion &conv, va_list &args) {
  const bool narrow = conv.type == u'C' ? conv.size != u'l' : conv.size == u'h';
  const int value = va_arg(args, int);
  const auto unit = narrow ? static_cast<char16_t>(static_cast<unsigned char>(value))
                           : static_cast<char16_t>(value);
  emitPadded(out, conv, u"", std::u16string(1, unit));
}

} // namespace

int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
  Output out(lpOut);
  va_list args;
  va_copy(args, arglist);
  for (LPCWSTR p = lpFmt; *p && !out.full(); ++p) {
    if (*p != u'%') {
      out.put(*p);
      continue;
    }
    ++p;
    const Conversion conv = readConversion(p);
    switch (conv.type) {
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
      emitNumber(out, conv, args);
      break;
    case u's':
    case u'S':
      emitText(out, conv, args);
      break;
    case u'c':
    case u'C':
      emitChar(out, conv, args);
      break;
    case u'\0':
      --p; // a lone '%' at the end: the loop ends on the terminator
      break;
    default:
      out.put(conv.type); // "%%" and unknown types print the character
      break;
    }
  }
  va_end(args);
  return out.finish();
}

} // namespace zelsys
