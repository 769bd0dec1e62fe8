// The contract suite's world on the host: the in-memory Windows, made fresh
// for every case and prepared through its set-up API.
#include <memory>

#include "ContractWorld.h"
#include "fake/FakeWindows.h"

namespace contract {
namespace {

constexpr const char* kScratch = "C:\\Contract\\Case";
constexpr const char* kBase = "Software\\Lumenta Contract";

fake::View ViewOf(View view) { return view == View::k32 ? fake::View::k32 : fake::View::k64; }

class FakeWorld : public World {
 public:
  void SetUp() override {
    win_ = std::make_unique<fake::FakeWindows>();
    win_->files.AddFolder(kScratch);
    win_->resources.SetResource(kResourceType, kResourceId, fake::ToBytes(kResourceText));
    win_->libraries.InstallMsi();
  }
  void TearDown() override { win_.reset(); }

  bool UnderWine() const override { return false; }
  int WineMajor() const override { return 0; }

  std::string Scratch() const override { return kScratch; }
  void MakeFolder(const std::string& path) override { win_->files.AddFolder(path); }
  void MakeFile(const std::string& path, const std::string& bytes) override {
    win_->files.PutFile(path, fake::ToBytes(bytes));
  }
  std::optional<std::string> ReadFile(const std::string& path) override {
    const fake::FakeFile* file = win_->files.File(path);
    if (file == nullptr) return std::nullopt;
    return fake::ToString(file->bytes);
  }
  void HoldWithoutSharing(const std::string& path) override {
    const fake::FakeFile* held = win_->files.File(path);
    win_->files.PutFile(path, held ? held->bytes : fake::Bytes()).lockedByOther = true;
  }
  void SetTempFolder(const std::string& folder) override { win_->files.tempPath = folder; }

  std::string RegistryBase() const override { return kBase; }
  bool SeparateViews() const override { return !win_->registry.singleRegistry; }
  void PutValue(View view, const std::string& subKey, const std::string& name, plat::DWord type,
                const std::string& bytes) override {
    win_->registry.SetValue(ViewOf(view), std::string(kBase) + "\\" + subKey, name,
                            fake::RegValue{type, fake::ToBytes(bytes)});
  }
  std::optional<StoredValue> ValueIn(View view, const std::string& subKey,
                                     const std::string& name) override {
    const auto value =
        win_->registry.GetValue(ViewOf(view), std::string(kBase) + "\\" + subKey, name);
    if (!value) return std::nullopt;
    return StoredValue{value->type, fake::ToString(value->data)};
  }

  std::string ExePath() const override { return win_->libraries.exePath; }
  unsigned AnsiCodePage() const override { return win_->system.leadBytes.empty() ? 1252 : 932; }
  Program ChildEndingWith(plat::DWord exitCode) override {
    const std::string file = std::string(kScratch) + "\\child.exe";
    win_->files.PutFile(file, fake::ToBytes("MZ child"));
    win_->shell.processExitCode = exitCode;
    return {file, ""};
  }

 private:
  std::unique_ptr<fake::FakeWindows> win_;
};

}  // namespace

World& TheWorld() {
  static FakeWorld world;
  return world;
}

}  // namespace contract
