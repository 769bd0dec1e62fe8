#include "fake/FakeWindows.h"

#include <cstdio>
#include <cstdlib>

namespace fake {
namespace {

FakeWindows* g_current = nullptr;

}  // namespace

FakeWindows::FakeWindows()
    : system(*this),
      registry(*this),
      files(*this),
      resources(*this),
      libraries(*this),
      shell(*this),
      dialogs(*this) {
  if (g_current != nullptr) {
    static_cast<void>(std::fprintf(stderr, "two FakeWindows alive at once\n"));
    std::abort();
  }
  g_current = this;
  files.AddFolder(ParentOf(libraries.exePath));
  files.AddFolder(*files.tempPath);
  files.AddFolder(libraries.systemFolder);
}

FakeWindows::~FakeWindows() { g_current = nullptr; }

FakeWindows& FakeWindows::Current() {
  if (g_current == nullptr) {
    static_cast<void>(std::fprintf(stderr, "a platform call was made with no FakeWindows alive\n"));
    std::abort();
  }
  return *g_current;
}

int FakeWindows::OpenHandleCount() const {
  return files.OpenHandleCount() + shell.OpenProcessCount();
}

plat::Bool FakeWindows::CloseHandle(plat::Handle hObject) {
  calls.Record("CloseHandle");
  if (files.Close(hObject) || shell.Close(hObject)) return 1;
  system.lastError = plat::kErrorInvalidHandle;
  return 0;
}

void* FakeWindows::NewToken() {
  nextToken_ += 4;
  return reinterpret_cast<void*>(nextToken_);
}

}  // namespace fake

// ---- The seam: CloseHandle belongs to no one concern ----

namespace plat {

Bool CloseHandle(Handle hObject) { return fake::FakeWindows::Current().CloseHandle(hObject); }

}  // namespace plat
