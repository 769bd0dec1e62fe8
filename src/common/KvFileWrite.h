// A file opened for writing, owned for the writer's lifetime.
#pragma once

#include <cstddef>

#include "common/KvScoped.h"
#include "platform/Platform.h"

class KvFileWrite {
 public:
  // The most that one WriteFile call is given. One call for a block of many
  // megabytes can fail for lack of system resources (network shares, low
  // memory), although the same bytes go through in smaller pieces.
  static constexpr plat::DWord kMaxChunk = 8u * 1024u * 1024u;

  // Creates the file, or truncates an existing one, for writing while others
  // may only read it. A failed open is not reported here: the writer then
  // owns nothing and every Write fails.
  explicit KvFileWrite(const char* path);
  KvFileWrite(const KvFileWrite&) = delete;
  KvFileWrite& operator=(const KvFileWrite&) = delete;
  // Closes the file if it was opened.
  virtual ~KvFileWrite() = default;

  bool IsOpen() const { return file_.IsValid(); }

  // Writes the whole block, in chunks of at most kMaxChunk. True only when
  // every byte was written: a failed call, a call that writes fewer bytes
  // than it was given (a full disk reports success with a short count), a
  // file that is not open, or a null block with a nonzero size is a failure,
  // and the bytes written so far stay in the file.
  bool Write(const void* data, plat::DWord size);

 private:
  KvHandle file_;
};
