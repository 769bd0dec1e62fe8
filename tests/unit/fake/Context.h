// What the concerns of the in-memory Windows share.
//
// The model is split by concern (registry, files, resources, libraries, the
// shell and processes, dialogs, and the thread and system settings), each a
// class with its state private. A concern knows the rest of the model only
// through a Context: the few things one of its Windows calls needs from the
// others. It never reaches into another concern's state, so that what one
// concern keeps can change without the others noticing. FakeWindows, which
// owns the concerns, is their Context.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace fake {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
std::string ToString(const Bytes& bytes);
// ASCII lower case: paths, key and value names and resource types compare
// case-insensitively, and the model keys its tables by this form.
std::string Lower(std::string text);
// The folder part of a path, without its separator; empty for a bare name.
std::string ParentOf(const std::string& path);
// The path without the separators it ends in.
std::string TrimSeparators(std::string path);

class Context {
 public:
  // Logs one plat:: call (the call log's bound applies).
  virtual void Record(const char* name) = 0;
  // The call log is past its bound: the model's walks and writes end from
  // then on, so that a test that loops fails instead of running out of memory.
  virtual bool Exhausted() const = 0;

  // The thread's last error.
  virtual plat::DWord LastError() const = 0;
  virtual void SetLastError(plat::DWord code) = 0;

  // A value for a new handle or key, distinct from every other the model
  // gives out, whichever concern asks: a key is never taken for a file.
  virtual void* NewToken() = 0;

  // The process's error mode now (a library entry records it during its call).
  virtual plat::UInt ErrorMode() const = 0;
  // The executable's module handle (the resources are the executable's).
  virtual plat::HModule ExeModule() const = 0;
  // The content of a file, nullptr when there is none (the shell starts only
  // what is a program, and records what it was asked to open).
  virtual const Bytes* FileBytes(const std::string& path) const = 0;
  // kernel32 exports this entry from now on (newer systems' GetTempPath2A).
  virtual void ExportFromKernel32(const std::string& name, plat::FarProc entry) = 0;

  virtual ~Context() = default;

 protected:
  Context() = default;
  Context(const Context&) = default;
  Context& operator=(const Context&) = default;
};

}  // namespace fake
