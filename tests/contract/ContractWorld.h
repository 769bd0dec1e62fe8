// The contract suite's view of the platform it runs on.
//
// The cases in contract_*.cpp call the seam (plat::) only, and are compiled
// twice: on the host against the in-memory Windows, and for Windows against
// the real API. What a case needs to exist before it calls the seam (files,
// folders, registry values, a program to start) it asks of the world, which
// each build provides its own way: the host world through the fake's set-up
// API, the Windows world with the real API in a scratch folder and under a
// scratch registry key. The world never answers what a case checks; it only
// prepares and reads back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "../unit/windows_values.h"
#include "ContractResource.h"
#include "platform/Platform.h"

namespace contract {

// The suite's own resource: type kResourceType, id kResourceId, the bytes of
// kResourceText without its terminator (contract.rc).
constexpr const char* kResourceType = "CtrData";
constexpr std::uint16_t kResourceId = 7;
constexpr const char* kResourceText = LUMENTA_CONTRACT_RESOURCE_TEXT;

enum class View { k32, k64 };

struct StoredValue {
  plat::DWord type = 0;
  std::string bytes;
};

class World {
 public:
  virtual ~World() = default;

  // A fresh state for one case, and what it leaves removed afterwards.
  virtual void SetUp() = 0;
  virtual void TearDown() = 0;

  // Wine rather than Windows or its model: where Wine departs from Windows'
  // documented behaviour, a case states both.
  virtual bool UnderWine() const = 0;
  // Wine's major version (8 for "8.0"); 0 when not under Wine.
  virtual int WineMajor() const = 0;

  // ---- Files: an empty folder of this case's own, without a trailing separator.
  virtual std::string Scratch() const = 0;
  virtual void MakeFolder(const std::string& path) = 0;
  virtual void MakeFile(const std::string& path, const std::string& bytes) = 0;
  virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
  // Another program holds the file open, sharing nothing, until the case ends.
  virtual void HoldWithoutSharing(const std::string& path) = 0;
  // The temporary folder the user's environment names (TMP, TEMP), as given.
  virtual void SetTempFolder(const std::string& folder) = 0;

  // ---- Registry: keys below HKLM\<RegistryBase()>, which exists in both views.
  virtual std::string RegistryBase() const = 0;
  // A 64-bit system: the two views are different registries.
  virtual bool SeparateViews() const = 0;
  virtual void PutValue(View view, const std::string& subKey, const std::string& name,
                        plat::DWord type, const std::string& bytes) = 0;
  virtual std::optional<StoredValue> ValueIn(View view, const std::string& subKey,
                                             const std::string& name) = 0;

  // ---- Modules and processes
  // The suite's executable, as the system names it.
  virtual std::string ExePath() const = 0;
  // The ANSI code page in force.
  virtual unsigned AnsiCodePage() const = 0;
  // A program, and the parameters for it, that ends with this exit code.
  struct Program {
    std::string file;
    std::string parameters;
  };
  virtual Program ChildEndingWith(plat::DWord exitCode) = 0;
};

World& TheWorld();

// The fixture of every case: a fresh world around it.
class Contract : public ::testing::Test {
 protected:
  void SetUp() override { TheWorld().SetUp(); }
  void TearDown() override { TheWorld().TearDown(); }
  World& world() { return TheWorld(); }
};

}  // namespace contract
