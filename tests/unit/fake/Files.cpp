#include "fake/Files.h"

#include <algorithm>
#include <cstring>

#include "fake/FakeWindows.h"

namespace fake {
namespace {

// GetTempPathA and GetTempPath2A alike: the folder with its NUL when it
// fits, else the size it needs and nothing written.
plat::DWord WriteTempFolder(FakeWindows& windows, const std::optional<std::string>& folder,
                            plat::DWord nBufferLength, char* lpBuffer) {
  if (!folder) {
    windows.system.lastError = plat::kErrorPathNotFound;
    return 0;
  }
  // Windows ends the folder in a backslash whatever the environment names.
  std::string t = *folder;
  if (t.empty() || (t.back() != '\\' && t.back() != '/')) t.push_back('\\');
  if (t.size() + 1 > nBufferLength) return static_cast<plat::DWord>(t.size() + 1);
  std::memcpy(lpBuffer, t.c_str(), t.size() + 1);
  return static_cast<plat::DWord>(t.size());
}

plat::DWord PLAT_WINAPI GetTempPath2AEntry(plat::DWord size, char* buffer) {
  return FakeWindows::Current().files.GetTempPath2A(size, buffer);
}

}  // namespace

// ---- Set-up and read-back ----

void Files::ExportGetTempPath2A(std::optional<std::string> folder) {
  tempPath2 = std::move(folder);
  windows_.libraries.ExportFromKernel32("GetTempPath2A",
                                        reinterpret_cast<plat::FarProc>(&GetTempPath2AEntry));
}

void Files::AddFolder(const std::string& path) {
  std::string lower = TrimSeparators(Lower(path));
  while (!lower.empty()) {
    folders_.insert(lower);
    lower = ParentOf(lower);
  }
}

void Files::RemoveFolder(const std::string& path) {
  const std::string lower = TrimSeparators(Lower(path));
  for (auto it = folders_.begin(); it != folders_.end();) {
    if (*it == lower || it->rfind(lower + "\\", 0) == 0)
      it = folders_.erase(it);
    else
      ++it;
  }
}

FakeFile& Files::PutFile(const std::string& path, Bytes bytes) {
  AddFolder(ParentOf(path));
  FakeFile& f = files_[Lower(path)];
  f = FakeFile{};
  f.path = path;
  f.bytes = std::move(bytes);
  return f;
}

bool Files::HasFile(const std::string& path) const { return files_.contains(Lower(path)); }

const FakeFile* Files::File(const std::string& path) const {
  auto it = files_.find(Lower(path));
  return it == files_.end() ? nullptr : &it->second;
}

bool Files::IsOpen(const std::string& key) const {
  return std::any_of(handles_.begin(), handles_.end(),
                     [&](const auto& open) { return open.second.key == key; });
}

bool Files::SharingConflict(const std::string& key, plat::DWord access, plat::DWord share) const {
  const auto conflicts = [](plat::DWord asked, plat::DWord shared) {
    const auto has = [](plat::DWord mask, plat::DWord bit) { return (mask & bit) != 0; };
    return (has(asked, plat::kGenericRead) && !has(shared, plat::kFileShareRead)) ||
           (has(asked, plat::kGenericWrite) && !has(shared, plat::kFileShareWrite));
  };
  return std::any_of(handles_.begin(), handles_.end(), [&](const auto& entry) {
    const OpenFile& open = entry.second;
    return open.key == key && (conflicts(access, open.share) || conflicts(open.access, share));
  });
}

// ---- The calls ----

plat::DWord Files::GetTempPathA(plat::DWord nBufferLength, char* lpBuffer) {
  windows_.calls.Record("GetTempPathA");
  return WriteTempFolder(windows_, tempPath, nBufferLength, lpBuffer);
}

plat::DWord Files::GetTempPath2A(plat::DWord nBufferLength, char* lpBuffer) {
  windows_.calls.Record("GetTempPath2A");
  return WriteTempFolder(windows_, tempPath2, nBufferLength, lpBuffer);
}

plat::Bool Files::DeleteFileA(const char* lpFileName) {
  windows_.calls.Record("DeleteFileA");
  const std::string key = Lower(lpFileName);
  auto it = files_.find(key);
  if (it == files_.end()) {
    const std::string parent = ParentOf(key);
    if (folders_.contains(key))
      windows_.system.lastError = plat::kErrorAccessDenied;  // a folder is not deleted as a file
    else if (!parent.empty() && !folders_.contains(parent))
      windows_.system.lastError = plat::kErrorPathNotFound;
    else
      windows_.system.lastError = plat::kErrorFileNotFound;
    return 0;
  }
  // Windows deletes a file that is open only when every handle on it shares
  // deleting, which no open of the model does (CreateFileA refuses
  // FILE_SHARE_DELETE).
  if (IsOpen(key) || it->second.lockedByOther) {
    windows_.system.lastError = plat::kErrorSharingViolation;
    return 0;
  }
  if (it->second.readOnly) {
    windows_.system.lastError = plat::kErrorAccessDenied;
    return 0;
  }
  files_.erase(it);
  return 1;
}

plat::Handle Files::CreateFileA(const char* lpFileName, plat::DWord dwDesiredAccess,
                                plat::DWord dwShareMode, void* lpSecurityAttributes,
                                plat::DWord dwCreationDisposition, plat::DWord dwFlagsAndAttributes,
                                plat::Handle hTemplateFile) {
  windows_.calls.Record("CreateFileA");
  (void)lpSecurityAttributes;
  (void)dwFlagsAndAttributes;
  (void)hTemplateFile;
  if (createFileError) {
    windows_.system.lastError = *createFileError;
    return plat::InvalidHandleValue();
  }
  // What the model does not know is refused before the path is looked at, as
  // Windows refuses a disposition it does not know (see the header).
  const bool writes = (dwDesiredAccess & plat::kGenericWrite) != 0;
  const bool createAlways = dwCreationDisposition == plat::kCreateAlways && writes;
  const bool openExisting = dwCreationDisposition == plat::kOpenExisting &&
                            (dwDesiredAccess & (plat::kGenericRead | plat::kGenericWrite)) != 0;
  const bool modelled = (dwDesiredAccess & ~(plat::kGenericRead | plat::kGenericWrite)) == 0 &&
                        (dwShareMode & ~(plat::kFileShareRead | plat::kFileShareWrite)) == 0;
  if (!modelled || (!createAlways && !openExisting)) {
    windows_.system.lastError = plat::kErrorInvalidParameter;
    return plat::InvalidHandleValue();
  }
  const std::string key = Lower(lpFileName);
  const std::string parent = ParentOf(key);
  // A bare name lives in the current folder, which exists.
  if (!parent.empty() && !folders_.contains(parent)) {
    windows_.system.lastError = plat::kErrorPathNotFound;
    return plat::InvalidHandleValue();
  }
  if (folders_.contains(key)) {
    windows_.system.lastError = plat::kErrorAccessDenied;
    return plat::InvalidHandleValue();
  }
  auto it = files_.find(key);
  const bool existed = it != files_.end();
  if (existed) {
    if (it->second.lockedByOther || SharingConflict(key, dwDesiredAccess, dwShareMode)) {
      windows_.system.lastError = plat::kErrorSharingViolation;
      return plat::InvalidHandleValue();
    }
    if (it->second.readOnly && writes) {
      windows_.system.lastError = plat::kErrorAccessDenied;
      return plat::InvalidHandleValue();
    }
  }
  if (!existed && openExisting) {
    windows_.system.lastError = plat::kErrorFileNotFound;
    return plat::InvalidHandleValue();
  }
  if (createAlways) {
    FakeFile& f = files_[key];
    if (f.path.empty()) f.path = lpFileName;
    f.bytes.clear();
  }
  plat::Handle h = windows_.NewToken();
  handles_[h] = OpenFile{key, dwDesiredAccess, dwShareMode};
  // ERROR_ALREADY_EXISTS when CREATE_ALWAYS replaced a file.
  windows_.system.lastError = createAlways && existed ? 183 : 0;
  return h;
}

plat::Bool Files::WriteFile(plat::Handle hFile, const void* lpBuffer,
                            plat::DWord nNumberOfBytesToWrite, plat::DWord* lpNumberOfBytesWritten,
                            void* lpOverlapped) {
  // The bytes asked for are the call's record.
  windows_.calls.Record("WriteFile", nNumberOfBytesToWrite);
  (void)lpOverlapped;
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  // Past the call log's bound a loop of writes ends here.
  if (windows_.calls.Exhausted()) {
    windows_.system.lastError = writeError;
    return 0;
  }
  const int index = writeCalls_++;
  auto it = handles_.find(hFile);
  if (it == handles_.end()) {
    windows_.system.lastError = plat::kErrorInvalidHandle;
    return 0;
  }
  if ((it->second.access & plat::kGenericWrite) == 0) {
    windows_.system.lastError = plat::kErrorAccessDenied;
    return 0;
  }
  const std::string key = it->second.key;  // the hook may open and close other handles
  if (onWrite) {
    const plat::DWord lastError = windows_.system.lastError;
    onWrite(files_[key].path);
    // cppcheck-suppress redundantAssignment ; the hook's own calls set it
    windows_.system.lastError = lastError;
  }
  if (index == failWriteCall) {
    windows_.system.lastError = writeError;
    return 0;
  }
  const plat::DWord n = std::min(nNumberOfBytesToWrite, maxWritePerCall);
  const auto* bytes = static_cast<const std::uint8_t*>(lpBuffer);
  FakeFile& f = files_[key];
  f.bytes.insert(f.bytes.end(), bytes, bytes + n);
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = n;
  return 1;
}

bool Files::Close(plat::Handle hObject) { return handles_.erase(hObject) != 0; }

}  // namespace fake

// ---- The seam: each call forwards to the current model ----

namespace plat {

using fake::FakeWindows;

DWord GetTempPathA(DWord nBufferLength, char* lpBuffer) {
  return FakeWindows::Current().files.GetTempPathA(nBufferLength, lpBuffer);
}

Bool DeleteFileA(const char* lpFileName) {
  return FakeWindows::Current().files.DeleteFileA(lpFileName);
}

Handle CreateFileA(const char* lpFileName, DWord dwDesiredAccess, DWord dwShareMode,
                   void* lpSecurityAttributes, DWord dwCreationDisposition,
                   DWord dwFlagsAndAttributes, Handle hTemplateFile) {
  return FakeWindows::Current().files.CreateFileA(lpFileName, dwDesiredAccess, dwShareMode,
                                                  lpSecurityAttributes, dwCreationDisposition,
                                                  dwFlagsAndAttributes, hTemplateFile);
}

Bool WriteFile(Handle hFile, const void* lpBuffer, DWord nNumberOfBytesToWrite,
               DWord* lpNumberOfBytesWritten, void* lpOverlapped) {
  return FakeWindows::Current().files.WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite,
                                                lpNumberOfBytesWritten, lpOverlapped);
}

}  // namespace plat
