// Internal: the objects behind file-system HANDLEs and the process-wide table
// of open files that makes share modes real between the handles of this
// process. The handle table owns every object until CloseHandle/FindClose
// takes it out; a caller holds a shared reference while it works, so a
// concurrent close (a caller bug) cannot free the object under it. Both tables
// are guarded by their own mutex; every function here may be called from any
// thread. Not part of the public API.
#pragma once

#include <sys/types.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include <windows.h>

namespace arcwise_platform {

// Anything a HANDLE may point to. Other parts of the platform may register
// their own kinds; CloseHandle closes every kind except find handles, which
// Windows closes only with FindClose.
class HandleObject {
 public:
  enum class Kind { File, Find, Other };
  explicit HandleObject(Kind kind) : m_kind(kind) {}
  virtual ~HandleObject() = default;
  HandleObject(const HandleObject&) = delete;
  HandleObject& operator=(const HandleObject&) = delete;
  Kind GetKind() const { return m_kind; }

 private:
  Kind m_kind;
};

// Takes ownership and returns the HANDLE that names the object.
HANDLE RegisterHandle(std::shared_ptr<HandleObject> object);
// The live object of that kind, or null (for INVALID_HANDLE_VALUE, nullptr,
// closed or foreign values).
std::shared_ptr<HandleObject> LookupHandle(HANDLE handle, HandleObject::Kind kind);
// Removes the handle from the table; the object dies with its last reference.
// False when the handle is not a live one of an accepted kind.
bool UnregisterHandle(HANDLE handle, bool findHandle);

// Access rights as the share rules see them (Windows' specific rights).
constexpr DWORD kAccessRead = FILE_READ_DATA;
constexpr DWORD kAccessWrite = FILE_WRITE_DATA;
constexpr DWORD kAccessAppend = FILE_APPEND_DATA;
constexpr DWORD kAccessDelete = 0x00010000;  // DELETE

// GENERIC_* and specific rights -> the specific rights above.
DWORD NormalizeAccess(DWORD desiredAccess);

// Identity of an open file.
struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileKey& other) const { return device == other.device && inode == other.inode; }
};

// One registration of an open in the share table; releases it when destroyed.
class ShareLease {
 public:
  ShareLease() = default;
  ~ShareLease();
  ShareLease(const ShareLease&) = delete;
  ShareLease& operator=(const ShareLease&) = delete;
  ShareLease(ShareLease&& other) noexcept;
  ShareLease& operator=(ShareLease&& other) noexcept;

  bool Held() const { return m_id != 0; }
  // Asks for the file to be unlinked (by path, if the path still names the
  // same file) when the last open of it is released.
  void MarkDeleteOnClose(const std::string& posixPath);
  void Release();

 private:
  friend bool AcquireShare(const FileKey&, DWORD, DWORD, ShareLease*);
  FileKey m_key;
  unsigned long long m_id = 0;
};

// Registers an open with the given access and share mode. False with
// ERROR_SHARING_VIOLATION set when Windows' rules forbid it: the new access
// is not shared by an existing open, or an existing open's access is not
// shared by the new one. An open without data or delete rights is neither
// checked nor holds others back. ERROR_ACCESS_DENIED while a delete-on-close
// open has gone and the file waits for its last open to close.
bool AcquireShare(const FileKey& key, DWORD access, DWORD shareMode, ShareLease* lease);

// Runs the deletion of a name under the share table's lock: fails with
// ERROR_SHARING_VIOLATION while an open of the file does not share delete,
// else calls unlinkFn (which returns 0 or sets errno).
bool DeleteUnderShareRules(const FileKey& key, int (*unlinkFn)(const char*), const char* posixPath);
// The same for any change of names that counts as deleting each of the
// files keyed (a rename moves its source and replaces its target).
bool RunUnderShareRules(std::initializer_list<FileKey> keys, const std::function<int()>& change);

// An open file.
class FileObject : public HandleObject {
 public:
  FileObject() : HandleObject(Kind::File) {}
  ~FileObject() override;

  int fd = -1;
  DWORD access = 0;          // normalised rights
  std::string path;          // absolute POSIX path it was opened by
  bool regular = false;      // a regular file: a short read means its end
  ShareLease lease;
};

// The open file behind a handle, or null with ERROR_INVALID_HANDLE set.
std::shared_ptr<FileObject> LookupFile(HANDLE handle);

}  // namespace arcwise_platform
