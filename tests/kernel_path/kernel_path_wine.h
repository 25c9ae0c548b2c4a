// A Wine prefix of the kernel path's own: its server must carry the
// preloaded library, so it cannot be shared with tests that run at the same
// time. Made once; its drive letters E: and G: (CD/DVD drives) and F: (a
// removable drive) are the emulated device nodes, set for each run.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "kernel_path_support.h"

namespace norvane::kernel {

class Wine {
 public:
  // `architecture` is x86 or x64, the loader's.
  Wine(const std::string& architecture, const std::filesystem::path& prefix, const Drives& drives);
  ~Wine();
  Wine(const Wine&) = delete;
  Wine& operator=(const Wine&) = delete;

  const std::string& Loader() const { return m_loader; }
  const std::map<std::string, std::string>& Environment() const { return m_environment; }
  std::filesystem::path Log() const;

 private:
  int Run(const std::vector<std::string>& command, std::map<std::string, std::string> environment) const;
  void StopServer() const;
  // The environment of the prefix's own set-up: no preloaded library.
  std::map<std::string, std::string> Plain() const;
  void Create() const;
  bool HasDriveTypes() const;
  void SetDriveTypes() const;
  void MapDrives(const Drives& drives) const;

  std::string m_loader;
  std::filesystem::path m_prefix;
  std::map<std::string, std::string> m_environment;
};

}  // namespace norvane::kernel
