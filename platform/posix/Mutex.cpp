//===- Mutex.cpp - Mutexes of the machine on the substitute ----------------===//
//
// A mutex is a waitable object (Sync.h). In the process, its object keeps
// the owning thread and how often that thread took it, under the object's
// lock; a release wakes the process's waiters. A named mutex reaches the
// other processes of the machine through a lock file of its own,
// <machine>/named-objects/mutex-<SHA-256 of the name's UTF-16LE units>: the
// digest turns any name, whatever its characters and length, into one safe
// file name in that folder. Each process's object keeps the file open on one
// descriptor and holds open-file-description locks on three of its bytes:
// - the owner byte, exclusively, while a thread of the process owns the
//   mutex. It is only ever tried, never waited for: a wait tries again after
//   pauses that grow to 16 ms, so a timed wait ends on time however long
//   the other process keeps the mutex;
// - the presence byte, shared, for the object's whole life: whether another
//   process has the mutex open tells whether it exists (ERROR_ALREADY_EXISTS);
// - the gate byte, exclusively, while the object is made: finding out whether
//   the mutex exists, resetting a new one and taking initial ownership are
//   then one step for every process.
// The kernel drops these locks when the descriptor closes, also when the
// process is killed. The file's first byte is '1' from each take until its
// release writes '0', so a taker that finds '1' knows that the last owner
// ended without releasing: WAIT_ABANDONED. A thread that ends gives up the
// mutexes it still owns (a thread-local list of them ends with it) and
// leaves the '1' behind. The lock files stay: removing one while a process
// holds it open would let two processes lock two files of one name.
// Only code for Linux (open-file-description locks).
//
//===----------------------------------------------------------------------===//
#include "Errors.h"
#include "Machine.h"
#include "Sync.h"
#include "zelsys/kernel.h"
#include "zelsys/sync.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <openssl/evp.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zelsys {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes of the lock file that are locked; the marker below lies before them.
constexpr off_t kOwnerByte = 64;
constexpr off_t kPresenceByte = 65;
constexpr off_t kGateByte = 66;
constexpr auto kLongestPause = std::chrono::milliseconds(16);

// Sets (F_WRLCK, F_RDLCK) or drops (F_UNLCK) a lock on one byte, waiting for
// it only with bWait; false with errno set when it is not granted.
bool lockByte(int fd, off_t offset, short type, bool bWait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  int result = 0;
  do
    result = ::fcntl(fd, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
  while (result != 0 && errno == EINTR);
  return result == 0;
}

// Whether a lock of another descriptor covers the byte; false with errno set
// when the host cannot tell.
bool askOthers(int fd, off_t offset, bool &bHeld) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = offset;
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0)
    return false;
  bHeld = lock.l_type != F_UNLCK;
  return true;
}

// The marker: '1' or '0', then the process that wrote it, for a reader of the
// file. Every record has the same length, so rewriting one needs no space.
DWORD writeMarker(int fd, bool bOwned) {
  char record[16];
  const int length =
      std::snprintf(record, sizeof record, "%c %10ld\n", bOwned ? '1' : '0', long(::getpid()));
  const ssize_t written = ::pwrite(fd, record, std::size_t(length), 0);
  if (written == length)
    return ERROR_SUCCESS;
  return written < 0 ? posix::win32ErrorFromErrno(errno) : ERROR_DISK_FULL;
}

bool markedOwned(int fd) {
  char mark = 0;
  return ::pread(fd, &mark, 1, 0) == 1 && mark == '1';
}

