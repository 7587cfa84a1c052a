// The service's log file: beside the program file, which only administrators can write, so no
// user can plant or link it; the file and its backup carry an explicit, protected DACL (SYSTEM
// and Administrators only), so no user can read or edit them either. UTF-8 lines
// "[dd.mm.yyyy hh:mm:ss] message" ending in CRLF; at 4 MiB the file moves to
// VelmoraFrameworkService.lo_ (one backup) and starts anew, so a user who floods the channel
// cannot fill the disk.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "text/utf8.h"

namespace velmora::service {

class ServiceLog {
 public:
  ServiceLog();
  ServiceLog(const ServiceLog&) = delete;
  ServiceLog& operator=(const ServiceLog&) = delete;

  // Safe from any thread; a failed write is dropped (there is nowhere else to report it).
  void Write(const std::string& message);
  const std::wstring& Path() const { return path_; }
  // Sets the DACL on the log and its backup and reads it back; logs the outcome.
  bool Protect();

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;  // never freed: lives as long as the process
  std::mutex lock_;
  std::wstring path_;
  std::wstring backup_;
};

}  // namespace velmora::service
