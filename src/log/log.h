// The diagnostic log: one time-stamped line per call, from any thread, appended to
// LogFilePath; nothing at all while logging is off (empty path) or after the lock is gone.
// The file is never held open. Size check, rotation and append all happen under LogLock, so a
// rotation never races another thread's line. A line that cannot be appended is lost quietly.
#pragma once

#include <string>

#include "platform/clock.h"
#include "text/format.h"

namespace velmora {

// LogLock's life: created at the very start of initialisation, destroyed by the final
// cleanup; a call that comes after destruction writes nothing. The mutex itself lives for the
// whole process (never destroyed), so a detached worker racing the cleanup finds it "gone"
// under the lock instead of entering a dead object; once DestroyLogLock returns, no line is
// in flight and none follows.
void CreateLogLock();
void DestroyLogLock();

// Sets LogFilePath to the expansion of "%TEMP%\VelmoraTray.log". An expansion that does not
// fit the 260-character buffer (or fails) leaves logging off: a cut path would name some
// other file. Returns whether a path is now set.
bool SetDefaultLogFilePath();
void ClearLogFilePath();
// True while a line would be written (path set and LogLock alive); a cheap early-out only.
bool IsLogging();

// Where a rotation moves the log: the path in lower case with ".log" replaced by ".lo_" in the
// file name. Folder names keep any ".log" of theirs, so the backup stays beside the log.
std::wstring LogBackupPath(const std::wstring& logPath);

// "[dd.mm.yyyy hh:mm:ss] ", the start of every log line (the service's too).
std::string LogTimeStamp(const LocalTime& time);

// Narrow format: %s narrow text, %S wide text, %d and %u numbers.
void LogFormatted(const std::string& format, FormatArgs args);
// Wide format: %s wide text.
void LogFormattedW(const std::wstring& format, FormatArgs args);
// As LogFormatted, but only the first line of each key is written while the log path stays set:
// the keys are remembered under LogLock, so threads racing on one key write one line.
void LogFormattedOnce(const std::string& key, const std::string& format, FormatArgs args);

template <typename... Args>
void Log(const char* format, const Args&... args) {
  if (IsLogging()) LogFormatted(format, {FormatArg(args)...});
}

template <typename... Args>
void LogW(const wchar_t* format, const Args&... args) {
  if (IsLogging()) LogFormattedW(format, {FormatArg(args)...});
}

}  // namespace velmora