// The lock file's name for a name key: the digest of its UTF-16LE units;
// empty when it cannot be computed.
std::string fileNameOf(const std::u16string &key) {
  std::string units;
  for (const char16_t unit : key) {
    units += static_cast<char>(unit & 0xFF);
    units += static_cast<char>(unit >> 8);
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (EVP_Digest(units.data(), units.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string name = "mutex-";
  for (unsigned i = 0; i < length; ++i) {
    name += kHex[digest[i] >> 4];
    name += kHex[digest[i] & 0xF];
  }
  return name;
}

class Mutex : public posix::Waitable, public std::enable_shared_from_this<Mutex> {
public:
  // fd: the name's lock file, owned from here on; -1 for an unnamed mutex.
  Mutex(std::u16string key, int fd) : Waitable(false), m_key(std::move(key)), m_fd(fd) {}
  ~Mutex() override;

  DWORD wait(DWORD dwMilliseconds) override;
  DWORD tryAcquire() override {
    const std::lock_guard<std::mutex> guard(lock());
    return tryAcquireLocked();
  }
  // Makes the calling thread the owner of a new mutex (a named one's owner
  // byte already locked).
  void adopt();
  // false when the calling thread is not the owner.
  bool release();
  // Gives the mutex up, abandoned, if the thread still owns it.
  void abandon(std::thread::id thread);

private:
  DWORD tryAcquireLocked();
  void becomeOwnerLocked();

  const std::u16string m_key; // empty: unnamed
  const int m_fd;
  std::thread::id m_owner; // none while free
  unsigned long m_ulTakes = 0;
  bool m_bAbandoned = false; // the marker of an unnamed mutex
};

// Never destroyed (see ObjectNames).
posix::ObjectNames<Mutex> &mutexNames() {
  static auto *const names = new posix::ObjectNames<Mutex>;
  return *names;
}

// The mutexes the thread owns. A thread of CreateThread abandons them before
// its end is signalled; any other thread (the main thread at exit too) as
// its thread-locals end.
struct OwnedMutexes {
  ~OwnedMutexes() { abandonAll(); }
  void abandonAll() {
    const auto self = std::this_thread::get_id();
    for (const auto &owned : std::exchange(mutexes, {}))
      if (const auto mutex = owned.lock())
        mutex->abandon(self);
  }
  std::vector<std::weak_ptr<Mutex>> mutexes;
};
thread_local OwnedMutexes tOwned;

Mutex::~Mutex() {
  // An owner's handles are all closed: closing the descriptor drops the
  // owner byte and leaves the '1', so the others find the mutex abandoned.
  if (m_fd >= 0)
    ::close(m_fd);
  if (!m_key.empty())
    mutexNames().forget(m_key);
}

void Mutex::becomeOwnerLocked() {
  m_owner = std::this_thread::get_id();
  m_ulTakes = 1;
  std::erase_if(tOwned.mutexes, [](const std::weak_ptr<Mutex> &owned) { return owned.expired(); });
  tOwned.mutexes.push_back(weak_from_this());
}

void Mutex::adopt() {
  const std::lock_guard<std::mutex> guard(lock());
  becomeOwnerLocked();
}

DWORD Mutex::tryAcquireLocked() {
  const auto self = std::this_thread::get_id();
  if (m_owner == self) {
    ++m_ulTakes;
    return WAIT_OBJECT_0;
  }
  if (m_owner != std::thread::id())
    return WAIT_TIMEOUT;
  bool bAbandoned = std::exchange(m_bAbandoned, false);
  if (m_fd >= 0) {
    if (!lockByte(m_fd, kOwnerByte, F_WRLCK, false)) {
      if (errno == EAGAIN || errno == EACCES)
        return WAIT_TIMEOUT; // another process owns it
      SetLastError(posix::win32ErrorFromErrno(errno));
      return WAIT_FAILED;
    }
    bAbandoned = markedOwned(m_fd);
    if (const DWORD dwError = writeMarker(m_fd, true); dwError != ERROR_SUCCESS) {
      lockByte(m_fd, kOwnerByte, F_UNLCK, false);
      SetLastError(dwError);
      return WAIT_FAILED;
    }
  }
  becomeOwnerLocked();
  return bAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

DWORD Mutex::wait(DWORD dwMilliseconds) {
  const bool bForever = dwMilliseconds == INFINITE;
  const auto deadline = Clock::now() + std::chrono::milliseconds(bForever ? 0 : dwMilliseconds);
  Clock::duration pause = std::chrono::milliseconds(1);
  std::unique_lock<std::mutex> guard(lock());
  for (;;) {
    const DWORD dwResult = tryAcquireLocked();
    if (dwResult != WAIT_TIMEOUT)
      return dwResult;
    const auto now = Clock::now();
    if (!bForever && now >= deadline)
      return WAIT_TIMEOUT;
    if (m_owner != std::thread::id()) {
      // A thread of this process owns it; its release wakes the waiters.
      if (bForever)
        changed().wait(guard);
      else
        changed().wait_until(guard, deadline);
    } else {
      // Another process owns it and tells nobody here when it lets go.
      changed().wait_for(guard, bForever ? pause : std::min(pause, deadline - now));
      pause = std::min<Clock::duration>(pause * 2, kLongestPause);
    }
  }
}

bool Mutex::release() {
  {
    const std::lock_guard<std::mutex> guard(lock());
    if (m_owner != std::this_thread::get_id())
      return false;
    if (--m_ulTakes > 0)
      return true;
    m_owner = std::thread::id();
    if (m_fd >= 0) {
      writeMarker(m_fd, false); // rewrites the take's record: never short of space
      lockByte(m_fd, kOwnerByte, F_UNLCK, false);
    }
  }
  const auto self = weak_from_this();
  std::erase_if(tOwned.mutexes, [&](const std::weak_ptr<Mutex> &owned) {
    return owned.expired() || (!owned.owner_before(self) && !self.owner_before(owned));
  });
  changed().notify_all();
  return true;
}

void Mutex::abandon(std::thread::id thread) {
  {
    const std::lock_guard<std::mutex> guard(lock());
    if (m_owner != thread)
      return;
    m_owner = std::thread::id();
    m_ulTakes = 0;
    if (m_fd >= 0)
      lockByte(m_fd, kOwnerByte, F_UNLCK, false); // the '1' stays
    else
      m_bAbandoned = true;
  }
  changed().notify_all();
}

// The lock file of a name, open and locked as the mutex's object needs it:
// what another process's handles say, and the owner byte taken for
// bInitialOwner when the mutex is new.
struct NamedFile {
  int fd = -1;
  bool bElsewhere = false; // another process has the mutex open
  bool bOwned = false;
  DWORD dwError = ERROR_SUCCESS;
};

NamedFile openNamedFile(const std::u16string &key, bool bInitialOwner) {
  NamedFile file;
  const std::string root = posix::ensureMachine();
  if (root.empty()) {
    file.dwError = ERROR_PATH_NOT_FOUND;
    return file;
  }
  const std::string folder = root + "/named-objects";
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    file.dwError = posix::win32ErrorFromErrno(errno);
    return file;
  }
  const std::string name = fileNameOf(key);
  if (name.empty()) {
    file.dwError = ERROR_NOT_ENOUGH_MEMORY;
    return file;
  }
  const int fd =
      ::open((folder + "/" + name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    file.dwError = posix::win32ErrorFromErrno(errno);
    return file;
  }
  bool bHeld = false;
  if (lockByte(fd, kGateByte, F_WRLCK, true)) {
    if (askOthers(fd, kPresenceByte, bHeld) && lockByte(fd, kPresenceByte, F_RDLCK, false)) {
      file.fd = fd;
      file.bElsewhere = bHeld;
      // A mutex nobody has open is made anew, never abandoned.
      if (!bHeld)
        file.dwError = writeMarker(fd, false);
      if (!bHeld && bInitialOwner && file.dwError == ERROR_SUCCESS) {
        file.bOwned = lockByte(fd, kOwnerByte, F_WRLCK, false);
        file.dwError = file.bOwned ? writeMarker(fd, true) : posix::win32ErrorFromErrno(errno);
      }
    } else {
      file.dwError = posix::win32ErrorFromErrno(errno);
    }
    lockByte(fd, kGateByte, F_UNLCK, false);
  } else {
    file.dwError = posix::win32ErrorFromErrno(errno);
  }
  if (file.dwError != ERROR_SUCCESS) {
    ::close(fd);
    file.fd = -1;
  }
  return file;
}

} // namespace

void posix::abandonOwnedMutexes() { tOwned.abandonAll(); }

HANDLE CreateMutexW(SECURITY_ATTRIBUTES *, BOOL bInitialOwner, LPCWSTR lpName) {
  std::u16string key;
  if (const DWORD dwError = posix::objectNameKey(lpName, key); dwError != ERROR_SUCCESS) {
    SetLastError(dwError);
    return nullptr;
  }
  std::shared_ptr<Mutex> mutex;
  bool bExisted = false;
  if (key.empty()) {
    mutex = std::make_shared<Mutex>(key, -1);
    if (bInitialOwner)
      mutex->adopt();
  } else {
    // The object is made only once nothing can fail (its destructor would
    // forget its name under the table's lock, which making it holds), and
    // owned before another thread can find it.
    NamedFile file;
    mutex = mutexNames().findOrMake(key, bExisted, [&]() -> std::shared_ptr<Mutex> {
      file = openNamedFile(key, bInitialOwner != FALSE);
      if (file.fd < 0)
        return nullptr;
      auto made = std::make_shared<Mutex>(key, file.fd);
      if (file.bOwned)
        made->adopt();
      return made;
    });
    if (!mutex) {
      SetLastError(file.dwError);
      return nullptr;
    }
    bExisted = bExisted || file.bElsewhere;
  }
  return posix::addCreatedHandle(std::move(mutex), bExisted);
}

BOOL ReleaseMutex(HANDLE hMutex) {
  const auto mutex = posix::objectOf<Mutex>(hMutex);
  if (!mutex)
    return posix::failWith(ERROR_INVALID_HANDLE);
  return mutex->release() ? TRUE : posix::failWith(ERROR_NOT_OWNER);
}

} // namespace zelsys
