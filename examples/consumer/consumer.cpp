// consumer.cpp - a small console program on the installed framework: it
// formats a line, writes it into a file and into a registry value, reads
// both back and compares. Exit code 0 when every step holds, 1 otherwise.
#include "zel_directory.h"
#include "zel_environment_variable.h"
#include "zel_file.h"
#include "zel_registry_key.h"
#include "zel_registry_string.h"

#include "zelsys/entry.h"
#include "zelsys/files.h"

#include <cstdio>
#include <cstring>

namespace {

int fail(const char *step) {
  std::fprintf(stderr, "consumer: %s failed\n", step);
  return 1;
}

} // namespace

int zelConsoleMain(int, const zelsys::LPCWSTR *) {
  const CZELWCharString line =
      CZELWCharString(u"answer=") + CZELWCharString(42, CZELWCharString::nsHex, 4, true);
  if (line != CZELWCharString(u"answer=0x002A"))
    return fail("formatting");

  // A folder of its own on the system drive, removed again at the end.
  CZELWCharString drive;
  if (!CZELEnvironmentVariable(u"SystemDrive").getValue(drive))
    return fail("finding the system drive");
  const CZELWCharString folder = drive + CZELWCharString(u"\\zel-consumer");
  const CZELWCharString path = folder + CZELWCharString(u"\\line.txt");
  CZELFile file;
  const CZELBuffer<ZEL_BYTE> written = line;
  CZELBuffer<ZEL_BYTE> read;
  if (!CZELDirectory(folder).createDirectoryPath() || !file.open(path, CZELFile::omCreate) ||
      !file.write(written) || !file.close() || !file.open(path, CZELFile::omRead) ||
      !file.read(read, 0, true) || !file.close() || read.getSize() != written.getSize() ||
      std::memcmp(read.getBuffer(), written.getBuffer(), written.getSize()) != 0)
    return fail("the file round trip");
  if (!zelsys::DeleteFileW(path.getBuffer()) || !zelsys::RemoveDirectoryW(folder.getBuffer()))
    return fail("removing the folder");

  const CZELWCharString key(u"Software\\ZelConsumer");
  CZELRegistryString value(zelsys::HKEY_CURRENT_USER, key, u"Line", zelsys::KEY_ALL_ACCESS, true);
  CZELWCharString stored;
  if (!value.setRegistryString(line, false) ||
      !CZELRegistryString(zelsys::HKEY_CURRENT_USER, key, u"Line")
           .getRegistryString(stored, false) ||
      stored != line || !CZELRegistryKey(zelsys::HKEY_CURRENT_USER, key).remove(true))
    return fail("the registry round trip");

  const CZELBuffer<ZEL_CHAR> text = line;
  std::printf("%s: written and read back through a file and the registry\n", text.getBuffer());
  return 0;
}
