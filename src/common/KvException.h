// The program's exception family and the error report.
//
// Failures the user must see are thrown by value as a concrete kind and
// caught by reference to KvException. Every exception records where it was
// raised: the source file's name without folders, the function's qualified
// name and the line. Those three are part of the failure's identity, so
// raise sites take them from common/FailureIdentities.h, never from
// __FILE__ or __LINE__.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/KvMemStream.h"
#include "platform/Platform.h"

namespace Error {

// The system's message text for a Windows error code, as the system gives it
// (trailing line break included), or the empty string for code 0 and for a
// code the system has no text for.
std::string GetSystemMessage(plat::DWord code);

class KvException {
 public:
  virtual ~KvException() = default;

  // 4 for KvExceptionText, 2 for KvExceptionCommon.
  virtual int GetKind() const = 0;
  // The text for the user.
  virtual std::string GetText() const = 0;
  // A separate copy of the same class.
  virtual std::unique_ptr<KvException> Clone() const = 0;
  // Append or read file name, function name and line; the kinds add their
  // own fields after these. A field that cannot be read stays as it was and
  // does not stop the fields after it.
  virtual KvMemStream& WriteTo(KvMemStream& stream) const;
  virtual KvMemStream& ReadFrom(KvMemStream& stream);

  // Shows the error report: one modal box, no owner, caption kReportCaption,
  // the trimmed text (or kReportFallback naming the source position when the
  // text is empty), error icon, foreground, topmost. Returns the box's result.
  int ShowError() const;

  const std::string& GetFileName() const { return fileName_; }
  const std::string& GetFunctionName() const { return functionName_; }
  std::int32_t GetLine() const { return line_; }

 protected:
  // sourceFile is reduced to its last component: "D:\src\ResourcesExtractor"
  // is recorded as "ResourcesExtractor". A null text counts as empty.
  KvException(const char* sourceFile, const char* functionName, std::int32_t line);
  KvException(const KvException&) = default;
  KvException& operator=(const KvException&) = default;

 private:
  std::string fileName_;
  std::string functionName_;
  std::int32_t line_;
};

// A failure described by a message text.
class KvExceptionText : public KvException {
 public:
  KvExceptionText(const char* message, const char* sourceFile, const char* functionName,
                  std::int32_t line);
  KvExceptionText(const KvExceptionText&) = default;
  KvExceptionText& operator=(const KvExceptionText&) = default;
  ~KvExceptionText() override = default;

  int GetKind() const override { return 4; }
  // The message, unchanged.
  std::string GetText() const override { return message_; }
  std::unique_ptr<KvException> Clone() const override;
  KvMemStream& WriteTo(KvMemStream& stream) const override;
  KvMemStream& ReadFrom(KvMemStream& stream) override;

  const std::string& GetMessageText() const { return message_; }

 private:
  std::string message_;
};

// A failure described by a Windows error code (or an installer's exit code)
// and what was being done.
class KvExceptionCommon : public KvException {
 public:
  KvExceptionCommon(plat::DWord errorCode, const char* context, const char* sourceFile,
                    const char* functionName, std::int32_t line);
  KvExceptionCommon(const KvExceptionCommon&) = default;
  KvExceptionCommon& operator=(const KvExceptionCommon&) = default;
  ~KvExceptionCommon() override = default;

  int GetKind() const override { return 2; }
  // Computed at every call, trimmed: "<system message> (0x20)\n\n<context>",
  // or "(0xbc2) <context>" when the system has no text for the code.
  std::string GetText() const override;
  std::unique_ptr<KvException> Clone() const override;
  KvMemStream& WriteTo(KvMemStream& stream) const override;
  KvMemStream& ReadFrom(KvMemStream& stream) override;

  plat::DWord GetErrorCode() const { return errorCode_; }
  const std::string& GetContext() const { return context_; }

 private:
  plat::DWord errorCode_;
  std::string context_;
};

}  // namespace Error
