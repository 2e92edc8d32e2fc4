// test_pe_resources.cpp - the PE reader and VerQueryValueW on damaged input:
// the version samples cut at every byte or with offsets bent outside the
// file or back into the resource tree, and version blocks cut and scribbled
// over, fail cleanly every time; so do lookups by name and language on a
// damaged resource DLL. Meant for the sanitizer build too.
#include "PeResources.h"
#include "zel_test_support.h"
#include "zelsys/files.h"
#include "zelsys/winconst.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace zelsys;

namespace {

using Bytes = std::vector<BYTE>;
constexpr DWORD SUBDIRECTORY = 0x80000000u;

// The first size bytes of a file held in memory.
class MemoryImage final : public posix::ImageBytes {
public:
  MemoryImage(const Bytes &bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}
  std::uint64_t size() const override { return m_size; }
  bool read(std::uint64_t offset, void *out, std::size_t count) const override {
    if (offset > m_size || count > m_size - offset)
      return false;
    std::memcpy(out, m_bytes.data() + offset, count);
    return true;
  }

private:
  const Bytes &m_bytes;
  std::size_t m_size;
};

Bytes readSample(const char *name) {
  std::ifstream in(std::string(ZEL_VERSION_SAMPLE_DIR) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

DWORD findVersion(const Bytes &bytes, std::size_t size, posix::ResourceData &data) {
  return posix::findResource(MemoryImage(bytes, size), 16, data);
}

DWORD get32(const Bytes &b, std::size_t at) {
  return DWORD{b[at]} | DWORD{b[at + 1]} << 8 | DWORD{b[at + 2]} << 16 | DWORD{b[at + 3]} << 24;
}

// The fields the corruptions bend, at the PE format's fixed places; the
// samples hold one resource type, the version.
struct Layout {
  explicit Layout(const Bytes &b)
      : pe(get32(b, 0x3C)), rvaCount(pe + 24 + (b[pe + 25] == 0x01 ? 92 : 108)),
        resources(rvaCount + 20) {
    const DWORD rva = get32(b, resources);
    std::size_t section = pe + 24 + (get32(b, pe + 20) & 0xFFFF);
    while (rva < get32(b, section + 12) || rva >= get32(b, section + 12) + get32(b, section + 16))
      section += 40;
    rawData = section + 20;
    tree = get32(b, rawData) + rva - get32(b, section + 12);
    names = tree + (get32(b, tree + 20) & ~SUBDIRECTORY);
    languages = tree + (get32(b, names + 20) & ~SUBDIRECTORY);
    dataEntry = tree + get32(b, languages + 20);
  }
  std::size_t pe, rvaCount, resources, rawData, tree, names, languages, dataEntry;
};

} // namespace

TEST(PeResources, EveryCutFailsUntilTheResourceIsWhole) {
  for (const char *name : {"version_sample32.exe", "version_sample64.exe"}) {
    const Bytes bytes = readSample(name);
    posix::ResourceData whole;
    ASSERT_EQ(findVersion(bytes, bytes.size(), whole), ERROR_SUCCESS) << name;
    ASSERT_EQ(get32(bytes, whole.offset) & 0xFFFF, whole.size) << "the version block's length";
    for (std::size_t size = 0; size < bytes.size(); ++size) {
      posix::ResourceData data;
      const bool complete = size >= whole.offset + whole.size;
      ASSERT_EQ(findVersion(bytes, size, data), complete ? ERROR_SUCCESS : ERROR_BAD_EXE_FORMAT)
          << name << " cut at " << size;
    }
  }
}

TEST(PeResources, OffsetsOutsideTheFileOrIntoLoopsFail) {
  struct Case {
    std::size_t Layout::*field;
    std::size_t plus;
    DWORD value; // written as 32 bits
    DWORD error;
  };
  const Case cases[] = {
      {&Layout::pe, 0, 0xFFFFFFF0u, ERROR_BAD_EXE_FORMAT}, // e_lfanew past the end
      {&Layout::pe, 6, 0xFFFF, ERROR_BAD_EXE_FORMAT},      // sections past the end
      {&Layout::pe, 20, 0xFFFF, ERROR_BAD_EXE_FORMAT},     // optional header past the end
      {&Layout::rvaCount, 0, 2, ERROR_RESOURCE_DATA_NOT_FOUND},
      {&Layout::resources, 0, 0, ERROR_RESOURCE_DATA_NOT_FOUND},
      {&Layout::resources, 0, 0xFFFFFFF0u, ERROR_BAD_EXE_FORMAT}, // in no section
      {&Layout::rawData, 0, 0xFFFFFF00u, ERROR_BAD_EXE_FORMAT},
      {&Layout::tree, 12, 0xFFFF0000u, ERROR_BAD_EXE_FORMAT}, // more types than bytes
      {&Layout::tree, 16, 3, ERROR_RESOURCE_TYPE_NOT_FOUND},
      {&Layout::tree, 20, SUBDIRECTORY, ERROR_BAD_EXE_FORMAT}, // back to the root
      {&Layout::tree, 20, SUBDIRECTORY | 0x7FFFFFF0u, ERROR_BAD_EXE_FORMAT},
      {&Layout::tree, 20, 0, ERROR_BAD_EXE_FORMAT}, // data where a level belongs
      {&Layout::names, 12, 0, ERROR_RESOURCE_NAME_NOT_FOUND},
      {&Layout::languages, 12, 0, ERROR_RESOURCE_LANG_NOT_FOUND},
      {&Layout::languages, 20, SUBDIRECTORY, ERROR_BAD_EXE_FORMAT}, // a loop
      {&Layout::dataEntry, 0, 0xFFFFFFFFu, ERROR_BAD_EXE_FORMAT},
      {&Layout::dataEntry, 4, 0xFFFFFFFFu, ERROR_BAD_EXE_FORMAT},
  };
  for (const char *name : {"version_sample32.exe", "version_sample64.exe"}) {
    const Bytes sample = readSample(name);
    const Layout layout(sample);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      Bytes bytes = sample;
      for (unsigned k = 0; k < 4; ++k)
        bytes[layout.*cases[i].field + cases[i].plus + k] =
            static_cast<BYTE>(cases[i].value >> 8 * k);
      posix::ResourceData data;
      EXPECT_EQ(findVersion(bytes, bytes.size(), data), cases[i].error) << name << " case " << i;
    }
  }
}

TEST(VerQueryValue, CutOrScribbledBlocksAreReadWithinThemselves) {
  const Bytes file = readSample("version_sample32.exe");
  posix::ResourceData data;
  ASSERT_EQ(findVersion(file, file.size(), data), ERROR_SUCCESS);
  const Bytes whole(file.begin() + data.offset, file.begin() + data.offset + data.size);
  const char16_t *const paths[] = {u"\\", u"\\VarFileInfo\\Translation",
                                   u"\\StringFileInfo\\040904b0\\CompanyName",
                                   u"\\StringFileInfo\\040704e4\\FileVersion"};
  // Touches every byte a query reports (characters of text count twice), so
  // the sanitizer sees any outside the block; scribbled types leave only
  // the byte count to trust.
  const auto queryAll = [&](const Bytes &block, bool typesKept) {
    for (std::size_t i = 0; i < std::size(paths); ++i) {
      LPVOID pData = nullptr;
      UINT length = 0;
      if (!VerQueryValueW(block.data(), paths[i], &pData, &length))
        continue;
      const auto *begin = static_cast<const BYTE *>(pData);
      const std::size_t size = length * (typesKept && i > 1 ? 2 : 1);
      ASSERT_TRUE(begin >= block.data() &&
                  size <= block.size() - static_cast<std::size_t>(begin - block.data()));
      volatile unsigned sum = 0;
      for (std::size_t k = 0; k < size; ++k)
        sum = sum + begin[k];
    }
  };
  // Cut as a short GetFileVersionInfoW leaves it: the root claims only what
  // is there, in a buffer of exactly that size.
  for (std::size_t size = 2; size <= whole.size(); ++size) {
    Bytes block(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    block[0] = static_cast<BYTE>(size);
    block[1] = static_cast<BYTE>(size >> 8);
    queryAll(block, true);
  }
  // Each byte after the root's length set to 0 and to 0xFF: zero lengths
  // must not stall a walk, nor long ones lead it out of a parent.
  for (std::size_t at = 2; at < whole.size(); ++at) {
    for (const BYTE value : {BYTE{0}, BYTE{0xFF}}) {
      Bytes block = whole;
      block[at] = value;
      queryAll(block, false);
    }
  }
}

// Lookups by type, name and language, as the module calls make them, on the
// resource DLL (three types, a named entry) cut at every byte and with every
// byte of its headers and resource tree set to 0 and to 0xFF: a lookup
// either fails or finds data inside the file, and succeeds on the whole file.
TEST(PeResources, KeyedLookupsOnDamagedFilesStayInside) {
  std::ifstream in(ZEL_RESOURCE_DLL, std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), {}};
  ASSERT_FALSE(file.empty());
  const posix::ResourceKey keys[][2] = {
      {{false, 6, {}}, {false, 300 / 16 + 1, {}}}, // the string block of 300
      {{false, 10, {}}, {true, 0, u"SampleData"}}, // RT_RCDATA by name
      {{false, 16, {}}, {false, 1, {}}},           // RT_VERSION 1
  };
  std::size_t treeEnd = 0;
  for (const auto &key : keys) {
    posix::ResourceData data;
    ASSERT_EQ(posix::findResource(MemoryImage(file, file.size()), key[0], key[1], 0x409, data),
              ERROR_SUCCESS);
    treeEnd = std::max<std::size_t>(treeEnd, data.offset);
  }
  const auto lookAll = [&](const Bytes &bytes, std::size_t size, const std::string &what) {
    for (const auto &key : keys) {
      posix::ResourceData data;
      const DWORD error =
          posix::findResource(MemoryImage(bytes, size), key[0], key[1], 0x407, data);
      EXPECT_TRUE(error != ERROR_SUCCESS ||
                  (data.offset <= size && data.size <= size - data.offset))
          << what;
    }
  };
  for (std::size_t size = 0; size < file.size(); ++size)
    lookAll(file, size, "cut at " + std::to_string(size));
  for (std::size_t at = 0; at < treeEnd; ++at) {
    for (const BYTE value : {BYTE{0}, BYTE{0xFF}}) {
      Bytes bytes = file;
      bytes[at] = value;
      lookAll(bytes, bytes.size(), "byte " + std::to_string(at));
    }
  }
}
