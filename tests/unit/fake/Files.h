// The in-memory Windows' files and folders: the file system the program
// writes its package into, the files it holds open, and the temporary folder
// as GetTempPathA and (where kernel32 exports it) GetTempPath2A give it.
// Paths compare case-insensitively; a folder exists with every folder on the
// way to it. Writes can be made short or made to fail, and a file can be
// read-only or held by another program.
//
// Open files share as Windows shares them: an open is refused with
// ERROR_SHARING_VIOLATION when a handle already open on the file does not
// share the access asked for, or when the new share mode does not share the
// access of a handle already open (GENERIC_READ with FILE_SHARE_READ,
// GENERIC_WRITE with FILE_SHARE_WRITE). A file that is open cannot be
// deleted. CreateFileA knows what the program and the programs around it
// ask for: CREATE_ALWAYS for writing, OPEN_EXISTING for reading or writing,
// sharing reading and writing; any other disposition, access or share mode
// (FILE_SHARE_DELETE among them) is refused as an invalid parameter rather
// than answered with a guess.
//
// The program itself only deletes what is there, creates its package file
// (CREATE_ALWAYS for writing, reading shared), writes and closes it. The rest
// is there for the tests' own scenarios, which stand in for the programs
// around it: the share matrix, OPEN_EXISTING (another program opening the
// file while it grows, onWrite) and foreign locks (lockedByOther, a virus
// scanner or the launched installer holding the file), and read-only files.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake/Common.h"
#include "platform/Platform.h"

namespace fake {

struct FakeFile {
  std::string path;  // as first created
  Bytes bytes;
  bool readOnly = false;       // delete, and an open for writing, fail with access denied
  bool lockedByOther = false;  // another process holds it without sharing
};

class Files {
 public:
  explicit Files(FakeWindows& windows) : windows_(windows) {}
  Files(const Files&) = delete;
  Files& operator=(const Files&) = delete;

  // ---- Set up and read back by tests ----
  // nullopt: GetTempPathA fails and writes nothing.
  std::optional<std::string> tempPath = std::string("C:\\Users\\user\\AppData\\Local\\Temp\\");
  // What GetTempPath2A gives, when kernel32 exports it (ExportGetTempPath2A;
  // Libraries::SetKernel32 takes the export away again). nullopt: it fails.
  std::optional<std::string> tempPath2;
  void ExportGetTempPath2A(std::optional<std::string> folder);

  void AddFolder(const std::string& path);     // with every folder on the way
  void RemoveFolder(const std::string& path);  // with everything below it
  // A file of these bytes (replacing one of that name), its folder created.
  FakeFile& PutFile(const std::string& path, Bytes bytes);
  bool HasFile(const std::string& path) const;
  const FakeFile* File(const std::string& path) const;  // nullptr when there is none

  // WriteFile: at most this many bytes per call (a short write that succeeds).
  plat::DWord maxWritePerCall = 0xFFFFFFFF;
  // WriteFile: the call with this 0-based index fails with writeError.
  int failWriteCall = -1;
  plat::DWord writeError = 112;  // ERROR_DISK_FULL
  // CreateFileA fails with this error when set.
  std::optional<plat::DWord> createFileError;
  // Called at each WriteFile on a file open for writing, with the file's path,
  // before the bytes land: another program (a virus scanner) looks at the
  // file while it grows. Its calls are calls like any other, but leave this
  // thread's last error as it was.
  std::function<void(const std::string& path)> onWrite;
  // Files opened and not closed.
  int OpenHandleCount() const { return static_cast<int>(handles_.size()); }

  // ---- The plat:: calls of this concern ----
  plat::DWord GetTempPathA(plat::DWord nBufferLength, char* lpBuffer);
  plat::DWord GetTempPath2A(plat::DWord nBufferLength, char* lpBuffer);  // a kernel32 entry
  plat::Bool DeleteFileA(const char* lpFileName);
  plat::Handle CreateFileA(const char* lpFileName, plat::DWord dwDesiredAccess,
                           plat::DWord dwShareMode, void* lpSecurityAttributes,
                           plat::DWord dwCreationDisposition, plat::DWord dwFlagsAndAttributes,
                           plat::Handle hTemplateFile);
  plat::Bool WriteFile(plat::Handle hFile, const void* lpBuffer, plat::DWord nNumberOfBytesToWrite,
                       plat::DWord* lpNumberOfBytesWritten, void* lpOverlapped);
  // CloseHandle's part: false when the handle is not a file of this model.
  bool Close(plat::Handle hObject);

 private:
  struct OpenFile {
    std::string key;  // the file's lower-case path
    plat::DWord access = 0;
    plat::DWord share = 0;
  };
  bool IsOpen(const std::string& key) const;
  // An open of `key` with this access and share mode would conflict with a
  // handle already open on it.
  bool SharingConflict(const std::string& key, plat::DWord access, plat::DWord share) const;

  FakeWindows& windows_;
  std::set<std::string> folders_;          // lower case, no trailing separator
  std::map<std::string, FakeFile> files_;  // keyed by lower-case path
  std::map<plat::Handle, OpenFile> handles_;
  int writeCalls_ = 0;  // WriteFile calls so far, for failWriteCall
};

}  // namespace fake
