#include "common/KvException.h"

#include "common/FailureIdentities.h"
#include "common/KvFsPath.h"
#include "framework/Text.h"

namespace Error {
namespace {

const char* OrEmpty(const char* text) { return text ? text : ""; }

// The buffer FormatMessageA allocates, freed with LocalFree however the
// copy of its text ends.
class SystemBuffer {
 public:
  SystemBuffer() = default;
  SystemBuffer(const SystemBuffer&) = delete;
  SystemBuffer& operator=(const SystemBuffer&) = delete;
  ~SystemBuffer() {
    if (text_ != nullptr) plat::LocalFree(text_);
  }
  char** Address() { return &text_; }
  const char* Get() const { return text_; }

 private:
  char* text_ = nullptr;
};

// Reads one 32-bit field; the field keeps its value when the item cannot be
// read.
void ReadSigned(KvMemStream& stream, std::int32_t& field) {
  std::uint32_t value = static_cast<std::uint32_t>(field);
  if (stream.ReadInt32(value)) field = static_cast<std::int32_t>(value);
}

}  // namespace

std::string GetSystemMessage(plat::DWord code) {
  if (code == 0) return std::string();
  constexpr plat::DWord kFlags = plat::kFormatMessageFromSystem |
                                 plat::kFormatMessageIgnoreInserts |
                                 plat::kFormatMessageAllocateBuffer;
  SystemBuffer buffer;
  const plat::DWord length =
      plat::FormatMessageA(kFlags, nullptr, code, plat::kLangUserDefault,
                           reinterpret_cast<char*>(buffer.Address()), 0, nullptr);
  if (length == 0 || buffer.Get() == nullptr) return std::string();
  // The returned length excludes the terminator; a NUL inside it still ends
  // the text.
  std::string text(buffer.Get(), length);
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) text.erase(nul);
  return text;
}

// ---- KvException -------------------------------------------------------------

KvException::KvException(const char* sourceFile, const char* functionName, std::int32_t line)
    : fileName_(KvFsPath(sourceFile).GetFileName()),
      functionName_(OrEmpty(functionName)),
      line_(line) {}

KvMemStream& KvException::WriteTo(KvMemStream& stream) const {
  stream.WriteString(fileName_);
  stream.WriteString(functionName_);
  stream.WriteInt32(static_cast<std::uint32_t>(line_));
  return stream;
}

KvMemStream& KvException::ReadFrom(KvMemStream& stream) {
  stream.ReadString(fileName_);
  stream.ReadString(functionName_);
  ReadSigned(stream, line_);
  return stream;
}

int KvException::ShowError() const {
  std::string text = GetText();
  fw::Trim(text);
  if (text.empty()) text = fw::Format(kReportFallback, fileName_.c_str(), static_cast<int>(line_));
  constexpr plat::UInt kStyle =
      plat::kMbOk | plat::kMbIconError | plat::kMbSetForeground | plat::kMbTopmost;
  return plat::MessageBoxA(nullptr, text.c_str(), kReportCaption, kStyle);
}

// ---- KvExceptionText -----------------------------------------------------------

KvExceptionText::KvExceptionText(const char* message, const char* sourceFile,
                                 const char* functionName, std::int32_t line)
    : KvException(sourceFile, functionName, line), message_(OrEmpty(message)) {}

std::unique_ptr<KvException> KvExceptionText::Clone() const {
  return std::make_unique<KvExceptionText>(message_.c_str(), GetFileName().c_str(),
                                           GetFunctionName().c_str(), GetLine());
}

KvMemStream& KvExceptionText::WriteTo(KvMemStream& stream) const {
  KvException::WriteTo(stream);
  stream.WriteString(message_);
  return stream;
}

KvMemStream& KvExceptionText::ReadFrom(KvMemStream& stream) {
  KvException::ReadFrom(stream);
  stream.ReadString(message_);
  return stream;
}

// ---- KvExceptionCommon ---------------------------------------------------------

KvExceptionCommon::KvExceptionCommon(plat::DWord errorCode, const char* context,
                                     const char* sourceFile, const char* functionName,
                                     std::int32_t line)
    : KvException(sourceFile, functionName, line),
      errorCode_(errorCode),
      context_(OrEmpty(context)) {}

std::string KvExceptionCommon::GetText() const {
  std::string systemMessage = GetSystemMessage(errorCode_);
  fw::Trim(systemMessage);
  const unsigned code = static_cast<unsigned>(errorCode_);
  std::string text = systemMessage.empty() ? fw::Format("(%#x) %s", code, context_.c_str())
                                           : fw::Format("%s (%#x)\n\n%s", systemMessage.c_str(),
                                                        code, context_.c_str());
  fw::Trim(text);
  return text;
}

std::unique_ptr<KvException> KvExceptionCommon::Clone() const {
  return std::make_unique<KvExceptionCommon>(errorCode_, context_.c_str(), GetFileName().c_str(),
                                             GetFunctionName().c_str(), GetLine());
}

KvMemStream& KvExceptionCommon::WriteTo(KvMemStream& stream) const {
  KvException::WriteTo(stream);
  stream.WriteInt32(errorCode_);
  stream.WriteString(context_);
  return stream;
}

KvMemStream& KvExceptionCommon::ReadFrom(KvMemStream& stream) {
  KvException::ReadFrom(stream);
  stream.ReadInt32(errorCode_);
  stream.ReadString(context_);
  return stream;
}

}  // namespace Error
